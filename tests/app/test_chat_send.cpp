// Sending from the chat window to an OpenAI-compatible service on a loopback
// port (the tests' fake service), as a user does: the key, the message, Send.

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <nlohmann/json.hpp>

#include "qtxTestChatWindow.h"

namespace qtx::test {
namespace {

// With both boxes off: one message out, the window waiting for its answer.
class ChatSend : public ChatExchange {
protected:
  ChatSend() : ChatExchange("STREAM=0\nCONVERSATION=0\n") {}
};

TEST_F(ChatSend, AnAnswerIsLoggedAfterTheUsersLineAndTheTokensAreShown) {
  FForm->show();
  EXPECT_EQ(Send("Hello!!!"), std::nullopt) << "the stored key reached the component";
  EXPECT_EQ(Log(), "[user] Hello!!!\n[assistant] You said: Hello!!!");
  EXPECT_EQ(Get<QLineEdit>("txtMessage").text(), "");
  const int completion = TTestOpenAIService::CountTokens("You said: Hello!!!");
  const int prompt = TTestOpenAIService::CountTokens("Hello!!!") + TTestOpenAIService::kTokensPerMessage;
  EXPECT_EQ(Tokens(), (std::vector<QString>{QString::number(completion), QString::number(prompt),
                                            QString::number(completion + prompt)}));
  EXPECT_EQ(SentMessages(), nlohmann::json::parse(R"([{"role": "user", "content": "Hello!!!"}])"));

  // The window as it looks after an exchange, for people to see.
  const QImage screenshot = FForm->grab().toImage();
  ASSERT_EQ(screenshot.size(), QSize(796, 804));
  EXPECT_TRUE(screenshot.save(QString(QTX_TEST_SCREENSHOT_DIR) + "/qtx_chat.png"));
}

TEST_F(ChatSend, TheTotalIsTheServicesAndAnAnswerWithoutUsageShowsNoughts) {
  FService.Program({.Status = 200,
                    .Body = R"({"choices": [{"index": 0, "message": {"role": "assistant", "content": "a"}}],
                                "usage": {"prompt_tokens": 1, "completion_tokens": 2, "total_tokens": 40}})"});
  FService.Program({.Status = 200, .Body = R"({"choices": [{"message": {"role": "assistant", "content": "b"}}]})"});
  EXPECT_EQ(Send("one"), std::nullopt);
  EXPECT_EQ(Tokens(), (std::vector<QString>{"2", "1", "40"}));
  EXPECT_EQ(Send("two"), std::nullopt);
  EXPECT_EQ(Tokens(), (std::vector<QString>{"0", "0", "0"}));
  EXPECT_EQ(Log(), "[user] one\n[assistant] a\n[user] two\n[assistant] b");
}

TEST_F(ChatSend, EveryChoiceIsLoggedWithTheRoleTheServiceReports) {
  FService.Program({.Status = 200, .Body = R"({"choices": [{"message": {"role": "assistant", "content": "first"}},
                                                          {"message": {"role": "tool", "content": "second"}}]})"});
  EXPECT_EQ(Send("hi"), std::nullopt);
  EXPECT_EQ(Log(), "[user] hi\n[assistant] first\n[tool] second");
}

TEST_F(ChatSend, LineBreaksAndNonAsciiTextAreShownAsText) {
  FService.Program({.Content = "line one\nline two: Grüße, 日本語 😀"});
  EXPECT_EQ(Send("hi"), std::nullopt);
  EXPECT_EQ(Log(), "[user] hi\n[assistant] line one\nline two: Grüße, 日本語 😀");
}

TEST_F(ChatSend, QuotesAndEmojiGoOutAsValidJSONAndComeBackExactly) {
  const QString message = R"(She said "hi" \ 😀)";
  EXPECT_EQ(Send(message), std::nullopt);
  EXPECT_EQ(SentMessages(), nlohmann::json::parse(R"([{"role": "user", "content": "She said \"hi\" \\ 😀"}])"));
  EXPECT_EQ(Log(), "[user] " + message + "\n[assistant] You said: " + message);
}

TEST_F(ChatSend, AnEmptyMessageIsRefusedButBlanksAreSent) {
  EXPECT_EQ(Send(""), "Message cannot be empty!!!");
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(FService.Requests().empty());

  EXPECT_EQ(Send("  "), std::nullopt);
  EXPECT_EQ(Log(), "[user]   \n[assistant] You said:   ");
}

TEST_F(ChatSend, AServiceErrorIsShownAndTheMessageKeptForAnotherTry) {
  EXPECT_EQ(Send("first"), std::nullopt);
  const std::vector<QString> tokens = Tokens();
  Get<QLineEdit>("txtAPIKey").setText("sk-wrong");
  const std::optional<QString> error = Send("second");

  ASSERT_TRUE(error.has_value());
  const std::string shown = error->toStdString();
  const std::string statusPart = "HTTP/1.1 401 Unauthorized. ";
  ASSERT_EQ(shown.substr(0, statusPart.size()), statusPart);
  const auto body = nlohmann::json::parse(shown.substr(statusPart.size()));
  EXPECT_EQ(body.at("error").at("code"), "invalid_api_key");
  EXPECT_EQ(Log(), "[user] first\n[assistant] You said: first\n[user] second");
  EXPECT_EQ(Get<QLineEdit>("txtMessage").text(), "second");
  EXPECT_EQ(Tokens(), tokens);

  // The window stays usable: with the right key the kept message goes out.
  Get<QLineEdit>("txtAPIKey").setText(QString::fromStdString(std::string(kOpenAITestApiKey)));
  EXPECT_EQ(Send("second"), std::nullopt);
  EXPECT_EQ(Log(), "[user] first\n[assistant] You said: first\n[user] second\n[user] second\n[assistant] You said: second");
}

TEST_F(ChatSend, EnterInTheMessageBoxSends) {
  FForm->show();
  Get<QLineEdit>("txtMessage").setText("by keyboard");
  QTest::keyClick(&Get<QLineEdit>("txtMessage"), Qt::Key_Return);
  EXPECT_EQ(Log(), "[user] by keyboard\n[assistant] You said: by keyboard");
}

}  // namespace
}  // namespace qtx::test
