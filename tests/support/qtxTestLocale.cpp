#include "qtxTestLocale.h"

#include <clocale>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "qtxTestSharedFolder.h"

namespace qtx::test {
namespace {

constexpr const char* kLocaleName = "de_DE.UTF-8";

// Compiles the locale once per build into a folder the test processes share,
// and names it in LOCPATH.
bool CompileLocale() {
  try {
    const std::string folder = SharedFolder("test-locale", 7 * 24 * 3600, [](const std::string& aFolder) {
      const std::string command = "localedef -i de_DE -f UTF-8 '" + aFolder + "/" + kLocaleName + "' >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) throw std::runtime_error("localedef failed");
    });
    setenv("LOCPATH", folder.c_str(), 1);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

TCommaDecimalLocale::TCommaDecimalLocale() {
  static const bool compiled = CompileLocale();
  // The C locale only, as a GUI toolkit sets it (a C++ std::locale built
  // from a LOCPATH folder leaks inside glibc, which the sanitizers report).
  if (!compiled || !std::setlocale(LC_ALL, kLocaleName)) return;
  FActive = *std::localeconv()->decimal_point == ',';
}

TCommaDecimalLocale::~TCommaDecimalLocale() { std::setlocale(LC_ALL, "C"); }

}  // namespace qtx::test
