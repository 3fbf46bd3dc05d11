#pragma once
// Running outside programs from tests (gzip, python3) over files in a
// temporary folder of the test's own.

#include <string>

#include "platform/qtxTypes.h"

namespace qtx::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TTempFolder {
public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const noexcept { return FPath; }
  std::string File(const std::string& aName) const { return FPath + "/" + aName; }

private:
  std::string FPath;
};

void WriteFileBytes(const std::string& aFileName, const TBytes& aBytes);
TBytes ReadFileBytes(const std::string& aFileName);

// Runs aCommand through /bin/sh with aFolder as working folder; fails the
// test (throws std::runtime_error) when the command exits non-zero.
// Returns what it wrote to standard output.
TBytes RunShell(const std::string& aCommand, const std::string& aFolder);

// A word quoted for /bin/sh.
std::string ShellQuote(const std::string& aWord);

}  // namespace qtx::test
