#pragma once
// Runs the built qtx-chat as a child process: with pipes for its three
// standard streams, or on a pseudo-terminal as a person at a keyboard would.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace qtx::test {

// The child's environment: only what a test gives, so that the developer's
// own key, proxy variables and settings never take part.
using TEnvironment = std::map<std::string, std::string>;

struct TChatRun {
  int Status = -1;  // the exit status; -1 when a signal ended it
  std::string Out;
  std::string Err;
};

// The program at aProgram with aArguments, aInput on its standard input
// (closed after it); waits for the end, at most aTimeout (then kills it and
// fails the test).
TChatRun RunChatProgram(const std::string& aProgram, const std::vector<std::string>& aArguments,
                        const TEnvironment& aEnvironment, const std::string& aInput = "",
                        std::chrono::seconds aTimeout = std::chrono::seconds(120));

// The program on a pseudo-terminal: its standard input, output and error.
class TChatTerminal {
public:
  TChatTerminal(const std::string& aProgram, const std::vector<std::string>& aArguments,
                const TEnvironment& aEnvironment);
  ~TChatTerminal();
  TChatTerminal(const TChatTerminal&) = delete;
  TChatTerminal& operator=(const TChatTerminal&) = delete;

  // Types aText (a line break, Ctrl-C or Ctrl-D included) at the terminal.
  void Type(const std::string& aText);
  // Reads until what was shown since the last call ends with aEnding (the
  // terminal shows line breaks as CR LF); returns all of it. Fails the
  // test (std::runtime_error) when it does not come within aTimeout.
  std::string ReadUntil(const std::string& aEnding, std::chrono::seconds aTimeout = std::chrono::seconds(60));
  // Waits for the program's end; its exit status (-1: ended by a signal).
  int Wait(std::chrono::seconds aTimeout = std::chrono::seconds(60));

private:
  int FTerminal = -1;
  pid_t FChild = -1;
  std::string FPending;
};

}  // namespace qtx::test
