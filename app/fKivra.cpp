#include "fKivra.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>

#include "openai/qtxHTTP_API_OpenAI.h"
#include "qtxApplication.h"

namespace qtx {

namespace {

const char* const SWindowTitle = "qtx Chat";
const char* const SAPIKeyCaption = "OpenAI API Key:";
const char* const SCompletionTokensCaption = "Completion Tokens:";
const char* const SPromptTokensCaption = "Prompt Tokens:";
const char* const STotalTokensCaption = "Total Tokens:";
const char* const SUsageCaption = "Usage";
const char* const SSendCaption = "Send";
const char* const SStopCaption = "Stop";
const char* const SNewChatCaption = "New chat";
const char* const SStreamCaption = "Stream";
const char* const SConversationCaption = "Conversation";
const char* const SInitialMessage = "Hello!!!";
const char* const SMessageEmpty = "Message cannot be empty!!!";

const char* const kChatModel = "gpt-3.5-turbo";

const char* const kApiKeyVariable = "OPENAI_API_KEY";

const char* const kFontFamily = "Segoe UI";
constexpr int kFontPixels = 12;
constexpr int kMessageFontPixels = 16;

// The window's design, in pixels: its client area, the margin of a control
// aligned with margins, the fixed heights of the top and bottom panels.
constexpr int kClientWidth = 796;
constexpr int kClientHeight = 804;
constexpr int kAlignMargin = 3;
constexpr int kTopPanelHeight = 94;
constexpr int kBottomPanelHeight = 60;
constexpr int kEditHeight = 23;
constexpr int kCaptionGap = 4;
// The message box keeps its left edge and its gap to the right edge, the
// Send button its gap to the right edge, as the window is resized.
constexpr QRect kMessageDesign(16, 16, 692, 29);
constexpr QRect kSendDesign(714, 14, 75, 34);
constexpr int kMessageRightGap = kClientWidth - kMessageDesign.x() - kMessageDesign.width();
constexpr int kSendRightGap = kClientWidth - kSendDesign.x() - kSendDesign.width();

// Masks the key with "*", whatever the style's own mask character.
class TAsteriskPasswordStyle : public QProxyStyle {
public:
  int styleHint(StyleHint aHint, const QStyleOption* aOption, const QWidget* aWidget,
                QStyleHintReturn* aReturn) const override {
    if (aHint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(aHint, aOption, aWidget, aReturn);
  }
};

// The window's font at aPixels; the platform's UI font where "Segoe UI" is missing.
QFont FormFont(int aPixels) {
  QFont font = QFontDatabase::families().contains(kFontFamily) ? QFont(kFontFamily) : QApplication::font();
  font.setPixelSize(aPixels);
  return font;
}

QFrame* CreatePanel(const char* aName, QWidget* aParent) {
  auto* panel = new QFrame(aParent);
  panel->setObjectName(aName);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  return panel;
}

QLabel* CreateLabel(const char* aName, const char* aCaption, int aLeft, int aTop, QWidget* aParent) {
  auto* label = new QLabel(aCaption, aParent);
  label->setObjectName(aName);
  label->move(aLeft, aTop);
  label->adjustSize();
  return label;
}

// A caption left of its box ends before the box, also in a font wider than
// the design's, by moving left as far as it must.
void KeepLeftOf(QLabel* aLabel, const QWidget* aBox) {
  const int left = aBox->x() - kCaptionGap - aLabel->width();
  if (aLabel->x() > left) aLabel->move(std::max(0, left), aLabel->y());
}

QLineEdit* CreateEdit(const char* aName, QRect aGeometry, QWidget* aParent) {
  auto* edit = new QLineEdit(aParent);
  edit->setObjectName(aName);
  edit->setGeometry(aGeometry);
  return edit;
}

QCheckBox* CreateCheckBox(const char* aName, const char* aCaption, int aLeft, int aTop, QWidget* aParent) {
  auto* box = new QCheckBox(aCaption, aParent);
  box->setObjectName(aName);
  box->move(aLeft, aTop);
  box->adjustSize();
  return box;
}

void AppendToLog(QPlainTextEdit* aLog, const QString& aText) {
  QScrollBar* scroll = aLog->verticalScrollBar();
  const bool followEnd = scroll->value() == scroll->maximum();
  QTextCursor end(aLog->document());
  end.movePosition(QTextCursor::End);
  end.insertText(aText);
  if (followEnd) scroll->setValue(scroll->maximum());
}

QLineEdit* CreateTokenBox(const char* aName, int aLeft, int aTop, int aWidth, QWidget* aParent) {
  QLineEdit* edit = CreateEdit(aName, QRect(aLeft, aTop, aWidth, kEditHeight), aParent);
  edit->setReadOnly(true);
  return edit;
}

}  // namespace

// One Send's request and, once the worker is done, its answer or failure.
struct TFRMKivra::TExchange {
  QString Message;
  bool Streaming = false;
  bool InConversation = false;
  TqtxOpenAIClass_Request_ChatCompletion Request;
  std::atomic<bool> Stop = false;
  bool AnswerLineStarted = false;  // the first choice's line of a streamed answer
  std::unique_ptr<QThread> Thread;
  std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> Answer;
  std::exception_ptr Failure;
};

TFRMKivra::TFRMKivra(QWidget* aParent) : TFRMKivra(DefaultChatSettingsFile(), aParent) {}

TFRMKivra::TFRMKivra(TChatSettingsFile aSettingsFile, QWidget* aParent)
    : QWidget(aParent), FSettingsFile(std::move(aSettingsFile)) {
  setObjectName("FRMKivra");
  setWindowTitle(SWindowTitle);
  setFont(FormFont(kFontPixels));
  CreateComponents();
  const QSize clientSize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QApplication::primaryScreen())
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, clientSize, screen->availableGeometry()));
  else
    resize(clientSize);
  txtMessage->setFocus();

  connect(txtAPIKey, &QLineEdit::textChanged, this, EventHandler(&TFRMKivra::txtAPIKeyChange));
  connect(btnSend, &QPushButton::clicked, this, EventHandler(&TFRMKivra::btnSendClick));
  // Enter in the message box sends, as in any chat box.
  connect(txtMessage, &QLineEdit::returnPressed, this, EventHandler(&TFRMKivra::txtMessageReturnPressed));
  connect(btnNewChat, &QPushButton::clicked, this, EventHandler(&TFRMKivra::btnNewChatClick));
  EventHandler(&TFRMKivra::FormCreate)();
}

