#include "qtxChatSession.h"

#include <stdlib.h>

#include <fstream>

#include "client/qtxHTTP_ProxyEnvironment.h"
#include "core/qtxIdException.h"
#include "http/qtxIdHTTP.h"
#include "json/qtxJSON.h"
#include "openai/qtxHTTP_API_Stream.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"
#include "transport/qtxIdIOHandlerSocket.h"

namespace qtx {
namespace {

constexpr std::string_view kNewConversationCommand = "/new";
constexpr std::string_view kPrompt = "> ";
constexpr std::string_view kGreeting =
    "qtx-chat: talking to %s. Type a message; /new starts a new conversation, Ctrl-D quits.\n";
constexpr std::string_view kNewConversation = "(a new conversation)\n";
constexpr std::string_view kInsecureWarning =
    "warning: --insecure: the server's certificate is not verified, so anyone on the way can read and change "
    "the conversation";

// The service's own message in its error body ({"error": {"message": ...}}),
// else the body's first line, else the status line's text.
std::string ServiceMessage(const EIdHTTPProtocolException& aE) {
  TqtxJSON body;
  body.Read(aE.ErrorMessage());
  if (const IqtxObjectJSON error = body.Node("error"); error && error->JSONType() == qtxJSONObject) {
    if (const IqtxObjectJSON message = error->Node("message"); message && message->JSONType() == qtxJSONString)
      return TqtxOpenAIClass::NodeToString(*message);
  }
  const std::string firstLine = aE.ErrorMessage().substr(0, aE.ErrorMessage().find('\n'));
  return firstLine.empty() ? aE.Message() : firstLine;
}

std::string WithoutTrailingLineBreak(std::string aLine) {
  if (!aLine.empty() && aLine.back() == '\r') aLine.pop_back();
  return aLine;
}

}  // namespace

TChatSession::TChatSession(const TChatCommandLine& aLine, const std::string& aApiKey, TChatOutput& aOutput)
    : FLine(aLine), FOutput(aOutput) {
  TqtxHTTPOpenAI_Options& options = FOpenAI.OpenAIOptions();
  options.SetApiKey(aApiKey);
  if (!aLine.BaseURL.empty()) options.SetBaseURL(aLine.BaseURL);
  if (aLine.TimeoutMs > 0) {
    options.SetConnectTimeout(aLine.TimeoutMs);
    options.SetReadTimeout(aLine.TimeoutMs);
  }
  if (!aLine.CACertFile.empty()) {
    if (!std::ifstream(aLine.CACertFile)) throw EChatUsage("--cacert: cannot read \"" + aLine.CACertFile + "\"");
    FOpenAI.TLSOptions().SetRootCertFile(aLine.CACertFile);
  }
  if (aLine.Insecure) {
    FOpenAI.TLSOptions().SetVerifyCertificate(false);
    FOutput.Error(kInsecureWarning);
  }
  if (!aLine.ProxyURL.empty()) UseProxyForEverything(aLine.ProxyURL);
  FConversation.SetSystemMessage(aLine.SystemMessage);
}

int TChatSession::AskOnce(const std::string& aMessage) {
  FConversation.AddUserMessage(aMessage);
  try {
    Answer();
    return cesOK;
  } catch (...) {
    return ReportFailure();
  }
}

int TChatSession::Converse(std::istream& aInput) {
  FOutput.Write(Format(kGreeting, {FLine.Model}));
  std::string line;
  for (FOutput.Prompt(kPrompt); std::getline(aInput, line); FOutput.Prompt(kPrompt)) {
    line = WithoutTrailingLineBreak(std::move(line));
    if (line.empty()) continue;
    if (line == kNewConversationCommand) {
      FConversation.Clear();
      FOutput.Write(kNewConversation);
      continue;
    }
    if (!IsValidUtf8(line)) {
      FOutput.Error("the message is not valid UTF-8; it was not sent");
      continue;
    }
    FConversation.AddUserMessage(line);
    try {
      Answer();
    } catch (...) {
      ReportFailure();
      FConversation.Messages().pop_back();
    }
  }
  FOutput.Write("\n");  // the shell's prompt goes below ours
  return cesOK;
}

void TChatSession::Answer() {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel(FLine.Model);
  FConversation.FillRequest(request);
  std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> answer;
  if (FLine.Stream) {
    answer = FOpenAI.CreateChatCompletionStream(
        request, [this](int32_t aChoiceIndex, const std::string&, const std::string& aTextPiece, bool&) {
          if (aChoiceIndex == 0 && !FLine.PrintJSON) FOutput.Write(aTextPiece);
        });
  } else {
    answer = FOpenAI.CreateChatCompletion(request);
    if (!FLine.PrintJSON && !answer->Choices().empty()) FOutput.Write(answer->Choices()[0]->_Message().Content());
  }
  if (FLine.PrintJSON) FOutput.Write(answer->AsString());
  FOutput.EndLine();
  FConversation.AddAnswer(*answer);
}

int TChatSession::ReportFailure() {
  try {
    throw;
  } catch (const EIdHTTPProtocolException& e) {
    FOutput.Error("the service answered " + std::to_string(e.ErrorCode()) + ": " + ServiceMessage(e));
  } catch (const EqtxOpenAIStreamError& e) {
    FOutput.Error("the service reported an error: " + e.Message());
  } catch (const EqtxHTTPAPIStreamCut& e) {
    FOutput.Error("the answer broke off: " + e.Message());
    return cesStreamCut;
  } catch (const EIdReadTimeout& e) {
    FOutput.Error("the service did not answer in time: " + e.Message());
    return cesTimeout;
  } catch (const EIdConnectTimeout& e) {
    FOutput.Error("could not connect in time: " + e.Message());
    return cesTimeout;
  } catch (const EIdSocketError& e) {
    FOutput.Error("cannot reach the service: " + e.Message());
  } catch (const Exception& e) {
    FOutput.Error(e.Message());
  } catch (const std::exception& e) {
    FOutput.Error(e.what());
  }
  return cesCallFailed;
}

void UseProxyForEverything(const std::string& aProxyURL) {
  // Read as the environment would read it, so that a URL the requests could
  // not use is refused now.
  const auto lookup = [&](const std::string& aName) -> std::optional<std::string> {
    if (aName == "all_proxy") return aProxyURL;
    return std::nullopt;
  };
  try {
    ProxyFromEnvironment("https://api.openai.com/", lookup);
  } catch (const EqtxProxyEnvironmentError& e) {
    // The reason, without the variable the check was made through.
    constexpr std::string_view kReasonFollows = "cannot be used: ";
    const size_t reason = e.Message().find(kReasonFollows);
    throw EChatUsage("--proxy \"" + aProxyURL + "\" cannot be used: " +
                     (reason == std::string::npos ? e.Message() : e.Message().substr(reason + kReasonFollows.size())));
  }
  setenv("https_proxy", aProxyURL.c_str(), 1);
  setenv("http_proxy", aProxyURL.c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
}

}  // namespace qtx
