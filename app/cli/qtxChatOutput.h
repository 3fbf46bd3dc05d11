#pragma once
// What qtx-chat prints: the answers on standard output, flushed as they
// arrive, and one "qtx-chat: ..." line per failure on standard error. One
// writer at a time, so that Ctrl-C, taken on another thread, can finish the
// line being written and leave without cutting a piece in two.

#include <mutex>
#include <ostream>
#include <string_view>

namespace qtx {

class TChatOutput {
public:
  TChatOutput(std::ostream& aOut, std::ostream& aErr) : FOut(aOut), FErr(aErr) {}

  // Text of an answer; a line stays open until it ends in a line break.
  void Write(std::string_view aText);
  // Ends an open line.
  void EndLine();
  // A prompt: the user's own line break follows it.
  void Prompt(std::string_view aText);
  // "qtx-chat: " and aMessage on standard error, on one line (line breaks
  // inside become blanks), after an open line of the answer is ended.
  void Error(std::string_view aMessage);
  // Ctrl-C: ends the open line, says so on standard error and ends the
  // process with the interrupted status, at once.
  [[noreturn]] void Interrupted();

private:
  void EndLineLocked();

  std::mutex FLock;
  std::ostream& FOut;
  std::ostream& FErr;
  bool FLineOpen = false;
};

}  // namespace qtx
