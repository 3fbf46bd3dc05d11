#include "qtxTestLocale.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale>
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
  if (!folder.Ready() || !std::setlocale(LC_ALL, kLocaleName)) return;
  try {
    std::locale::global(std::locale(kLocaleName));
  } catch (const std::runtime_error&) {
    std::setlocale(LC_ALL, "C");
    return;
  }
  FActive = *std::localeconv()->decimal_point == ',';
}

TCommaDecimalLocale::~TCommaDecimalLocale() {
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");
}

}  // namespace qtx::test
