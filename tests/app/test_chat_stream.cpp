// The chat window with its defaults: answers stream into the log from a
// worker thread and each message carries the conversation so far.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <nlohmann/json.hpp>

#include "qtxTestChatWindow.h"

namespace qtx::test {
namespace {

using nlohmann::json;

// "w0 w1 w2 ...": aCount pieces of the service's answer.
std::string Words(int aCount) {
  std::string words;
  for (int index = 0; index < aCount; ++index) words += (index ? " w" : "w") + std::to_string(index);
  return words;
}

json Turn(const char* aRole, const std::string& aContent) { return {{"role", aRole}, {"content", aContent}}; }

// Counts the paint events of a widget while aWhile holds.
class TPaintCounter : public QObject {
public:
  TPaintCounter(QWidget* aWidget, std::function<bool()> aWhile) : FWhile(std::move(aWhile)) {
    aWidget->installEventFilter(this);
  }
  int Count = 0;

protected:
  bool eventFilter(QObject*, QEvent* aEvent) override {
    if (aEvent->type() == QEvent::Paint && FWhile()) ++Count;
    return false;
  }

private:
  std::function<bool()> FWhile;
};

class ChatStream : public ChatExchange {
protected:
  ChatStream() : ChatExchange("", {.StreamPauseMs = 5, .Record = true, .Reply = {}}) {}

  bool Running() { return !Get<QPushButton>("btnNewChat").isEnabled(); }
  void WaitForTheAnswer() { EXPECT_TRUE(QTest::qWaitFor([this] { return !Running(); }, 60000)); }
  // Sends aMessage and lets the window work until the answer is in.
  std::optional<QString> SendAndWait(const QString& aMessage) {
    Get<QLineEdit>("txtMessage").setText(aMessage);
    return MessageBoxShownBy([this] {
      Click("btnSend");
      WaitForTheAnswer();
    });
  }
};

TEST_F(ChatStream, TheWindowRepaintsAndTheAnswerGrowsWhileItStreams) {
  FForm->show();
  const std::string answer = Words(60);
  FService.Program({.Content = answer});
  TPaintCounter paints(Get<QPlainTextEdit>("memoLog").viewport(), [this] { return Running(); });
  std::set<QString> logsWhileStreaming;
  bool stopShown = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!Running()) return;
    logsWhileStreaming.insert(Log());
    stopShown = stopShown || Get<QPushButton>("btnSend").text() == "Stop";
  });
  timer.start(5);

  EXPECT_EQ(SendAndWait("go"), std::nullopt);
  EXPECT_GT(logsWhileStreaming.size(), 3u) << "the timer fired and saw the answer grow";
  EXPECT_GT(paints.Count, 0);
  EXPECT_TRUE(stopShown);
  EXPECT_EQ(Get<QPushButton>("btnSend").text(), "Send");
  EXPECT_EQ(Log(), QString::fromStdString("[user] go\n[assistant] " + answer));
  EXPECT_EQ(Get<QLineEdit>("txtMessage").text(), "");
}

TEST_F(ChatStream, StopEndsTheAnswerAndKeepsWhatArrived) {
  const std::string answer = Words(400);
  FService.Program({.Content = answer});
  const QString start = "[user] go\n[assistant] ";
  Get<QLineEdit>("txtMessage").setText("go");
  Click("btnSend");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().size() > start.size() + 10; }, 60000));
  Click("btnSend");
  WaitForTheAnswer();

  const QString log = Log();
  ASSERT_TRUE(log.startsWith(start)) << Text(log);
  const std::string arrived = log.mid(start.size()).toStdString();
  EXPECT_LT(arrived.size(), answer.size());
  EXPECT_EQ(arrived, answer.substr(0, arrived.size()));
  EXPECT_EQ(SendAndWait("next"), std::nullopt);
  EXPECT_EQ(SentMessages(), json::array({Turn("user", "go"), Turn("assistant", arrived), Turn("user", "next")}));
}

TEST_F(ChatStream, EachSendCarriesTheConversationAndNewChatStartsAnother) {
  for (const bool stream : {true, false}) {
    SCOPED_TRACE(stream ? "streamed" : "whole answers");
    Get<QCheckBox>("chkStream").setChecked(stream);
    Click("btnNewChat");
    EXPECT_EQ(SendAndWait("one"), std::nullopt);
    EXPECT_EQ(SendAndWait("two"), std::nullopt);
    EXPECT_EQ(SentMessages(),
              json::array({Turn("user", "one"), Turn("assistant", "You said: one"), Turn("user", "two")}));
    EXPECT_EQ(SentBody().value("stream", false), stream);
    EXPECT_EQ(Log(), "[user] one\n[assistant] You said: one\n[user] two\n[assistant] You said: two");
    const int completion = TTestOpenAIService::CountTokens("You said: two");
    const int prompt = TTestOpenAIService::CountTokens("one") + TTestOpenAIService::CountTokens("You said: one") +
                       TTestOpenAIService::CountTokens("two") + 3 * TTestOpenAIService::kTokensPerMessage;
    EXPECT_EQ(Tokens(), (std::vector<QString>{QString::number(completion), QString::number(prompt),
                                              QString::number(completion + prompt)}));
  }
  Click("btnNewChat");
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(SendAndWait("three"), std::nullopt);
  EXPECT_EQ(SentMessages(), json::array({Turn("user", "three")}));
}

TEST_F(ChatStream, AFailureReachesTheMessageBoxAndTheQuestionIsTakenBack) {
  FService.Program({.StreamEnd = TStreamEnd::ErrorEvent});
  EXPECT_EQ(SendAndWait("lost"), "The server had an error while processing your request. Sorry about that!");
  EXPECT_EQ(Get<QLineEdit>("txtMessage").text(), "lost");
  EXPECT_EQ(SendAndWait("again"), std::nullopt);
  EXPECT_EQ(SentMessages(), json::array({Turn("user", "again")}));
}

}  // namespace
}  // namespace qtx::test
