#include "qtxTestLocale.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace qtx::test {
namespace {

constexpr const char* kLocaleName = "de_DE.UTF-8";

// The folder holding the compiled locale, removed when the program ends.
class TLocaleFolder {
public:
  TLocaleFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qtx-locale-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return;
    FPath = pattern;
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (FPath / kLocaleName).string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
    setenv("LOCPATH", FPath.c_str(), 1);
    FReady = true;
  }
  ~TLocaleFolder() {
    std::error_code ignored;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
  }
  bool Ready() const { return FReady; }

private:
  std::filesystem::path FPath;
  bool FReady = false;
};

}  // namespace

TCommaDecimalLocale::TCommaDecimalLocale() {
  static TLocaleFolder folder;
  // The C locale only, as a GUI toolkit sets it (a C++ std::locale built
  // from a LOCPATH folder leaks inside glibc, which the sanitizers report).
  if (!folder.Ready() || !std::setlocale(LC_ALL, kLocaleName)) return;
  FActive = *std::localeconv()->decimal_point == ',';
}

TCommaDecimalLocale::~TCommaDecimalLocale() { std::setlocale(LC_ALL, "C"); }

}  // namespace qtx::test