std::function<void()> TFRMKivra::EventHandler(void (TFRMKivra::*aHandler)()) {
  return [this, aHandler] { RunEventHandler(this, [this, aHandler] { (this->*aHandler)(); }); };
}

TFRMKivra::~TFRMKivra() {
  StopExchange();
  RunEventHandler(nullptr, [this] { FormDestroy(); });
}

void TFRMKivra::CreateComponents() {
  pnlTop = CreatePanel("pnlTop", this);
  pnlTop->setFixedHeight(kTopPanelHeight);
  Label1 = CreateLabel("Label1", SAPIKeyCaption, 24, 11, pnlTop);
  Label2 = CreateLabel("Label2", SCompletionTokensCaption, 116, 39, pnlTop);
  Label3 = CreateLabel("Label3", SPromptTokensCaption, 271, 39, pnlTop);
  Label4 = CreateLabel("Label4", STotalTokensCaption, 429, 37, pnlTop);
  Label5 = CreateLabel("Label5", SUsageCaption, 72, 61, pnlTop);
  txtAPIKey = CreateEdit("txtAPIKey", QRect(116, 8, 663, kEditHeight), pnlTop);
  txtAPIKey->setEchoMode(QLineEdit::Password);
  auto* passwordStyle = new TAsteriskPasswordStyle;
  passwordStyle->setParent(txtAPIKey);
  txtAPIKey->setStyle(passwordStyle);
  txtCompletionTokens = CreateTokenBox("txtCompletionTokens", 116, 60, 117, pnlTop);
  txtPromptTokens = CreateTokenBox("txtPromptTokens", 271, 60, 121, pnlTop);
  txtTotalTokens = CreateTokenBox("txtTotalTokens", 429, 58, 121, pnlTop);
  chkStream = CreateCheckBox("chkStream", SStreamCaption, 572, 37, pnlTop);
  chkConversation = CreateCheckBox("chkConversation", SConversationCaption, 572, 60, pnlTop);
  btnNewChat = new QPushButton(SNewChatCaption, pnlTop);
  btnNewChat->setObjectName("btnNewChat");
  btnNewChat->setGeometry(689, 44, 90, 34);
  KeepLeftOf(Label1, txtAPIKey);
  KeepLeftOf(Label5, txtCompletionTokens);

  pnlClient = CreatePanel("pnlClient", this);
  memoLog = new QPlainTextEdit(pnlClient);
  memoLog->setObjectName("memoLog");
  memoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoLog->setTabChangesFocus(true);
  memoLog->setReadOnly(true);
  auto* clientLayout = new QVBoxLayout(pnlClient);
  clientLayout->setContentsMargins(kAlignMargin, kAlignMargin, kAlignMargin, kAlignMargin);
  clientLayout->addWidget(memoLog);

  pnlBottom = CreatePanel("pnlBottom", this);
  pnlBottom->setFixedHeight(kBottomPanelHeight);
  txtMessage = CreateEdit("txtMessage", kMessageDesign, pnlBottom);
  txtMessage->setFont(FormFont(kMessageFontPixels));
  txtMessage->setText(SInitialMessage);
  btnSend = new QPushButton(SSendCaption, pnlBottom);
  btnSend->setObjectName("btnSend");
  btnSend->setFont(FormFont(kMessageFontPixels));
  btnSend->setGeometry(kSendDesign);

  QWidget::setTabOrder(txtAPIKey, txtCompletionTokens);
  QWidget::setTabOrder(txtCompletionTokens, txtPromptTokens);
  QWidget::setTabOrder(txtPromptTokens, txtTotalTokens);
  QWidget::setTabOrder(txtTotalTokens, chkStream);
  QWidget::setTabOrder(chkStream, chkConversation);
  QWidget::setTabOrder(chkConversation, btnNewChat);
  QWidget::setTabOrder(btnNewChat, memoLog);
  QWidget::setTabOrder(memoLog, txtMessage);
  QWidget::setTabOrder(txtMessage, btnSend);
}

