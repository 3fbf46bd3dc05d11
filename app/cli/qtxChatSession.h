#pragma once
// One run of qtx-chat against the service: a single message answered, or a
// conversation read line by line. Failures become one line on standard
// error and the exit status of their kind (qtxChatCommandLine.h).

#include <istream>
#include <string>

#include "openai/qtxHTTP_API_OpenAI.h"
#include "openai/qtxHTTP_API_OpenAI_Conversation.h"
#include "qtxChatCommandLine.h"
#include "qtxChatOutput.h"

namespace qtx {

class TChatSession {
public:
  // Sets the component up from the command line: the key, the address, the
  // time-outs, the certificate checks and the proxy. Raises EChatUsage for a
  // CA file that cannot be read or a proxy URL that cannot be used.
  TChatSession(const TChatCommandLine& aLine, const std::string& aApiKey, TChatOutput& aOutput);

  // Answers aMessage; the exit status.
  int AskOnce(const std::string& aMessage);
  // A prompt per turn, each answer printed; "/new" starts over. A failed
  // turn is reported and taken back. Returns at the end of aInput.
  int Converse(std::istream& aInput);

private:
  // Sends the conversation and prints the answer, which joins it.
  void Answer();
  // The current exception as one error line; its exit status.
  int ReportFailure();

  const TChatCommandLine& FLine;
  TChatOutput& FOutput;
  TqtxHTTP_API_OpenAI FOpenAI;
  TqtxOpenAIConversation FConversation;
};

// The proxy every request takes, whatever the environment names: the
// process's proxy variables are set to it and no host is exempt.
void UseProxyForEverything(const std::string& aProxyURL);

}  // namespace qtx
