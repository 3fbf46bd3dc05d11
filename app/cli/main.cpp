// qtx-chat: a chat with an OpenAI model from the command line (--help
// tells how). The message comes from the arguments or standard input; on a
// terminal without one it holds a conversation.

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"
#include "qtxChatCommandLine.h"
#include "qtxChatOutput.h"
#include "qtxChatSession.h"
#include "qtxChatSettings.h"

namespace {

using namespace qtx;

// The chat window, whose settings file holds a typed key, is installed beside us.
constexpr const char* kWindowExecutable = "qtx_chat";
constexpr const char* kApiKeyVariable = "OPENAI_API_KEY";

// Ctrl-C is taken by a thread of its own (blocked everywhere else), so that
// it can stop a stream in the middle of a blocking read.
void WatchForInterrupt(TChatOutput& aOutput) {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  std::thread([&aOutput, interrupt] {
    int signal = 0;
    while (sigwait(&interrupt, &signal) != 0) {
    }
    aOutput.Interrupted();
  }).detach();
}

// Standard input without the line breaks that end it.
std::string ReadMessage(std::istream& aInput) {
  std::string message{std::istreambuf_iterator<char>(aInput), std::istreambuf_iterator<char>()};
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

// OPENAI_API_KEY, else the key stored by the window; "" when neither has one.
std::string FindApiKey(std::string& aSettingsFile) {
  if (const char* key = getenv(kApiKeyVariable); key && key[0] != '\0') return key;
  const auto folder = std::filesystem::path(ExecutableFileName()).parent_path();
  aSettingsFile = DefaultChatSettingsFile((folder / kWindowExecutable).string()).ReadFrom;
  return ReadChatApiKey(aSettingsFile);
}

int Run(const std::vector<std::string>& aArguments, TChatOutput& aOutput) {
  const TChatCommandLine line = ParseChatCommandLine(aArguments);
  if (line.ShowHelp) {
    std::cout << ChatHelpText();
    return cesOK;
  }
  if (line.ShowVersion) {
    std::cout << ChatVersionText();
    return cesOK;
  }

  const bool converse = !line.HasMessage && isatty(STDIN_FILENO);
  const std::string message = line.HasMessage ? line.Message : converse ? "" : ReadMessage(std::cin);
  if (!converse && message.empty())
    throw EChatUsage("no message: give one as arguments or on standard input (see --help)");
  if (!IsValidUtf8(message)) throw EChatUsage("the message is not valid UTF-8");

  std::string settingsFile;
  std::string key;
  try {
    key = FindApiKey(settingsFile);
  } catch (const Exception& e) {
    aOutput.Error("cannot read the settings file: " + e.Message());
    return cesNoApiKey;
  }
  if (key.empty()) {
    aOutput.Error(std::string("no API key: set ") + kApiKeyVariable + " or type one into the chat window (kept in " +
                  settingsFile + ")");
    return cesNoApiKey;
  }

  TChatSession session(line, key, aOutput);
  return converse ? session.Converse(std::cin) : session.AskOnce(message);
}

}  // namespace

int main(int argc, char** argv) {
  static TChatOutput output(std::cout, std::cerr);
  WatchForInterrupt(output);
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc), output);
  } catch (const EChatUsage& e) {
    output.Error(e.Message());
    return cesUsage;
  }
}
