#pragma once
// Certificate store folders for a test: a fresh XDG_DATA_HOME for the scope,
// so that the current user's stores ("MY", "Root", "CA", ...) are folders
// of the test's own.

#include <cctype>
#include <filesystem>
#include <string>

#include "qtxTestHelpers.h"
#include "qtxTestShell.h"

namespace qtx::test {

class TTestCertStores {
public:
  TTestCertStores() : FDataHome("XDG_DATA_HOME", FFolder.Path().c_str()) {}

  // The folder of the current user's store aStore.
  std::string Folder(const std::string& aStore) const { return FFolder.Path() + "/qtx/certs/" + aStore; }
  // Copies aFile into the store, as aName (default: its own name).
  void Add(const std::string& aStore, const std::string& aFile, const std::string& aName = "") const {
    std::filesystem::create_directories(Folder(aStore));
    const std::string name = aName.empty() ? std::filesystem::path(aFile).filename().string() : aName;
    std::filesystem::copy_file(aFile, Folder(aStore) + "/" + name, std::filesystem::copy_options::overwrite_existing);
  }

private:
  TTempFolder FFolder;
  ScopedEnvironment FDataHome;
};

// The SHA-1 thumbprint of a PEM certificate in hexadecimal, as the openssl
// command gives it.
inline std::string CertificateThumbprint(const std::string& aCertFile) {
  const TBytes output = RunShell("openssl x509 -noout -fingerprint -sha1 -in " + ShellQuote(aCertFile), "/");
  const std::string text(output.begin(), output.end());
  std::string hex;
  for (const char c : text.substr(text.find('=') + 1))
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  return hex;
}

}  // namespace qtx::test
