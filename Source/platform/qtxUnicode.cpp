#include "platform/qtxUnicode.h"

#include <locale.h>
#include <wctype.h>

namespace qtx {

namespace {
// The case mapping of Unicode from glibc's built-in C.UTF-8 locale, held
// apart from the process locale; ASCII only should it be missing.
char32_t LowerCaseOf(char32_t aCodePoint) noexcept {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t());
  if (utf8) return static_cast<char32_t>(towlower_l(static_cast<wint_t>(aCodePoint), utf8));
  return (aCodePoint >= 'A' && aCodePoint <= 'Z') ? aCodePoint + 32 : aCodePoint;
}
}  // namespace

char32_t NextCodePoint(std::string_view aText, size_t& aPos) noexcept {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(aText[i]); };
  const uint8_t b0 = byte(aPos);
  if (b0 < 0x80) {
    ++aPos;
    return b0;
  }
  int length;
  char32_t cp;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    ++aPos;
    return kReplacementChar;
  }
  size_t i = aPos + 1;
  for (int k = 1; k < length; ++k, ++i) {
    if (i >= aText.size()) {
      aPos = i;
      return kReplacementChar;
    }
    const uint8_t b = byte(i);
    const uint8_t lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) {
      aPos = i;
      return kReplacementChar;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  aPos = i;
  return cp;
}

void AppendUtf8(std::string& aOut, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacementChar;
  if (cp < 0x80) {
    aOut += static_cast<char>(cp);
  } else if (cp < 0x800) {
    aOut += static_cast<char>(0xC0 | (cp >> 6));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    aOut += static_cast<char>(0xE0 | (cp >> 12));
    aOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    aOut += static_cast<char>(0xF0 | (cp >> 18));
    aOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    aOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string CodePointToUtf8(char32_t aCodePoint) {
  std::string out;
  AppendUtf8(out, aCodePoint);
  return out;
}

bool IsValidUtf8(std::string_view aText) noexcept {
  size_t pos = 0;
  while (pos < aText.size()) {
    const auto b = static_cast<uint8_t>(aText[pos]);
    if (b < 0x80) {
      ++pos;
      continue;
    }
    const size_t start = pos;
    if (NextCodePoint(aText, pos) == kReplacementChar) {
      // A literal U+FFFD is EF BF BD; anything else that decodes to it is malformed.
      if (pos - start != 3 || aText.substr(start, 3) != "\xEF\xBF\xBD") return false;
    }
  }
  return true;
}

std::string SanitizeUtf8(std::string_view aText) {
  if (IsValidUtf8(aText)) return std::string(aText);
  std::string out;
  out.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) AppendUtf8(out, NextCodePoint(aText, pos));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view aText) {
  std::u16string out;
  out.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    const char32_t cp = NextCodePoint(aText, pos);
    if (cp >= 0x10000) {
      out += HighSurrogateOf(cp);
      out += LowSurrogateOf(cp);
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    const char16_t u = aText[i];
    if (IsHighSurrogate(u) && i + 1 < aText.size() && IsLowSurrogate(aText[i + 1])) {
      AppendUtf8(out, JoinSurrogates(u, aText[i + 1]));
      ++i;
    } else {
      AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD here
    }
  }
  return out;
}

size_t Utf16Length(std::string_view aText) noexcept {
  size_t count = 0, pos = 0;
  while (pos < aText.size()) count += NextCodePoint(aText, pos) >= 0x10000 ? 2 : 1;
  return count;
}

std::string RawToText(std::span<const uint8_t> aBytes) {
  std::string out;
  out.reserve(aBytes.size());
  for (uint8_t b : aBytes) AppendUtf8(out, b);
  return out;
}

bool TextToRaw(std::string_view aText, TBytes& aBytes) {
  aBytes.clear();
  aBytes.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    const char32_t cp = NextCodePoint(aText, pos);
    if (cp > 0xFF) return false;
    aBytes.push_back(static_cast<uint8_t>(cp));
  }
  return true;
}

bool UnicodeSameText(std::string_view a, std::string_view b) noexcept {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t ca = NextCodePoint(a, i);
    const char32_t cb = NextCodePoint(b, j);
    if (ca != cb && LowerCaseOf(ca) != LowerCaseOf(cb)) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace qtx