void TFRMKivra::resizeEvent(QResizeEvent* aEvent) {
  QWidget::resizeEvent(aEvent);
  AlignComponents();
}

// The top panel and the client panel keep a margin around them, the top and
// bottom panels their heights; the client panel takes what is left.
void TFRMKivra::AlignComponents() {
  const int clientTop = kAlignMargin + kTopPanelHeight + 2 * kAlignMargin;
  const int clientBottom = height() - kBottomPanelHeight - kAlignMargin;
  pnlTop->setGeometry(kAlignMargin, kAlignMargin, width() - 2 * kAlignMargin, kTopPanelHeight);
  pnlClient->setGeometry(kAlignMargin, clientTop, width() - 2 * kAlignMargin, std::max(0, clientBottom - clientTop));
  pnlBottom->setGeometry(0, height() - kBottomPanelHeight, width(), kBottomPanelHeight);

  const int bottomWidth = pnlBottom->width();
  txtMessage->setGeometry(kMessageDesign.x(), kMessageDesign.y(),
                          std::max(0, bottomWidth - kMessageDesign.x() - kMessageRightGap), kMessageDesign.height());
  btnSend->move(bottomWidth - kSendRightGap - kSendDesign.width(), kSendDesign.y());
}

void TFRMKivra::FormCreate() { LoadSettings(); }

void TFRMKivra::FormDestroy() { SaveSettings(); }

// The stored key; without one, the key the environment offers, which is then
// saved at close as a typed one would be.
void TFRMKivra::LoadSettings() {
  const TChatSwitches switches = ReadChatSwitches(FSettingsFile.ReadFrom);
  chkStream->setChecked(switches.Stream);
  chkConversation->setChecked(switches.Conversation);
  std::string key = ReadChatApiKey(FSettingsFile.ReadFrom);
  if (key.empty()) {
    if (const char* environmentKey = getenv(kApiKeyVariable)) key = environmentKey;
  }
  txtAPIKey->setText(QString::fromStdString(key));
}

void TFRMKivra::SaveSettings() {
  WriteChatApiKey(FSettingsFile.WriteTo, txtAPIKey->text().toStdString());
  WriteChatSwitches(FSettingsFile.WriteTo, {chkStream->isChecked(), chkConversation->isChecked()});
}

TqtxHTTP_API_OpenAI& TFRMKivra::OpenAI() {
  if (!FOpenAI) FOpenAI = std::make_unique<TqtxHTTP_API_OpenAI>();
  return *FOpenAI;
}

// A key typed while an exchange runs reaches the component when it ends.
void TFRMKivra::txtAPIKeyChange() {
  if (!FExchange) OpenAI().OpenAIOptions().SetApiKey(txtAPIKey->text().toStdString());
}

// Send, or Stop while an answer streams. The message goes out with the
// conversation so far when "Conversation" is on; with both boxes off it goes
// out alone and the window waits for the answer. A failed call leaves the
// message in its box for another try.
void TFRMKivra::btnSendClick() {
  if (FExchange) {
    FExchange->Stop = true;
    return;
  }
  const QString message = txtMessage->text();
  if (message.isEmpty()) throw Exception(SMessageEmpty);
  AddLog("[user] " + message);

  auto exchange = std::make_unique<TExchange>();
  exchange->Message = message;
  exchange->Streaming = chkStream->isChecked();
  exchange->InConversation = chkConversation->isChecked();
  TqtxOpenAIClass_Request_ChatCompletion& request = exchange->Request;
  request.SetModel(kChatModel);
  if (exchange->InConversation) {
    FConversation.AddUserMessage(message.toStdString());
    FConversation.FillRequest(request);
  } else {
    auto& userMessage = request.Messages().emplace_back(std::make_unique<TqtxOpenAIClass_Request_Completion_Message>());
    userMessage->SetContent(message.toStdString());
  }
  if (exchange->Streaming || exchange->InConversation) return StartExchange(std::move(exchange));

  const std::unique_ptr<TqtxOpenAIClass_Response_ChatCompletion> response = OpenAI().CreateChatCompletion(request);
  txtMessage->clear();
  ShowAnswer(*response, false);
}

