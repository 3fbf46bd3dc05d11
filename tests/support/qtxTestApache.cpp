#include "qtxTestApache.h"

#include <filesystem>
#include <stdexcept>

#include "qtxTestPasswordFiles.h"
#include "qtxTestSockets.h"

namespace qtx::test {

namespace {

constexpr const char* kModuleFolder = "/usr/lib/apache2/modules";

// Only what the configuration below uses; the event MPM so that one
// process serves several connections at once.
constexpr const char* kModules[][2] = {
    {"mpm_event_module", "mod_mpm_event.so"},     {"authn_core_module", "mod_authn_core.so"},
    {"authn_file_module", "mod_authn_file.so"},   {"authz_core_module", "mod_authz_core.so"},
    {"authz_user_module", "mod_authz_user.so"},   {"auth_basic_module", "mod_auth_basic.so"},
    {"auth_digest_module", "mod_auth_digest.so"}, {"alias_module", "mod_alias.so"},
    {"cgi_module", "mod_cgi.so"},
};

// Answers every ready location: the method, the request URI, the
// authenticated user, then the request body.
constexpr const char* kEchoScript =
    "#!/bin/sh\n"
    "printf 'Content-Type: text/plain\\r\\n\\r\\n%s %s %s\\n' \"$REQUEST_METHOD\" \"$REQUEST_URI\" \"$REMOTE_USER\"\n"
    "exec cat\n";

// apache2 started by root serves as "nobody", which must read the password
// files and run the script.
void MakeReadable(const std::string& aPath, bool aExecutable = false) {
  using std::filesystem::perms;
  std::filesystem::permissions(aPath, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read |
                                          (aExecutable ? perms::owner_exec | perms::group_exec | perms::others_exec
                                                       : perms::none));
}

std::string Joined(const std::vector<std::string>& aLines) {
  std::string text;
  for (const auto& line : aLines) text += line + "\n";
  return text;
}

}  // namespace

TTestApache::TTestApache() : FPort(FreeLoopbackPort()) {
  MakeReadable(FDaemon.Folder(), true);
  std::filesystem::create_directory(FDaemon.File("www"));
  FDaemon.WriteFile("echo.cgi", kEchoScript);
  MakeReadable(FDaemon.File("echo.cgi"), true);
  for (const char* file : {"htpasswd", "htdigest"}) {
    FDaemon.WriteFile(file, "");
    MakeReadable(FDaemon.File(file));
  }
}

void TTestApache::AddConfig(const std::string& aText) {
  if (FStarted) throw std::logic_error("apache2 is running: configure it before Start");
  FExtraConfig += aText + "\n";
}

void TTestApache::AddUser(const std::string& aName, const std::string& aPassword) {
  FBasicUsers.push_back(HtpasswdLine(aName, aPassword));
  FDigestUsers.push_back(HtdigestLine(aName, std::string(kDigestRealm), aPassword));
  FDaemon.WriteFile("htpasswd", Joined(FBasicUsers));
  FDaemon.WriteFile("htdigest", Joined(FDigestUsers));
}

std::string TTestApache::Configuration() const {
  const std::string& folder = FDaemon.Folder();
  std::string text = "ServerRoot " + folder + "\n"
                     "ServerName localhost\n"
                     "Listen 127.0.0.1:" + std::to_string(FPort) + "\n"
                     "PidFile " + folder + "/apache2.pid\n"
                     "DefaultRuntimeDir " + folder + "\n"
                     "ErrorLog /dev/stderr\n"
                     "LogLevel warn\n"
                     "User nobody\n"
                     "Group nogroup\n";
  for (const auto& [name, file] : kModules) {
    text += "LoadModule " + std::string(name) + " " + kModuleFolder + "/" + file + "\n";
  }
  text += "Timeout 300\n"
          "KeepAlive On\n"
          "MaxKeepAliveRequests 0\n"
          "KeepAliveTimeout 300\n"
          "DocumentRoot " + folder + "/www\n"
          "ScriptAliasMatch ^/(echo|basic/|digest/) " + folder + "/echo.cgi\n"
          "<Location /basic/>\n"
          "  AuthType Basic\n"
          "  AuthName \"" + std::string(kBasicRealm) + "\"\n"
          "  AuthUserFile " + folder + "/htpasswd\n"
          "  Require valid-user\n"
          "</Location>\n"
          "<Location /digest/>\n"
          "  AuthType Digest\n"
          "  AuthName \"" + std::string(kDigestRealm) + "\"\n"
          "  AuthDigestDomain /digest/\n"
          "  AuthUserFile " + folder + "/htdigest\n"
          "  Require valid-user\n"
          "</Location>\n";
  return text + FExtraConfig;
}

void TTestApache::Start() {
  if (FStarted) throw std::logic_error("apache2 is running");
  FDaemon.WriteFile("apache2.conf", Configuration());
  FStarted = true;
  // -X: one process in the foreground, stopped with the daemon.
  FDaemon.Start({"-X", "-f", FDaemon.File("apache2.conf")}, FPort);
}

std::string TTestApache::Url(std::string_view aPath) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + std::string(aPath);
}

}  // namespace qtx::test
