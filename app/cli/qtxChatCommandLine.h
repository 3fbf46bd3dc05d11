#pragma once
// The command line of qtx-chat: its options, their parsing, the help text
// and the exit statuses the help documents.

#include <string>
#include <vector>

#include "platform/qtxException.h"

namespace qtx {

// Each kind of failure has its own status, so that scripts can tell them apart.
enum TChatExitStatus : int {
  cesOK = 0,
  cesCallFailed = 1,   // the service refused the request, or it could not be reached
  cesUsage = 2,        // a wrong command line, or no message
  cesNoApiKey = 3,     // no key in OPENAI_API_KEY nor in the window's settings file
  cesTimeout = 4,      // the service did not answer in time
  cesStreamCut = 5,    // a streamed answer broke off before its end
  cesInterrupted = 130 // Ctrl-C (SIGINT), as shells report a program that signal ended
};

struct TChatCommandLine {
  std::string Model = "gpt-3.5-turbo";
  std::string SystemMessage;
  bool Stream = true;
  bool PrintJSON = false;
  std::string BaseURL;       // "": OPENAI_BASE_URL, else the service's
  int TimeoutMs = 0;         // 0: the component's own time-outs
  bool Insecure = false;
  std::string CACertFile;
  std::string ProxyURL;
  bool ShowVersion = false;
  bool ShowHelp = false;
  std::string Message;       // the words after the options, joined by blanks
  bool HasMessage = false;
};

// A command line that cannot be followed; the message says what is wrong.
class EChatUsage : public Exception { using Exception::Exception; };

// aArguments: the arguments after the program's name. Options take their
// value as the next argument or after "=" ("--model=gpt-4o"); "--" ends the
// options.
TChatCommandLine ParseChatCommandLine(const std::vector<std::string>& aArguments);

std::string ChatHelpText();
std::string ChatVersionText();

}  // namespace qtx
