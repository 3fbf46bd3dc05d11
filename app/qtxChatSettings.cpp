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

std::string UserConfigHome() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
  if (const char* configHome = getenv("XDG_CONFIG_HOME"); configHome && configHome[0] == '/') return configHome;
  if (const char* home = getenv("HOME"); home && home[0] != '\0') return std::string(home) + "/.config";
  return {};
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
  if (const auto folder = std::filesystem::path(aSettingsFile).parent_path(); !folder.empty())
    std::filesystem::create_directories(folder);
  TIniFile settings(aSettingsFile);
  settings.SetOwnerOnly(true);
  settings.WriteString(kSettingsSection, kSettingsApiKey, aKey);
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
