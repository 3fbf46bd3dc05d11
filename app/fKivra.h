#pragma once
// The chat window: the user's OpenAI API key and message, a log of the
// exchange and the token counts the service reports. A message goes out as a
// one-message chat completion; the key is kept in the settings file.

#include <functional>
#include <memory>

#include <QString>
#include <QWidget>

#include "qtxChatSettings.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QResizeEvent;

namespace qtx {

class TqtxHTTP_API_OpenAI;

class TFRMKivra : public QWidget {
  Q_OBJECT

public:
  // The window with the settings file where the running program keeps it.
  explicit TFRMKivra(QWidget* aParent = nullptr);
  explicit TFRMKivra(TChatSettingsFile aSettingsFile, QWidget* aParent = nullptr);
  ~TFRMKivra() override;

  // The OpenAI component, created on first read; the window owns it.
  TqtxHTTP_API_OpenAI& OpenAI();

  void AddLog(const QString& aText);

protected:
  void resizeEvent(QResizeEvent* aEvent) override;

private:
  void CreateComponents();
  // aHandler, run through the application's default exception handler.
  std::function<void()> EventHandler(void (TFRMKivra::*aHandler)());
  void AlignComponents();

  void FormCreate();
  void FormDestroy();
  void txtAPIKeyChange();
  void btnSendClick();
  void LoadSettings();
  void SaveSettings();

  QFrame* pnlTop;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLineEdit* txtAPIKey;
  QLineEdit* txtCompletionTokens;
  QLineEdit* txtPromptTokens;
  QLineEdit* txtTotalTokens;
  QFrame* pnlClient;
  QPlainTextEdit* memoLog;
  QFrame* pnlBottom;
  QLineEdit* txtMessage;
  QPushButton* btnSend;

  TChatSettingsFile FSettingsFile;
  std::unique_ptr<TqtxHTTP_API_OpenAI> FOpenAI;
};

}  // namespace qtx
