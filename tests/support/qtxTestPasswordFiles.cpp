#include "qtxTestPasswordFiles.h"

#include <filesystem>

#include "qtxTestShell.h"
#include "qtxTestSockets.h"

namespace qtx::test {

namespace {

// What aCommand prints, without its line end.
std::string FirstLineOf(const std::string& aCommand) {
  std::string output = Text(RunShell(aCommand, std::filesystem::temp_directory_path().string()));
  return output.substr(0, output.find('\n'));
}

}  // namespace

std::string HtpasswdLine(const std::string& aName, const std::string& aPassword) {
  return aName + ":" + FirstLineOf("openssl passwd -apr1 " + ShellQuote(aPassword));
}

std::string HtdigestLine(const std::string& aName, const std::string& aRealm, const std::string& aPassword) {
  const std::string prefix = aName + ":" + aRealm + ":";
  // "-r" prints "<hex> *stdin".
  const std::string digest = FirstLineOf("printf %s " + ShellQuote(prefix + aPassword) + " | openssl dgst -md5 -r");
  return prefix + digest.substr(0, digest.find(' '));
}

}  // namespace qtx::test