// Enter sends, but does not stop a streaming answer.
void TFRMKivra::txtMessageReturnPressed() {
  if (!FExchange) btnSendClick();
}

void TFRMKivra::btnNewChatClick() {
  FConversation.Clear();
  memoLog->clear();
}

void TFRMKivra::StartExchange(std::unique_ptr<TExchange> aExchange) {
  txtMessage->clear();
  FExchange = std::move(aExchange);
  TExchange& exchange = *FExchange;
  TqtxHTTP_API_OpenAI& openAI = OpenAI();
  if (exchange.Streaming) exchange.Request.SetStreamIncludeUsage(true);
  exchange.Thread.reset(QThread::create([this, &exchange, &openAI] { RunExchange(exchange, openAI); }));
  connect(exchange.Thread.get(), &QThread::finished, this, EventHandler(&TFRMKivra::ExchangeFinished));
  SetExchangeRunning(true, exchange.Streaming);
  exchange.Thread->start();
}

// On the worker thread: the pieces go to the window's thread as they arrive,
// the answer or the failure stays in aExchange for ExchangeFinished.
void TFRMKivra::RunExchange(TExchange& aExchange, TqtxHTTP_API_OpenAI& aOpenAI) {
  const auto onDelta = [this, &aExchange](int32_t aChoice, const std::string& aRole, const std::string& aPiece,
                                          bool& aCancel) {
    // Other choices are logged whole at the end, so that lines do not interleave.
    if (aChoice == 0) {
      QMetaObject::invokeMethod(
          this,
          [this, role = QString::fromStdString(aRole), piece = QString::fromStdString(aPiece)] {
            ShowPiece(role, piece);
          },
          Qt::QueuedConnection);
    }
    aCancel = aExchange.Stop;
  };
  try {
    aExchange.Answer = aExchange.Streaming ? aOpenAI.CreateChatCompletionStream(aExchange.Request, onDelta)
                                           : aOpenAI.CreateChatCompletion(aExchange.Request);
  } catch (...) {
    aExchange.Failure = std::current_exception();
  }
}

void TFRMKivra::ShowPiece(const QString& aRole, const QString& aPiece) {
  if (!FExchange) return;
  if (!FExchange->AnswerLineStarted) {
    AddLog("[" + aRole + "] ");
    FExchange->AnswerLineStarted = true;
  }
  AppendToLog(memoLog, aPiece);
}

// The answer into the log and the conversation; a failure to the message box,
// the question taken back from the conversation and the message returned to
// its box unless another was typed meanwhile.
void TFRMKivra::ExchangeFinished() {
  FExchange->Thread->wait();
  const std::unique_ptr<TExchange> exchange = std::move(FExchange);
  SetExchangeRunning(false, false);
  txtAPIKeyChange();

  const bool answered = exchange->Answer && !exchange->Answer->Choices().empty();
  if (exchange->InConversation) {
    if (answered && !exchange->Failure)
      FConversation.AddAnswer(*exchange->Answer);
    else if (!FConversation.Messages().empty())
      FConversation.Messages().pop_back();
  }
  if (exchange->Failure) {
    if (txtMessage->text().isEmpty()) txtMessage->setText(exchange->Message);
    std::rethrow_exception(exchange->Failure);
  }
  if (exchange->Answer) ShowAnswer(*exchange->Answer, exchange->AnswerLineStarted);
}

void TFRMKivra::StopExchange() {
  if (!FExchange) return;
  FExchange->Stop = true;
  FExchange->Thread->wait();
}

void TFRMKivra::SetExchangeRunning(bool aRunning, bool aStreaming) {
  btnSend->setText(aStreaming ? SStopCaption : SSendCaption);
  btnSend->setEnabled(!aRunning || aStreaming);
  btnNewChat->setEnabled(!aRunning);
}

void TFRMKivra::ShowAnswer(const TqtxOpenAIClass_Response_ChatCompletion& aAnswer, bool aFirstChoiceShown) {
  for (const auto& choice : aAnswer.Choices()) {
    if (aFirstChoiceShown && choice->_Index() == 0) continue;
    const auto& answer = choice->_Message();
    AddLog(QString::fromStdString("[" + answer.Role() + "] " + answer.Content()));
  }
  const auto& usage = aAnswer.Usage();
  txtCompletionTokens->setText(QString::number(usage.CompletionTokens()));
  txtPromptTokens->setText(QString::number(usage.PromptTokens()));
  txtTotalTokens->setText(QString::number(usage.TotalTokens()));
}

void TFRMKivra::AddLog(const QString& aText) { memoLog->appendPlainText(aText); }

}  // namespace qtx
