// The chat window's components, layout and keyboard handling.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "qtxTestChatWindow.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"

namespace qtx::test {
namespace {

class ChatWindow : public testing::Test {
protected:
  TTempFolder FFolder;
  ScopedEnvironment FNoEnvironmentKey{"OPENAI_API_KEY", nullptr};
  TFRMKivra FForm{TChatSettingsFile{FFolder.File("qtx_chat.ini"), FFolder.File("qtx_chat.ini")}};

  template <typename T>
  T& Get(const char* aName) {
    return Component<T>(FForm, aName);
  }
  void ShowActive() {
    FForm.show();
    FForm.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&FForm));
  }
};

TEST_F(ChatWindow, HoldsEveryComponentWithItsCaptionAndText) {
  struct Labelled {
    const char* Name;
    const char* Parent;
    const char* Caption;
  };
  for (const Labelled& l : {Labelled{"Label1", "pnlTop", "OpenAI API Key:"},
                            Labelled{"Label2", "pnlTop", "Completion Tokens:"},
                            Labelled{"Label3", "pnlTop", "Prompt Tokens:"}, Labelled{"Label4", "pnlTop", "Total Tokens:"},
                            Labelled{"Label5", "pnlTop", "Usage"}}) {
    EXPECT_EQ(Get<QLabel>(l.Name).text(), l.Caption);
    EXPECT_EQ(Get<QLabel>(l.Name).parent()->objectName(), l.Parent);
  }
  struct Edit {
    const char* Name;
    const char* Parent;
    const char* Text;
    bool ReadOnly;
  };
  for (const Edit& e : {Edit{"txtAPIKey", "pnlTop", "", false}, Edit{"txtCompletionTokens", "pnlTop", "", true},
                        Edit{"txtPromptTokens", "pnlTop", "", true}, Edit{"txtTotalTokens", "pnlTop", "", true},
                        Edit{"txtMessage", "pnlBottom", "Hello!!!", false}}) {
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(Get<QLineEdit>(e.Name).text(), e.Text);
    EXPECT_EQ(Get<QLineEdit>(e.Name).isReadOnly(), e.ReadOnly);
    EXPECT_EQ(Get<QLineEdit>(e.Name).parent()->objectName(), e.Parent);
  }
  EXPECT_EQ(Get<QPlainTextEdit>("memoLog").parent()->objectName(), "pnlClient");
  EXPECT_TRUE(Get<QPlainTextEdit>("memoLog").isReadOnly());
  EXPECT_TRUE(Get<QPlainTextEdit>("memoLog").textInteractionFlags() & Qt::TextSelectableByMouse);
  EXPECT_EQ(Get<QPlainTextEdit>("memoLog").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Get<QPushButton>("btnSend").text(), "Send");
  EXPECT_EQ(Get<QPushButton>("btnNewChat").text(), "New chat");
  for (const auto& [name, caption] : {std::pair{"chkStream", "Stream"}, std::pair{"chkConversation", "Conversation"}}) {
    EXPECT_EQ(Get<QCheckBox>(name).text(), caption);
    EXPECT_TRUE(Get<QCheckBox>(name).isChecked()) << name << " is on by default";
  }
  EXPECT_EQ(Get<QLineEdit>("txtAPIKey").echoMode(), QLineEdit::Password);
  for (const char* panel : {"pnlTop", "pnlClient", "pnlBottom"}) EXPECT_EQ(Get<QFrame>(panel).parent(), &FForm);

  EXPECT_EQ(FForm.font().pixelSize(), 12);
  EXPECT_EQ(Get<QLineEdit>("txtMessage").font().pixelSize(), 16);
  EXPECT_EQ(Get<QPushButton>("btnSend").font().pixelSize(), 16);
}

TEST_F(ChatWindow, StartsAtItsDesignSizeCentredOnTheScreen) {
  FForm.show();
  EXPECT_EQ(FForm.size(), QSize(796, 804));
  EXPECT_EQ(FForm.geometry().center(), QApplication::primaryScreen()->availableGeometry().center());
  EXPECT_EQ(Get<QFrame>("pnlTop").geometry(), QRect(3, 3, 790, 94));
  EXPECT_EQ(Get<QFrame>("pnlClient").geometry(), QRect(3, 103, 790, 638));
  EXPECT_EQ(Get<QFrame>("pnlBottom").geometry(), QRect(0, 744, 796, 60));
  EXPECT_EQ(Get<QLineEdit>("txtAPIKey").geometry(), QRect(116, 8, 663, 23));
  EXPECT_EQ(Get<QLineEdit>("txtMessage").geometry(), QRect(16, 16, 692, 29));
  EXPECT_EQ(Get<QPushButton>("btnSend").geometry(), QRect(714, 14, 75, 34));
  // Whatever the font, a caption stays clear of its box.
  EXPECT_LT(Get<QLabel>("Label1").geometry().right(), 116);
  EXPECT_LT(Get<QLabel>("Label5").geometry().right(), 116);
}

TEST_F(ChatWindow, ResizingKeepsThePanelsAndTheAnchors) {
  FForm.show();
  for (const QSize size : {QSize(1000, 600), QSize(600, 900)}) {
    SCOPED_TRACE(size.width());
    FForm.resize(size);
    const int grown = size.width() - 796;
    EXPECT_EQ(Get<QFrame>("pnlTop").geometry(), QRect(3, 3, size.width() - 6, 94));
    EXPECT_EQ(Get<QFrame>("pnlBottom").geometry(), QRect(0, size.height() - 60, size.width(), 60));
    EXPECT_EQ(Get<QFrame>("pnlClient").geometry(), QRect(3, 103, size.width() - 6, size.height() - 166));
    EXPECT_EQ(Get<QLineEdit>("txtMessage").geometry(), QRect(16, 16, 692 + grown, 29)) << "left, top and right";
    EXPECT_EQ(Get<QPushButton>("btnSend").geometry(), QRect(714 + grown, 14, 75, 34)) << "top and right";
    EXPECT_EQ(Get<QLineEdit>("txtAPIKey").geometry(), QRect(116, 8, 663, 23)) << "not anchored";
  }
}

TEST_F(ChatWindow, FocusStartsInTheMessageAndTabGoesInTabOrder) {
  ShowActive();
  EXPECT_EQ(QApplication::focusWidget(), &Get<QLineEdit>("txtMessage"));
  for (const char* next : {"btnSend", "txtAPIKey", "txtCompletionTokens", "txtPromptTokens", "txtTotalTokens",
                           "chkStream", "chkConversation", "btnNewChat", "memoLog", "txtMessage"}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget()->objectName(), next);
  }
}

TEST_F(ChatWindow, AddLogAppendsALine) {
  FForm.AddLog("first");
  FForm.AddLog("second, with ünïcödé 😀");
  EXPECT_EQ(Get<QPlainTextEdit>("memoLog").toPlainText(), "first\nsecond, with ünïcödé 😀");
}

}  // namespace
}  // namespace qtx::test
