#include "qtxChatOutput.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "qtxChatCommandLine.h"

namespace qtx {

void TChatOutput::Write(std::string_view aText) {
  if (aText.empty()) return;
  const std::lock_guard lock(FLock);
  FOut << aText << std::flush;
  FLineOpen = aText.back() != '\n';
}

void TChatOutput::EndLine() {
  const std::lock_guard lock(FLock);
  EndLineLocked();
}

void TChatOutput::Prompt(std::string_view aText) {
  const std::lock_guard lock(FLock);
  EndLineLocked();
  FOut << aText << std::flush;
}

void TChatOutput::Error(std::string_view aMessage) {
  std::string line(aMessage);
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  const std::lock_guard lock(FLock);
  EndLineLocked();
  FErr << "qtx-chat: " << line << std::endl;
}

void TChatOutput::Interrupted() {
  // Held until the process ends: nothing more is written after this.
  FLock.lock();
  EndLineLocked();
  FErr << "qtx-chat: interrupted" << std::endl;
  _exit(cesInterrupted);
}

void TChatOutput::EndLineLocked() {
  if (FLineOpen) FOut << '\n' << std::flush;
  FLineOpen = false;
}

}  // namespace qtx
