#pragma once
// The Node.js peers of tests/node (the official OpenAI client and an
// OpenAI-compatible mock server, pinned in its package.json and installed by
// scripts/setup), run from tests. Missing packages fail the test with a
// message that says to run scripts/setup.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qtxTestDaemon.h"

namespace qtx::test {

// The folder of the Node scripts; throws std::runtime_error when its
// packages are not installed.
std::string NodeFolder();

struct TNodeRun {
  int ExitCode = -1;   // -1: killed at the time-out
  std::string Output;  // standard output
  std::string Errors;  // standard error

  // Everything the run said, for a failure message.
  std::string Describe() const;
};

// Runs `node <NodeFolder>/<aScript> <aArgs...>` with aEnvironment
// ("NAME=value" entries) added to the test's own, and waits for it; kills it
// after aTimeoutSeconds.
TNodeRun RunNode(const std::string& aScript, const std::vector<std::string>& aArgs,
                 const std::vector<std::string>& aEnvironment = {}, int aTimeoutSeconds = 300);

// The OpenAI-compatible mock server (npm @dwmkerr/mock-llm) with the
// settings of tests/node/mock-llm.yaml, on a free loopback port. See
// tests/node/README.md for what it answers.
class TTestMockLlm {
public:
  TTestMockLlm();

  uint16_t Port() const noexcept { return FPort; }
  // "http://127.0.0.1:<port>" followed by aPath.
  std::string Url(std::string_view aPath) const;
  // What the server wrote so far (one line per request).
  std::string Output() const { return FDaemon.Output(); }

private:
  TTestDaemon FDaemon{"env"};  // sets HOST and PORT, which the server reads, then runs node
  uint16_t FPort;
};

}  // namespace qtx::test
