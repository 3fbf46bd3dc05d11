// Where the window keeps its settings file, and what it keeps there.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <QCheckBox>
#include <QLineEdit>

#include "platform/qtxIniFiles.h"
#include "qtxChatSettings.h"
#include "qtxTestChatWindow.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"

namespace qtx::test {
namespace {

namespace fs = std::filesystem;

mode_t FileMode(const std::string& aFileName) {
  struct stat status {};
  EXPECT_EQ(stat(aFileName.c_str(), &status), 0) << aFileName;
  return status.st_mode & 07777;
}

void WriteText(const std::string& aFileName, std::string_view aText) {
  fs::create_directories(fs::path(aFileName).parent_path());
  WriteFileBytes(aFileName, Bytes(aText));
}

TEST(ChatSettingsFile, BesideTheExecutableOrInTheConfigurationFolder) {
  enum TWhere { Beside, InConfig };
  struct Case {
    const char* Name;
    bool FolderWritable;
    bool BesideExists;
    bool InConfigExists;
    TWhere ReadFrom;
    TWhere WriteTo;
  };
  const Case cases[] = {
      {"a first start in a writable folder", true, false, false, Beside, Beside},
      {"a writable folder with both files", true, true, true, Beside, Beside},
      {"a writable folder, the key only in the configuration folder", true, false, true, InConfig, Beside},
      {"an installed program's first start", false, false, false, InConfig, InConfig},
      {"an installed program with a file beside it only", false, true, false, Beside, InConfig},
      {"an installed program with both files", false, true, true, InConfig, InConfig},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempFolder folder;
    const std::string executable = folder.File("bin/qtx_chat");
    const std::string beside = folder.File("bin/qtx_chat.ini");
    const std::string inConfig = folder.File("config/qtx/qtx_chat.ini");
    if (c.BesideExists) WriteText(beside, "[OPENAI]\n");
    if (c.InConfigExists) WriteText(inConfig, "[OPENAI]\n");

    const TChatSettingsFile file = ChatSettingsFile(executable, folder.File("config"), c.FolderWritable);
    EXPECT_EQ(file.ReadFrom, c.ReadFrom == Beside ? beside : inConfig);
    EXPECT_EQ(file.WriteTo, c.WriteTo == Beside ? beside : inConfig);
  }
}

TEST(ChatSettingsFile, AFolderIsWritableWhenAFileCanBeMadeInIt) {
  TTempFolder folder;
  EXPECT_TRUE(FolderWritable(folder.Path()));
  EXPECT_TRUE(fs::is_empty(folder.Path())) << "the probe file is removed";
  EXPECT_FALSE(FolderWritable(folder.File("missing")));
}

class ChatWindowSettings : public testing::Test {
protected:
  TChatSettingsFile Beside() const { return {File(), File()}; }
  std::string File() const { return FFolder.File("qtx_chat.ini"); }
  std::string StoredKey(const std::string& aFileName) const {
    return TIniFile(aFileName).ReadString("OPENAI", "API_KEY", "<none>");
  }

  TTempFolder FFolder;
  ScopedEnvironment FNoEnvironmentKey{"OPENAI_API_KEY", nullptr};
};

TEST_F(ChatWindowSettings, AFirstStartShowsNoKeyAndCreatesAnOwnerOnlyFileAtClose) {
  {
    TFRMKivra form(Beside());
    EXPECT_EQ(Component<QLineEdit>(form, "txtAPIKey").text(), "");
  }
  EXPECT_EQ(Text(ReadFileBytes(File())), "[OPENAI]\nAPI_KEY=\nSTREAM=1\nCONVERSATION=1\n");
  EXPECT_EQ(FileMode(File()), 0600u);
}

TEST_F(ChatWindowSettings, AKeyIsKeptAcrossStartsAndShownMasked) {
  {
    TFRMKivra form(Beside());
    Component<QLineEdit>(form, "txtAPIKey").setText("sk-kept");
  }
  TFRMKivra form(Beside());
  const auto& key = Component<QLineEdit>(form, "txtAPIKey");
  EXPECT_EQ(key.text(), "sk-kept");
  EXPECT_EQ(key.echoMode(), QLineEdit::Password);
  EXPECT_EQ(key.displayText(), "*******");
}

TEST_F(ChatWindowSettings, AnExistingFileIsTightenedAndKeepsWhatElseItHolds) {
  WriteText(File(), "; mine\n[OPENAI]\nAPI_KEY=sk-old\n[Other]\nx=1\n");
  chmod(File().c_str(), 0644);
  {
    TFRMKivra form(Beside());
    Component<QLineEdit>(form, "txtAPIKey").setText("sk-new");
  }
  EXPECT_EQ(Text(ReadFileBytes(File())), "; mine\n[OPENAI]\nAPI_KEY=sk-new\nSTREAM=1\nCONVERSATION=1\n[Other]\nx=1\n");
  EXPECT_EQ(FileMode(File()), 0600u);
}

TEST_F(ChatWindowSettings, TheStreamAndConversationBoxesAreKept) {
  WriteText(File(), "[OPENAI]\nSTREAM=0\nCONVERSATION=yes\n");
  {
    TFRMKivra form(Beside());
    EXPECT_FALSE(Component<QCheckBox>(form, "chkStream").isChecked());
    EXPECT_TRUE(Component<QCheckBox>(form, "chkConversation").isChecked()) << "a value not 0 or 1 leaves it on";
    Component<QCheckBox>(form, "chkConversation").setChecked(false);
  }
  EXPECT_EQ(TIniFile(File()).ReadString("OPENAI", "STREAM", ""), "0");
  EXPECT_EQ(TIniFile(File()).ReadString("OPENAI", "CONVERSATION", ""), "0");
}

TEST_F(ChatWindowSettings, TheEnvironmentOffersAKeyOnlyWhenNoneIsStored) {
  ScopedEnvironment environmentKey("OPENAI_API_KEY", "sk-from-environment");
  { TFRMKivra form(Beside()); }
  EXPECT_EQ(StoredKey(File()), "sk-from-environment") << "saved as a typed key";

  WriteText(File(), "[OPENAI]\nAPI_KEY=sk-stored\n");
  TFRMKivra form(Beside());
  EXPECT_EQ(Component<QLineEdit>(form, "txtAPIKey").text(), "sk-stored");
}

TEST_F(ChatWindowSettings, AKeyReadBesideTheProgramIsSavedToAFolderMadeForIt) {
  WriteText(File(), "[OPENAI]\nAPI_KEY=sk-provided\n");
  const std::string inConfig = FFolder.File("config/qtx/qtx_chat.ini");
  { TFRMKivra form({File(), inConfig}); }
  EXPECT_EQ(StoredKey(inConfig), "sk-provided");
  EXPECT_EQ(FileMode(inConfig), 0600u);
}

}  // namespace
}  // namespace qtx::test
