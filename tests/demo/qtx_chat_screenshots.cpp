// qtx_chat_screenshots <folder>
//
// Renders the chat window offscreen talking to the service at
// OPENAI_BASE_URL (scripts/screenshots points it at the demo server) and
// saves three pictures in <folder>: chat-window-before.png at the start,
// chat-window-streaming.png while the third answer streams in, and
// chat-window-after.png once a conversation of three exchanges is done. The
// window starts as a user's first start does, with no settings file and no
// key, so with answers streaming and the conversation kept.

#include <functional>
#include <iostream>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include "fKivra.h"

namespace {

constexpr int kAnswerTimeoutMs = 30000;

bool Save(QWidget& aWindow, const QDir& aFolder, const char* aName) {
  const QString file = aFolder.filePath(aName);
  if (aWindow.grab().save(file)) return true;
  std::cerr << "qtx_chat_screenshots: cannot write " << file.toStdString() << "\n";
  return false;
}

// Lets the window work until aDone holds; false when it did not in time.
bool WaitFor(const std::function<bool()>& aDone) {
  const QDeadlineTimer deadline(kAnswerTimeoutMs);
  while (!aDone()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

class TScreenshots {
public:
  explicit TScreenshots(qtx::TFRMKivra& aWindow) : FWindow(aWindow) {}

  // Types aMessage and clicks Send; aWhileStreaming runs once the answer has
  // shown a few words. False when no answer came back.
  bool Exchange(const QString& aMessage, const std::function<bool()>& aWhileStreaming = {}) {
    FWindow.findChild<QLineEdit*>("txtMessage")->setText(aMessage);
    const int answersBefore = Answers();
    FWindow.findChild<QPushButton*>("btnSend")->click();
    if (aWhileStreaming &&
        !(WaitFor([this] { return LastLine().size() > 60 || !Running(); }) && aWhileStreaming()))
      return false;
    if (WaitFor([this] { return !Running(); }) && Answers() > answersBefore) return true;
    std::cerr << "qtx_chat_screenshots: no answer came back from " << qgetenv("OPENAI_BASE_URL").toStdString()
              << "\n";
    return false;
  }

private:
  bool Running() const { return !FWindow.findChild<QPushButton*>("btnNewChat")->isEnabled(); }
  QString Log() const { return FWindow.findChild<QPlainTextEdit*>("memoLog")->toPlainText(); }
  QString LastLine() const { return Log().section('\n', -1); }
  int Answers() const { return static_cast<int>(Log().count("[assistant] ")); }

  qtx::TFRMKivra& FWindow;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qtx_chat_screenshots <folder>\n";
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qunsetenv("OPENAI_API_KEY");
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName("qtx Chat");
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  const QTemporaryDir settingsFolder;
  const std::string settings = settingsFolder.filePath("qtx_chat.ini").toStdString();

  qtx::TFRMKivra window({settings, settings});
  window.show();
  TScreenshots screenshots(window);
  const bool saved = Save(window, folder, "chat-window-before.png") && screenshots.Exchange("Hello!!!") &&
                     screenshots.Exchange("A second message in the same conversation.") &&
                     screenshots.Exchange("And a third one, answered word by word.", [&] {
                       return Save(window, folder, "chat-window-streaming.png");
                     }) &&
                     Save(window, folder, "chat-window-after.png");
  return saved ? 0 : 1;
}
