#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/qtxException.h"
#include "platform/qtxIniFiles.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using test::ReadFileBytes;
using test::TTempFolder;
using test::WriteFileBytes;

TBytes Bytes(std::string_view aText) { return TBytes(aText.begin(), aText.end()); }
std::string Text(const TBytes& aBytes) { return std::string(aBytes.begin(), aBytes.end()); }

mode_t ModeOf(const std::string& aFileName) {
  struct stat info {};
  EXPECT_EQ(stat(aFileName.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(IniContent, ReadingRules) {
  struct TCase {
    const char* Rule;
    std::string File;
    std::optional<std::string> Value;  // of OPENAI / API_KEY
  };
  const TCase cases[] = {
      {"plain", "[OPENAI]\nAPI_KEY=sk-1\n", "sk-1"},
      {"names without regard to case", "[openai]\napi_key=sk-1\n", "sk-1"},
      {"blanks around names and value removed", "  [ OPENAI ]  \n\t API_KEY \t=  sk 1 \t\n", "sk 1"},
      {"one pair of double quotes stripped", "[OPENAI]\nAPI_KEY=\"\"sk\"\"\n", "\"sk\""},
      {"single quotes stripped", "[OPENAI]\nAPI_KEY= ' sk ' \n", " sk "},
      {"unmatched quotes kept", "[OPENAI]\nAPI_KEY=\"sk'\nother=\"\n", "\"sk'"},
      {"a lone quote kept", "[OPENAI]\nAPI_KEY=\"\n", "\""},
      {"the text after the first = is the value", "[OPENAI]\nAPI_KEY=a=b;c\n", "a=b;c"},
      {"an empty value", "[OPENAI]\nAPI_KEY=\n", ""},
      {"CR LF line ends and a BOM", "\xEF\xBB\xBF[OPENAI]\r\nAPI_KEY=sk-1\r\n", "sk-1"},
      {"no line end at the end", "[OPENAI]\nAPI_KEY=sk-1", "sk-1"},
      {"text after the section's ]", "[OPENAI] ; the service\nAPI_KEY=sk-1\n", "sk-1"},
      {"the first section of the name counts", "[OPENAI]\nX=1\n[OTHER]\nAPI_KEY=no\n[OPENAI]\nAPI_KEY=sk-2\n",
       std::nullopt},
      {"the first key of the name counts", "[OPENAI]\nAPI_KEY=sk-1\nAPI_KEY=sk-2\n", "sk-1"},
      {"comment lines are no keys", "[OPENAI]\n;API_KEY=sk-1\n", std::nullopt},
      {"keys before any section belong to none", "API_KEY=sk-1\n[OPENAI]\n", std::nullopt},
      {"a key of another section", "[OPENAI]\n[OTHER]\nAPI_KEY=sk-1\n", std::nullopt},
      {"a line without = is no key", "[OPENAI]\nAPI_KEY\n", std::nullopt},
      {"invalid UTF-8 becomes U+FFFD", "[OPENAI]\nAPI_KEY=a\xFF\n", "a\xEF\xBF\xBD"},
  };
  for (const TCase& c : cases) EXPECT_EQ(TIniContent(Bytes(c.File)).Value("OPENAI", "API_KEY"), c.Value) << c.Rule;
  EXPECT_EQ(TIniContent(Bytes("[\xC3\x84PFEL]\nK=1\n")).Value("\xC3\xA4pfel", "k"), "1");  // [ÄPFEL], äpfel
}

TEST(IniContent, WritingKeepsEverythingElseAsItWas) {
  const std::string file =
      "; settings of the chat window\r\n"
      "[Window]\r\n"
      "Left = 10\r\n"
      "\r\n"
      "[OpenAI]\r\n"
      "  api_key = old  ; not a comment\r\n"
      "Model=gpt-3.5-turbo\r\n"
      "\r\n"
      "[Last]\r\n"
      "x=1";
  TIniContent content(Bytes(file));
  content.SetValue("OPENAI", "API_KEY", "sk-new");
  content.SetValue("OPENAI", "ORGANIZATION", "org-1");
  content.SetValue("Last", "y", "2");
  content.SetValue("Proxy", "Host", "localhost");
  EXPECT_EQ(Text(content.Bytes()),
            "; settings of the chat window\r\n"
            "[Window]\r\n"
            "Left = 10\r\n"
            "\r\n"
            "[OpenAI]\r\n"
            "  api_key = sk-new\r\n"
            "Model=gpt-3.5-turbo\r\n"
            "ORGANIZATION=org-1\r\n"
            "\r\n"
            "[Last]\r\n"
            "x=1\r\n"
            "y=2\r\n"
            "\r\n"
            "[Proxy]\r\n"
            "Host=localhost\r\n");
}

TEST(IniContent, EveryValueReadsBackExactly) {
  const std::string values[] = {"", " lead", "trail\t", " ", "\"quoted\"", "'x'", "\"", "a=b", ";x", "[x]",
                                "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 \xF0\x9F\x91\x8B"};
  TIniContent content;
  for (const std::string& value : values) {
    content.SetValue("OPENAI", "API_KEY", value);
    EXPECT_EQ(content.Value("OPENAI", "API_KEY"), value) << Text(content.Bytes());
  }
}

TEST(IniContent, NamesAndValuesNoLineCanHoldAreRefused) {
  TIniContent content(Bytes("[OPENAI]\nAPI_KEY=sk-1\n"));
  EXPECT_THROW(content.SetValue("OPENAI", "API_KEY", "sk\nINJECTED=1"), EArgumentException);
  EXPECT_THROW(content.SetValue("OPENAI", "API_KEY", std::string("sk\0", 3)), EArgumentException);
  EXPECT_THROW(content.SetValue("OPEN\nAI", "API_KEY", "v"), EArgumentException);
  for (const char* ident : {"", "  ", "a=b", ";comment", "[section]", "a\nb"})
    EXPECT_THROW(content.SetValue("OPENAI", ident, "v"), EArgumentException) << ident;
  EXPECT_EQ(Text(content.Bytes()), "[OPENAI]\nAPI_KEY=sk-1\n");
}

TEST(IniFile, MissingOrUnreadableFileReadsAsDefaults) {
  TTempFolder folder;
  EXPECT_EQ(TIniFile(folder.File("missing.ini")).ReadString("OPENAI", "API_KEY", "none"), "none");
  std::filesystem::create_directory(folder.File("folder.ini"));
  EXPECT_EQ(TIniFile(folder.File("folder.ini")).ReadString("OPENAI", "API_KEY", ""), "");
}

TEST(IniFile, NewFileIsOwnerOnlyAndAWriteLeavesNoTemporaryFile) {
  TTempFolder folder;
  const std::string fileName = folder.File("qtx_chat.ini");
  TIniFile ini(fileName);
  ini.WriteString("OPENAI", "API_KEY", "");
  EXPECT_EQ(Text(ReadFileBytes(fileName)), "[OPENAI]\nAPI_KEY=\n");
  EXPECT_EQ(ModeOf(fileName), 0600u);
  ini.WriteString("OPENAI", "API_KEY", "sk-1");
  EXPECT_EQ(TIniFile(fileName).ReadString("openai", "api_key", ""), "sk-1");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

TEST(IniFile, ExistingFileKeepsItsModeUnlessOwnerOnly) {
  TTempFolder folder;
  const std::string fileName = folder.File("qtx_chat.ini");
  WriteFileBytes(fileName, Bytes("[OPENAI]\n"));
  chmod(fileName.c_str(), 0644);
  TIniFile ini(fileName);
  ini.WriteString("OPENAI", "MODEL", "gpt-4");
  EXPECT_EQ(ModeOf(fileName), 0644u);
  ini.SetOwnerOnly(true);
  ini.WriteString("OPENAI", "API_KEY", "sk-secret");
  EXPECT_EQ(ModeOf(fileName), 0600u);
}

TEST(IniFile, WritingThroughASymbolicLinkKeepsTheLink) {
  TTempFolder folder;
  WriteFileBytes(folder.File("real.ini"), Bytes("[OPENAI]\nAPI_KEY=old\n"));
  std::filesystem::create_symlink("real.ini", folder.File("link.ini"));
  TIniFile(folder.File("link.ini")).WriteString("OPENAI", "API_KEY", "new");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.ini")));
  EXPECT_EQ(Text(ReadFileBytes(folder.File("real.ini"))), "[OPENAI]\nAPI_KEY=new\n");
}

TEST(IniFile, AFileThatCannotBeWrittenRaisesAndStaysAsItWas) {
  TTempFolder folder;
  EXPECT_THROW(TIniFile(folder.File("no/such/folder.ini")).WriteString("OPENAI", "API_KEY", "v"), EIniFileException);
  std::filesystem::create_directory(folder.File("folder.ini"));
  EXPECT_THROW(TIniFile(folder.File("folder.ini")).WriteString("OPENAI", "API_KEY", "v"), EIniFileException);
  EXPECT_TRUE(std::filesystem::is_directory(folder.File("folder.ini")));
}

}  // namespace
}  // namespace qtx
