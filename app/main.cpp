// qtx_chat: the chat window. OPENAI_API_KEY offers a key when none is
// stored; OPENAI_BASE_URL points the window at another OpenAI-compatible
// service (the demo server of scripts/run, for one).

#include <QApplication>

#include "fKivra.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName("qtx Chat");
  qtx::TFRMKivra FRMKivra;
  FRMKivra.show();
  return QApplication::exec();
}
