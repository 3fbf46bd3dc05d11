#pragma once
// Runs a test under a C locale whose decimal separator is a comma (German),
// as the chat window may run under the user's locale. The locale is compiled
// once per test program into a temporary folder with localedef (Debian
// package "locales"); the "C" locale is restored when the object goes.

namespace qtx::test {

class TCommaDecimalLocale {
public:
  TCommaDecimalLocale();
  ~TCommaDecimalLocale();
  TCommaDecimalLocale(const TCommaDecimalLocale&) = delete;
  TCommaDecimalLocale& operator=(const TCommaDecimalLocale&) = delete;

  // False when the locale could not be built or selected.
  bool Active() const { return FActive; }

private:
  bool FActive = false;
};

}  // namespace qtx::test
