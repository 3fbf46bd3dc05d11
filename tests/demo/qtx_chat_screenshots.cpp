// qtx_chat_screenshots <folder>
//
// Renders the chat window offscreen before and after one exchange with the
// service at OPENAI_BASE_URL (scripts/screenshots points it at the demo
// server) and saves the two pictures as chat-window-before.png and
// chat-window-after.png in <folder>. The window starts as a user's first
// start does, with no settings file and no key.

#include <iostream>

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "fKivra.h"

namespace {

bool Save(QWidget& aWindow, const QDir& aFolder, const char* aName) {
  const QString file = aFolder.filePath(aName);
  if (aWindow.grab().save(file)) return true;
  std::cerr << "qtx_chat_screenshots: cannot write " << file.toStdString() << "\n";
  return false;
}

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
  if (!Save(window, folder, "chat-window-before.png")) return 1;
  window.findChild<QPushButton*>("btnSend")->click();
  if (!window.findChild<QPlainTextEdit*>("memoLog")->toPlainText().contains("[assistant] ")) {
    std::cerr << "qtx_chat_screenshots: no answer came back from " << qgetenv("OPENAI_BASE_URL").toStdString() << "\n";
    return 1;
  }
  return Save(window, folder, "chat-window-after.png") ? 0 : 1;
}
