#include "openai/qtxHTTP_API_OpenAI_Conversation.h"

#include <algorithm>
#include <string_view>

namespace qtx {
namespace {

constexpr std::string_view kSystemRole = "system";
constexpr std::string_view kUserRole = "user";
constexpr std::string_view kAssistantRole = "assistant";

// Code points of UTF-8 text: every byte but the continuation bytes.
size_t CodePoints(std::string_view aText) {
  return static_cast<size_t>(
      std::count_if(aText.begin(), aText.end(), [](char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }));
}

}  // namespace

void TqtxOpenAIConversation::SetSystemMessage(std::string aValue) {
  FSystemMessage = std::move(aValue);
  KeepWithinBudget();
}

void TqtxOpenAIConversation::SetCharacterBudget(size_t aValue) {
  FCharacterBudget = aValue;
  KeepWithinBudget();
}

size_t TqtxOpenAIConversation::Characters() const noexcept {
  size_t total = CodePoints(FSystemMessage);
  for (const TqtxOpenAIConversationMessage& message : FMessages) total += CodePoints(message.Content);
  return total;
}

void TqtxOpenAIConversation::AddUserMessage(std::string aText) { Add(std::string(kUserRole), std::move(aText)); }

void TqtxOpenAIConversation::AddAssistantMessage(std::string aText) {
  Add(std::string(kAssistantRole), std::move(aText));
}

void TqtxOpenAIConversation::AddAnswer(const TqtxOpenAIClass_Response_ChatCompletion& aAnswer) {
  if (aAnswer.Choices().empty()) return;
  const TqtxOpenAIClass_Response_ChatCompletion_Choices_Message& message = aAnswer.Choices().front()->_Message();
  Add(message.Role().empty() ? std::string(kAssistantRole) : message.Role(), message.Content());
}

void TqtxOpenAIConversation::FillRequest(TqtxOpenAIClass_Request_ChatCompletion& aRequest) const {
  TqtxOpenAIArray_Request_Completion_Messages& messages = aRequest.Messages();
  messages.clear();
  if (!FSystemMessage.empty()) {
    messages.push_back(
        std::make_unique<TqtxOpenAIClass_Request_Completion_Message>(std::string(kSystemRole), FSystemMessage));
  }
  for (const TqtxOpenAIConversationMessage& message : FMessages) {
    messages.push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>(message.Role, message.Content));
  }
}

void TqtxOpenAIConversation::Add(std::string aRole, std::string aContent) {
  FMessages.push_back({std::move(aRole), std::move(aContent)});
  KeepWithinBudget();
}

void TqtxOpenAIConversation::KeepWithinBudget() {
  if (FCharacterBudget == 0) return;
  size_t total = Characters();
  // The newest exchange starts at the last user message (or is everything).
  const auto lastUser = std::find_if(FMessages.rbegin(), FMessages.rend(),
                                     [](const TqtxOpenAIConversationMessage& m) { return m.Role == kUserRole; });
  const size_t keep = lastUser == FMessages.rend() ? 0 : static_cast<size_t>(FMessages.rend() - lastUser - 1);
  size_t drop = 0;
  while (total > FCharacterBudget && drop < keep) {
    // One exchange: the message at drop and what follows it up to the next user message.
    size_t end = drop + 1;
    while (end < keep && FMessages[end].Role != kUserRole) ++end;
    for (size_t i = drop; i < end; ++i) total -= CodePoints(FMessages[i].Content);
    drop = end;
  }
  FMessages.erase(FMessages.begin(), FMessages.begin() + static_cast<std::ptrdiff_t>(drop));
}

}  // namespace qtx
