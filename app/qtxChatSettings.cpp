#include "qtxChatSettings.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/qtxIniFiles.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {

constexpr const char* kSettingsExtension = ".ini";
constexpr const char* kSettingsSection = "OPENAI";
constexpr const char* kSettingsApiKey = "API_KEY";
constexpr const char* kSettingsStream = "STREAM";
constexpr const char* kSettingsConversation = "CONVERSATION";

std::string UserConfigHome() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
  if (const char* configHome = getenv("XDG_CONFIG_HOME"); configHome && configHome[0] == '/') return configHome;
  if (const char* home = getenv("HOME"); home && home[0] != '\0') return std::string(home) + "/.config";
  return {};
}

bool ReadFlag(const TIniFile& aSettings, const char* aIdent, bool aDefault) {
  const std::string value = aSettings.ReadString(kSettingsSection, aIdent, "");
  return value == "1" ? true : value == "0" ? false : aDefault;
}

// The file holds a secret, so it is kept readable by its owner only (its
// folder is made when missing).
TIniFile OwnerOnlySettings(const std::string& aSettingsFile) {
  if (const auto folder = std::filesystem::path(aSettingsFile).parent_path(); !folder.empty())
    std::filesystem::create_directories(folder);
  TIniFile settings(aSettingsFile);
  settings.SetOwnerOnly(true);
  return settings;
}

}  // namespace

TChatSettingsFile ChatSettingsFile(const std::string& aExecutable, const std::string& aConfigHome,
                                   bool aExecutableFolderWritable) {
  const std::string beside = ChangeFileExt(aExecutable, kSettingsExtension);
  if (aConfigHome.empty()) return {beside, beside};
  const std::string inConfig =
      (std::filesystem::path(aConfigHome) / "qtx" / std::filesystem::path(beside).filename()).string();

  const std::string& written = aExecutableFolderWritable ? beside : inConfig;
  const std::string& other = aExecutableFolderWritable ? inConfig : beside;
  std::error_code ignored;
  const bool readOther = !std::filesystem::exists(written, ignored) && std::filesystem::exists(other, ignored);
  return {readOther ? other : written, written};
}

TChatSettingsFile DefaultChatSettingsFile(const std::string& aExecutable) {
  return ChatSettingsFile(aExecutable, UserConfigHome(),
                          FolderWritable(std::filesystem::path(aExecutable).parent_path().string()));
}

TChatSettingsFile DefaultChatSettingsFile() { return DefaultChatSettingsFile(ExecutableFileName()); }

std::string ReadChatApiKey(const std::string& aSettingsFile) {
  return TIniFile(aSettingsFile).ReadString(kSettingsSection, kSettingsApiKey, "");
}

void WriteChatApiKey(const std::string& aSettingsFile, const std::string& aKey) {
  OwnerOnlySettings(aSettingsFile).WriteString(kSettingsSection, kSettingsApiKey, aKey);
}

TChatSwitches ReadChatSwitches(const std::string& aSettingsFile) {
  const TIniFile settings(aSettingsFile);
  return {ReadFlag(settings, kSettingsStream, true), ReadFlag(settings, kSettingsConversation, true)};
}

void WriteChatSwitches(const std::string& aSettingsFile, const TChatSwitches& aSwitches) {
  TIniFile settings = OwnerOnlySettings(aSettingsFile);
  settings.WriteString(kSettingsSection, kSettingsStream, aSwitches.Stream ? "1" : "0");
  settings.WriteString(kSettingsSection, kSettingsConversation, aSwitches.Conversation ? "1" : "0");
}

bool FolderWritable(const std::string& aFolder) {
  std::string probe = (std::filesystem::path(aFolder) / ".qtx-write-test-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}

}  // namespace qtx
