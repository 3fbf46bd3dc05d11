#pragma once
// The chat window: the user's OpenAI API key and message, a log of the
// exchange and the token counts the service reports. A message goes out as a
// chat completion carrying the conversation so far, and the answer streams
// into the log from a worker thread, while the window stays responsive. With
// the "Stream" and "Conversation" boxes off, each message goes out alone and
// the window waits for the whole answer. The key and the two boxes are kept
// in the settings file.

#include <functional>
#include <memory>

#include <QString>
#include <QWidget>

#include "openai/qtxHTTP_API_OpenAI_Conversation.h"
#include "qtxChatSettings.h"

class QCheckBox;
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
  void txtMessageReturnPressed();
  void btnNewChatClick();
  void LoadSettings();
  void SaveSettings();

  struct TExchange;
  // Sends FExchange's request on a worker thread; ExchangeFinished takes the
  // result on the window's thread.
  void StartExchange(std::unique_ptr<TExchange> aExchange);
  void RunExchange(TExchange& aExchange, TqtxHTTP_API_OpenAI& aOpenAI);
  void ExchangeFinished();
  // Stops the running exchange, if one runs, and waits for its thread.
  void StopExchange();
  void SetExchangeRunning(bool aRunning, bool aStreaming);
  // The start of the streamed answer's first choice, and a piece of it.
  void ShowPiece(const QString& aRole, const QString& aPiece);
  // Each choice of aAnswer (but the first one when it streamed into the log), and its usage.
  void ShowAnswer(const TqtxOpenAIClass_Response_ChatCompletion& aAnswer, bool aFirstChoiceShown);

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
  QCheckBox* chkStream;
  QCheckBox* chkConversation;
  QPushButton* btnNewChat;

  TChatSettingsFile FSettingsFile;
  std::unique_ptr<TqtxHTTP_API_OpenAI> FOpenAI;
  TqtxOpenAIConversation FConversation;
  // The exchange on the worker thread; while it runs, only that thread uses FOpenAI.
  std::unique_ptr<TExchange> FExchange;
};

}  // namespace qtx
