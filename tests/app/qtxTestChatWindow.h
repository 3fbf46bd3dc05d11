#pragma once
// Helpers of the window tests: the window's components by name, the
// message box that an action shows, and a window talking to the fake service.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fKivra.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestOpenAIService.h"
#include "support/qtxTestShell.h"

namespace qtx::test {

// The window's component of that name and class; fails the test when missing.
template <typename T>
T& Component(const TFRMKivra& aForm, const char* aName) {
  T* component = aForm.findChild<T*>(aName);
  if (!component) throw std::runtime_error(std::string("no component ") + aName);
  return *component;
}

// Runs aAction. The message box it shows is read and closed; its text is
// returned, or nothing when no box came up.
template <typename F>
std::optional<QString> MessageBoxShownBy(F&& aAction) {
  std::optional<QString> shown;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
        shown = box->text();
        box->accept();
      }
    }
  });
  poll.start(10);
  aAction();
  return shown;
}

inline std::string Text(const QString& aText) { return aText.toStdString(); }

// A window talking to the fake service, with the service's key and
// aSettingsLines stored under [OPENAI] before it starts.
class ChatExchange : public testing::Test {
protected:
  explicit ChatExchange(std::string aSettingsLines, TOpenAIServiceOptions aServiceOptions = {})
      : FService(std::move(aServiceOptions)), FSettingsLines(std::move(aSettingsLines)) {}

  template <typename T>
  T& Get(const char* aName) {
    return Component<T>(*FForm, aName);
  }
  QString Log() { return Get<QPlainTextEdit>("memoLog").toPlainText(); }
  void Click(const char* aButton) { QTest::mouseClick(&Get<QPushButton>(aButton), Qt::LeftButton); }
  // Types aMessage and clicks Send; the text of the message box that comes up, if one does.
  std::optional<QString> Send(const QString& aMessage) {
    Get<QLineEdit>("txtMessage").setText(aMessage);
    return MessageBoxShownBy([this] { Click("btnSend"); });
  }
  std::vector<QString> Tokens() {
    return {Get<QLineEdit>("txtCompletionTokens").text(), Get<QLineEdit>("txtPromptTokens").text(),
            Get<QLineEdit>("txtTotalTokens").text()};
  }
  // The body of the last chat completion the service received.
  nlohmann::json SentBody() {
    const auto requests = FService.Requests();
    if (requests.empty()) return nullptr;
    const auto body = nlohmann::json::parse(requests.back().Body);
    EXPECT_EQ(body.at("model"), "gpt-3.5-turbo");
    return body;
  }
  nlohmann::json SentMessages() {
    const nlohmann::json body = SentBody();
    return body.is_null() ? body : body.at("messages");
  }

  TTestOpenAIService FService;
  ScopedEnvironment FServiceAddress{"OPENAI_BASE_URL", FService.Url("/v1").c_str()};
  ScopedEnvironment FNoEnvironmentKey{"OPENAI_API_KEY", nullptr};
  TTempFolder FFolder;
  std::string FSettingsLines;
  std::string FSettings = [this] {
    const std::string settings = FFolder.File("qtx_chat.ini");
    WriteFileBytes(settings, Bytes("[OPENAI]\nAPI_KEY=" + std::string(kOpenAITestApiKey) + "\n" + FSettingsLines));
    return settings;
  }();
  std::unique_ptr<TFRMKivra> FForm = std::make_unique<TFRMKivra>(TChatSettingsFile{FSettings, FSettings});
};

}  // namespace qtx::test

// Readable values in failure messages.
inline void PrintTo(const QString& aText, std::ostream* aStream) { *aStream << '"' << aText.toStdString() << '"'; }
inline void PrintTo(const QRect& aRect, std::ostream* aStream) {
  *aStream << aRect.x() << ',' << aRect.y() << ' ' << aRect.width() << 'x' << aRect.height();
}
inline void PrintTo(const QSize& aSize, std::ostream* aStream) { *aStream << aSize.width() << 'x' << aSize.height(); }
inline void PrintTo(const QPoint& aPoint, std::ostream* aStream) { *aStream << aPoint.x() << ',' << aPoint.y(); }
