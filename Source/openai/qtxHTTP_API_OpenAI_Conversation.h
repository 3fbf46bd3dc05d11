#pragma once
// TqtxOpenAIConversation: the messages of one conversation with a chat model
// (an optional system message, then the user's and the assistant's turns),
// from which each chat request is built and to which each answer is added.
// It can keep the conversation under a budget of characters by dropping its
// oldest exchanges. Plain data: it sends nothing itself.
//
//   conversation.AddUserMessage(text);
//   conversation.FillRequest(request);          // every message so far
//   auto answer = openai.CreateChatCompletionStream(request, onDelta);
//   conversation.AddAnswer(*answer);

#include <cstddef>
#include <string>
#include <vector>

#include "openai/qtxHTTP_API_OpenAI_Requests.h"
#include "openai/qtxHTTP_API_OpenAI_Responses.h"

namespace qtx {

struct TqtxOpenAIConversationMessage {
  std::string Role;  // "user" or "assistant"
  std::string Content;

  bool operator==(const TqtxOpenAIConversationMessage&) const = default;
};

class TqtxOpenAIConversation {
public:
  // Sent first in every request when not empty; never dropped.
  const std::string& SystemMessage() const noexcept { return FSystemMessage; }
  void SetSystemMessage(std::string aValue);

  // The turns in order, without the system message. Callers may change them
  // (take back an unanswered question, say); the budget applies again at the
  // next addition.
  std::vector<TqtxOpenAIConversationMessage>& Messages() noexcept { return FMessages; }
  const std::vector<TqtxOpenAIConversationMessage>& Messages() const noexcept { return FMessages; }

  // The most characters (Unicode code points of every content, the system
  // message's included) the conversation keeps; 0: no limit. Over it, the
  // oldest exchanges (a user message and the answers that follow it) go
  // first; the system message and the newest exchange always stay.
  size_t CharacterBudget() const noexcept { return FCharacterBudget; }
  void SetCharacterBudget(size_t aValue);
  // The characters the conversation holds now.
  size_t Characters() const noexcept;

  void AddUserMessage(std::string aText);
  void AddAssistantMessage(std::string aText);
  // The first choice's message of a completed answer, as the assistant's
  // (its own role when it names one); an answer without choices adds nothing.
  void AddAnswer(const TqtxOpenAIClass_Response_ChatCompletion& aAnswer);

  // Replaces aRequest's messages by the system message and every turn; the
  // request's other settings stay.
  void FillRequest(TqtxOpenAIClass_Request_ChatCompletion& aRequest) const;

  // Forgets every turn; the system message and the budget stay.
  void Clear() noexcept { FMessages.clear(); }

private:
  void Add(std::string aRole, std::string aContent);
  void KeepWithinBudget();

  std::string FSystemMessage;
  std::vector<TqtxOpenAIConversationMessage> FMessages;
  size_t FCharacterBudget = 0;
};

}  // namespace qtx
