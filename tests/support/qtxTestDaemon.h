#pragma once
// Real daemons from Debian packages (SOCKS and HTTP proxies) run by a test:
// started on a loopback port with a configuration in a folder of their own,
// stopped with their whole process group when the test ends (and killed
// when the test program dies). A missing program fails the test; it is
// never skipped.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qtx::test {

class TTestDaemon {
public:
  // Finds aProgram on the path or in the system folders (a name with a
  // slash is used as given); throws std::runtime_error when it is not
  // installed.
  explicit TTestDaemon(const std::string& aProgram);
  ~TTestDaemon();
  TTestDaemon(const TTestDaemon&) = delete;
  TTestDaemon& operator=(const TTestDaemon&) = delete;

  // The daemon's own temporary folder, and a file in it.
  const std::string& Folder() const noexcept { return FFolder; }
  std::string File(const std::string& aName) const { return FFolder + "/" + aName; }
  void WriteFile(const std::string& aName, const std::string& aText) const;
  // Starts the program with aArgs and waits until 127.0.0.1:aPort accepts a
  // connection; throws (with the daemon's output) when it exits or does not
  // listen in time.
  void Start(const std::vector<std::string>& aArgs, uint16_t aPort);
  // What the daemon wrote to its standard output and error so far.
  std::string Output() const;

private:
  void Stop();

  std::string FProgram;
  std::string FFolder;
  pid_t FPid = -1;
};

}  // namespace qtx::test
