// UTF-8, converted here rather than through iconv: text is UTF-8 already, so
// whole-text conversions only repair invalid sequences.
#include <algorithm>
#include <string_view>

#include "core/qtxIdTextEncodings.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr uint16_t kUtf8CodePage = 65001;
constexpr int kUtf8MaxCharSize = 4;

// The code point starting at aChars[i] and the number of units it takes; an
// unpaired surrogate is U+FFFD.
char32_t CodePointAt(const char16_t* aChars, int aCount, int i, int& aUnits) {
  const char16_t unit = aChars[i];
  aUnits = 1;
  if (IsHighSurrogate(unit) && i + 1 < aCount && IsLowSurrogate(aChars[i + 1])) {
    aUnits = 2;
    return JoinSurrogates(unit, aChars[i + 1]);
  }
  return IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacementChar : unit;
}

int Utf8Length(char32_t aCodePoint) {
  if (aCodePoint < 0x80) return 1;
  if (aCodePoint < 0x800) return 2;
  return aCodePoint < 0x10000 ? 3 : 4;
}

std::string_view AsText(const uint8_t* aBytes, int aByteCount) {
  return std::string_view(reinterpret_cast<const char*>(aBytes), static_cast<size_t>(aByteCount));
}

}  // namespace

TIdUTF8Encoding::TIdUTF8Encoding() : TIdMBCSEncoding(TNativeCodePage{}, kUtf8CodePage, kUtf8MaxCharSize) {}

int TIdUTF8Encoding::GetMaxByteCount(int aCharCount) const {
  return CheckedMaxCount(aCharCount, 3 * static_cast<int64_t>(aCharCount) + 3);
}

int TIdUTF8Encoding::GetMaxCharCount(int aByteCount) const {
  return CheckedMaxCount(aByteCount, static_cast<int64_t>(aByteCount) + 1);
}

int TIdUTF8Encoding::DoGetByteCount(const char16_t* aChars, int aCharCount) const {
  int bytes = 0;
  for (int i = 0, units = 0; i < aCharCount; i += units) bytes += Utf8Length(CodePointAt(aChars, aCharCount, i, units));
  return bytes;
}

int TIdUTF8Encoding::DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const {
  std::string sequence;
  int written = 0;
  for (int i = 0, units = 0; i < aCharCount; i += units) {
    sequence.clear();
    AppendUtf8(sequence, CodePointAt(aChars, aCharCount, i, units));
    if (written + static_cast<int>(sequence.size()) > aByteCount) break;
    for (const char c : sequence) aBytes[written++] = static_cast<uint8_t>(c);
  }
  return written;
}

int TIdUTF8Encoding::DoGetCharCount(const uint8_t* aBytes, int aByteCount) const {
  return static_cast<int>(Utf16Length(AsText(aBytes, aByteCount)));
}

int TIdUTF8Encoding::DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const {
  const std::u16string chars = Utf8ToUtf16(AsText(aBytes, aByteCount));
  const int count = std::min(static_cast<int>(chars.size()), aCharCount);
  std::copy_n(chars.begin(), count, aChars);
  return count;
}

TIdBytes TIdUTF8Encoding::DoGetBytesOfText(std::string_view aText) const {
  const std::string text = SanitizeUtf8(aText);
  return TIdBytes(text.begin(), text.end());
}

std::string TIdUTF8Encoding::DoGetString(const uint8_t* aBytes, int aByteCount) const {
  return SanitizeUtf8(AsText(aBytes, aByteCount));
}

}  // namespace qtx
