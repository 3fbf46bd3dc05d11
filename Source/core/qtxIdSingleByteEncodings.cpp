// The ASCII and 8-bit encodings: one byte per UTF-16 code unit, with the
// replacement rules that make the transport's ASCII default lossy in a
// predictable way.
#include <algorithm>

#include "core/qtxIdTextEncodings.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr uint8_t kUnmappableByte = 63;  // "?"
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// One byte per code unit of aText: code points below aLimit as they are,
// anything else "?" (twice for a character outside the BMP).
TIdBytes OneBytePerCodeUnit(std::string_view aText, char32_t aLimit) {
  TIdBytes bytes;
  bytes.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    const auto b = static_cast<uint8_t>(aText[pos]);
    if (b < 0x80) {
      bytes.push_back(b);
      ++pos;
      continue;
    }
    const char32_t cp = NextCodePoint(aText, pos);
    if (cp < aLimit) {
      bytes.push_back(static_cast<uint8_t>(cp));
    } else {
      bytes.push_back(kUnmappableByte);
      if (cp >= 0x10000) bytes.push_back(kUnmappableByte);
    }
  }
  return bytes;
}

int CodeUnitsToBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount, char16_t aLimit) {
  const int count = std::min(aCharCount, aByteCount);
  for (int i = 0; i < count; ++i)
    aBytes[i] = aChars[i] < aLimit ? static_cast<uint8_t>(aChars[i]) : kUnmappableByte;
  return count;
}

}  // namespace

// ---- TIdASCIIEncoding -----------------------------------------------------------

TIdASCIIEncoding::TIdASCIIEncoding() {
  FIsSingleByte = true;
  FMaxCharSize = 1;
}

int TIdASCIIEncoding::GetMaxByteCount(int aCharCount) const { return CheckedMaxCount(aCharCount, aCharCount); }
int TIdASCIIEncoding::GetMaxCharCount(int aByteCount) const { return CheckedMaxCount(aByteCount, aByteCount); }

int TIdASCIIEncoding::DoGetByteCount(const char16_t*, int aCharCount) const { return aCharCount; }

int TIdASCIIEncoding::DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const {
  return CodeUnitsToBytes(aChars, aCharCount, aBytes, aByteCount, 0x80);
}

int TIdASCIIEncoding::DoGetCharCount(const uint8_t*, int aByteCount) const { return aByteCount; }

int TIdASCIIEncoding::DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const {
  const int count = std::min(aByteCount, aCharCount);
  for (int i = 0; i < count; ++i) aChars[i] = aBytes[i] < 0x80 ? aBytes[i] : static_cast<char16_t>(kReplacementChar);
  return count;
}

TIdBytes TIdASCIIEncoding::DoGetBytesOfText(std::string_view aText) const { return OneBytePerCodeUnit(aText, 0x80); }

std::string TIdASCIIEncoding::DoGetString(const uint8_t* aBytes, int aByteCount) const {
  const uint8_t* end = aBytes + aByteCount;
  const uint8_t* firstHigh = std::find_if(aBytes, end, [](uint8_t b) { return b >= 0x80; });
  std::string text(aBytes, firstHigh);
  if (firstHigh == end) return text;
  text.reserve(static_cast<size_t>(aByteCount) + 16);
  for (const uint8_t* p = firstHigh; p != end; ++p) {
    if (*p < 0x80)
      text += static_cast<char>(*p);
    else
      text += kReplacementUtf8;
  }
  return text;
}

// ---- TId8BitEncoding -------------------------------------------------------------

TId8BitEncoding::TId8BitEncoding() {
  FIsSingleByte = true;
  FMaxCharSize = 1;
}

int TId8BitEncoding::GetMaxByteCount(int aCharCount) const { return CheckedMaxCount(aCharCount, aCharCount); }
int TId8BitEncoding::GetMaxCharCount(int aByteCount) const { return CheckedMaxCount(aByteCount, aByteCount); }

int TId8BitEncoding::DoGetByteCount(const char16_t*, int aCharCount) const { return aCharCount; }

int TId8BitEncoding::DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const {
  return CodeUnitsToBytes(aChars, aCharCount, aBytes, aByteCount, 0x100);
}

int TId8BitEncoding::DoGetCharCount(const uint8_t*, int aByteCount) const { return aByteCount; }

int TId8BitEncoding::DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const {
  const int count = std::min(aByteCount, aCharCount);
  std::copy(aBytes, aBytes + count, aChars);
  return count;
}

TIdBytes TId8BitEncoding::DoGetBytesOfText(std::string_view aText) const { return OneBytePerCodeUnit(aText, 0x100); }

std::string TId8BitEncoding::DoGetString(const uint8_t* aBytes, int aByteCount) const {
  return RawToText(std::span<const uint8_t>(aBytes, static_cast<size_t>(aByteCount)));
}

}  // namespace qtx
