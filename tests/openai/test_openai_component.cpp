// The OpenAI component against the fake OpenAI service of tests/support:
// what goes on the wire for every endpoint and what comes back typed.

#include <gtest/gtest.h>

#include "openai/qtxHTTP_API_OpenAI.h"
#include "support/qtxTestOpenAIService.h"

namespace qtx {
namespace {

using test::TTestOpenAIService;

class OpenAIComponent : public ::testing::Test {
protected:
  OpenAIComponent() {
    FOpenAI.OpenAIOptions().SetApiKey(std::string(test::kOpenAITestApiKey));
    FOpenAI.OpenAIOptions().SetBaseURL(FService.Url(""));
    FOpenAI.OpenAIOptions().SetOrganization({});
  }

  TTestOpenAIService FService;
  TqtxHTTP_API_OpenAI FOpenAI;
};

TEST_F(OpenAIComponent, ChatCompletionEndToEnd) {
  TqtxOpenAIClass_Request_ChatCompletion request;
  request.SetModel("gpt-3.5-turbo");
  request.Messages().push_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>("user", "Grüße 😀"));
  const auto response = FOpenAI.CreateChatCompletion(request);
  ASSERT_EQ(response->Choices().size(), 1u);
  EXPECT_EQ(response->Choices()[0]->_Message().Content(), "You said: Grüße 😀");
  EXPECT_EQ(response->Usage().CompletionTokens(), TTestOpenAIService::CountTokens("You said: Grüße 😀"));
  const auto requests = FService.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method, "POST");
  EXPECT_EQ(requests[0].Target, "/v1/chat/completions");
}

}  // namespace
}  // namespace qtx
