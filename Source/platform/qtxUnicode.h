#pragma once
// UTF-8 text and its UTF-16 view. Text in the library is UTF-8; where a rule
// counts UTF-16 code units (escapes, percent-encoding of a code unit), the
// units are computed from the UTF-8 text with these routines.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/qtxTypes.h"

namespace qtx {

constexpr char32_t kReplacementChar = 0xFFFD;

// UTF-16 surrogates: the two halves of a code point from U+10000 up.
constexpr bool IsHighSurrogate(char32_t aUnit) noexcept { return aUnit >= 0xD800 && aUnit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t aUnit) noexcept { return aUnit >= 0xDC00 && aUnit <= 0xDFFF; }
constexpr char16_t HighSurrogateOf(char32_t aCodePoint) noexcept {
  return static_cast<char16_t>(0xD800 + ((aCodePoint - 0x10000) >> 10));
}
constexpr char16_t LowSurrogateOf(char32_t aCodePoint) noexcept {
  return static_cast<char16_t>(0xDC00 + ((aCodePoint - 0x10000) & 0x3FF));
}
constexpr char32_t JoinSurrogates(char32_t aHigh, char32_t aLow) noexcept {
  return 0x10000 + ((aHigh - 0xD800) << 10) + (aLow - 0xDC00);
}

// Decodes the code point at aPos and advances aPos past it. A malformed
// sequence yields U+FFFD and advances past its maximal valid prefix (at least
// one byte), as the Unicode standard recommends.
char32_t NextCodePoint(std::string_view aText, size_t& aPos) noexcept;
void AppendUtf8(std::string& aOut, char32_t aCodePoint);
std::string CodePointToUtf8(char32_t aCodePoint);

bool IsValidUtf8(std::string_view aText) noexcept;
// Invalid sequences become U+FFFD; valid text comes back unchanged.
std::string SanitizeUtf8(std::string_view aText);

// Equal without regard to letter case in any script (each code point's
// simple lower-case mapping), whatever the process locale.
bool UnicodeSameText(std::string_view a, std::string_view b) noexcept;

std::u16string Utf8ToUtf16(std::string_view aText);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view aText);
// The number of UTF-16 code units of the text.
size_t Utf16Length(std::string_view aText) noexcept;

// "Raw text": each byte becomes the code point of the same value (U+0000..U+00FF).
std::string RawToText(std::span<const uint8_t> aBytes);
// The inverse for text whose characters are all below U+0100; returns false
// (and leaves aBytes unspecified) when a character is U+0100 or above.
bool TextToRaw(std::string_view aText, TBytes& aBytes);

}  // namespace qtx
