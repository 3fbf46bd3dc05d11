#include "qtxChatCommandLine.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <optional>
#include <string_view>

namespace qtx {
namespace {

constexpr std::string_view kHelp = R"(usage: qtx-chat [options] [--] [message...]

Sends a message to an OpenAI chat model and prints the answer as it arrives.
The message is the words given, else standard input when it is not a
terminal; on a terminal with no message, qtx-chat holds a conversation: one
prompt per turn, the conversation kept from turn to turn, "/new" to start
over, end of input (Ctrl-D) to quit.

The API key comes from OPENAI_API_KEY, else from the chat window's settings
file (qtx_chat.ini beside the programs, or ~/.config/qtx/qtx_chat.ini).
OPENAI_BASE_URL names another OpenAI-compatible service; the proxy variables
(https_proxy, http_proxy, all_proxy, no_proxy) are honoured.

options:
  --model NAME       the chat model (default "gpt-3.5-turbo")
  --system TEXT      a system message sent first in every request
  --no-stream        wait for the whole answer instead of streaming it
  --json             print the service's response object (JSON) instead of the text
  --base-url URL     the service's address (default: OPENAI_BASE_URL, else
                     https://api.openai.com)
  --timeout SECONDS  give up when connecting, or waiting for the next part of
                     the answer, takes longer (per attempt; failures that may
                     pass are tried again twice)
  --insecure         do not verify the server's certificate (a warning is printed)
  --cacert FILE      trust the CA certificates of FILE (PEM) beside the system's
  --proxy URL        send every request through this proxy (http://, socks4://,
                     socks4a://, socks5://, socks5h://), whatever the proxy
                     variables say
  --version          print the version and exit
  --help             print this help and exit
  --                 what follows is the message, even when it starts with "-"

exit status:
  0    the answer was printed
  1    the service refused the request, or could not be reached
  2    the command line was wrong, or there was no message
  3    no API key was found
  4    the service did not answer in time
  5    a streamed answer broke off before its end (what arrived is printed)
  130  interrupted by Ctrl-C (what arrived is printed)
In a conversation a failed turn is reported and the conversation goes on.
)";


std::string Quoted(std::string_view aText) { return "\"" + std::string(aText) + "\""; }

// Seconds, a positive number with an optional fraction, as milliseconds.
int ParseTimeout(std::string_view aText) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(aText.data(), aText.data() + aText.size(), seconds);
  const double ms = std::round(seconds * 1000);
  if (error != std::errc() || end != aText.data() + aText.size() || !(ms >= 1) || ms > INT_MAX)
    throw EChatUsage("--timeout wants a number of seconds greater than 0, not " + Quoted(aText));
  return static_cast<int>(ms);
}

}  // namespace

TChatCommandLine ParseChatCommandLine(const std::vector<std::string>& aArguments) {
  TChatCommandLine line;
  std::vector<std::string> words;
  for (size_t index = 0; index < aArguments.size(); ++index) {
    const std::string& argument = aArguments[index];
    if (argument == "--") {
      words.insert(words.end(), aArguments.begin() + static_cast<std::ptrdiff_t>(index) + 1, aArguments.end());
      break;
    }
    if (argument.size() < 2 || argument[0] != '-') {
      words.push_back(argument);
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    std::optional<std::string> inlineValue;
    if (equals != std::string::npos) inlineValue = argument.substr(equals + 1);
    const auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (index + 1 >= aArguments.size()) throw EChatUsage(name + " needs a value");
      return aArguments[++index];
    };
    const auto flag = [&] {
      if (inlineValue) throw EChatUsage(name + " takes no value");
      return true;
    };
    if (name == "--model") line.Model = value();
    else if (name == "--system") line.SystemMessage = value();
    else if (name == "--no-stream") line.Stream = !flag();
    else if (name == "--json") line.PrintJSON = flag();
    else if (name == "--base-url") line.BaseURL = value();
    else if (name == "--timeout") line.TimeoutMs = ParseTimeout(value());
    else if (name == "--insecure") line.Insecure = flag();
    else if (name == "--cacert") line.CACertFile = value();
    else if (name == "--proxy") line.ProxyURL = value();
    else if (name == "--version") line.ShowVersion = flag();
    else if (name == "--help" || name == "-h") line.ShowHelp = flag();
    else throw EChatUsage("unknown option " + Quoted(argument) + " (see --help)");
  }
  if (line.Model.empty()) throw EChatUsage("--model needs a value");
  for (const std::string& word : words) {
    if (line.HasMessage) line.Message += ' ';
    line.Message += word;
    line.HasMessage = true;
  }
  return line;
}

std::string ChatHelpText() { return std::string(kHelp); }

std::string ChatVersionText() { return "qtx-chat " QTX_VERSION "\n"; }

}  // namespace qtx
