#pragma once
// What the harnesses share: the input as text or bytes, the input cut into
// several arguments, and a check that turns a broken promise into a crash
// that libFuzzer reports with the input that caused it; and the code-page
// modules kept loaded.

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/qtxIdCodePages.h"
#include "platform/qtxTypes.h"
#include "platform/qtxUnicode.h"

// Aborts with the failed condition; libFuzzer keeps the input as a crash.
#define QTX_FUZZ_CHECK(condition)                                                              \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
      std::abort();                                                                            \
    }                                                                                          \
  } while (false)

namespace qtx::fuzz {

inline std::string_view Chars(const uint8_t* aData, size_t aSize) {
  return {reinterpret_cast<const char*>(aData), aSize};
}

inline TBytes Bytes(std::string_view aChars) { return TBytes(aChars.begin(), aChars.end()); }

// Text is valid UTF-8 wherever the library takes it: the input as it is when
// it is valid, otherwise with each invalid sequence replaced by U+FFFD.
inline std::string Text(std::string_view aChars) { return SanitizeUtf8(aChars); }

// The input cut at its first aCount - 1 NUL bytes into aCount parts (the
// last ones empty when there are fewer NULs), so that seeds stay readable:
// "base\0relative".
inline std::vector<std::string_view> Split(std::string_view aInput, size_t aCount) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < aCount) {
    const size_t nul = aInput.find('\0');
    if (nul == std::string_view::npos) break;
    parts.push_back(aInput.substr(0, nul));
    aInput.remove_prefix(nul + 1);
  }
  parts.push_back(aInput);
  parts.resize(aCount);
  return parts;
}

// The code-page encodings open an iconv converter for each conversion, and
// glibc loads a code page's module on the first open and unloads it on the
// last close, so a harness would spend its time loading modules. One
// converter per code page held open for the whole run keeps them loaded
// (through a pointer that is never freed, so they never count as leaked).
inline void KeepCodePageModulesLoaded() {
  static const auto* converters = [] {
    auto* open = new std::vector<iconv_t>;
    for (const TIdCodePageInfo& info : KnownCodePages()) open->push_back(iconv_open("UTF-16LE", info.IconvName));
    return open;
  }();
  (void)converters;
}

}  // namespace qtx::fuzz
