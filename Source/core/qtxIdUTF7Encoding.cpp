// UTF-7 (RFC 2152): direct characters as they are, everything else as
// modified Base64 of the UTF-16 code units between "+" and "-".
#include <algorithm>

#include "core/qtxIdTextEncodings.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr uint16_t kUtf7CodePage = 65000;
constexpr int kUtf7MaxCharSize = 5;
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Set D of RFC 2152 and the white space that is written directly.
bool IsDirect(char16_t aUnit) {
  if ((aUnit >= u'A' && aUnit <= u'Z') || (aUnit >= u'a' && aUnit <= u'z') || (aUnit >= u'0' && aUnit <= u'9'))
    return true;
  return std::u16string_view(u"'(),-./:? \t\r\n").find(aUnit) != std::u16string_view::npos;
}

int Base64Value(uint8_t aByte) {
  if (aByte >= 'A' && aByte <= 'Z') return aByte - 'A';
  if (aByte >= 'a' && aByte <= 'z') return aByte - 'a' + 26;
  if (aByte >= '0' && aByte <= '9') return aByte - '0' + 52;
  if (aByte == '+') return 62;
  if (aByte == '/') return 63;
  return -1;
}

TIdBytes EncodeUtf7(const char16_t* aChars, size_t aCount) {
  TIdBytes out;
  out.reserve(aCount + aCount / 2 + 2);
  size_t i = 0;
  while (i < aCount) {
    const char16_t unit = aChars[i];
    if (unit == u'+') {
      out.push_back('+');
      out.push_back('-');
      ++i;
    } else if (IsDirect(unit)) {
      out.push_back(static_cast<uint8_t>(unit));
      ++i;
    } else {
      // A shifted run up to the next character that has a shorter form.
      out.push_back('+');
      uint32_t bits = 0;
      int bitCount = 0;
      for (; i < aCount && aChars[i] != u'+' && !IsDirect(aChars[i]); ++i) {
        bits = (bits << 16) | aChars[i];
        bitCount += 16;
        while (bitCount >= 6) {
          bitCount -= 6;
          out.push_back(static_cast<uint8_t>(kBase64Alphabet[(bits >> bitCount) & 0x3F]));
        }
        bits &= (1u << bitCount) - 1;
      }
      if (bitCount > 0) out.push_back(static_cast<uint8_t>(kBase64Alphabet[(bits << (6 - bitCount)) & 0x3F]));
      out.push_back('-');
    }
  }
  return out;
}

std::u16string DecodeUtf7(const uint8_t* aBytes, size_t aCount) {
  std::u16string out;
  out.reserve(aCount);
  size_t i = 0;
  while (i < aCount) {
    const uint8_t byte = aBytes[i++];
    if (byte != '+') {
      out += byte < 0x80 ? static_cast<char16_t>(byte) : static_cast<char16_t>(kReplacementChar);
      continue;
    }
    if (i < aCount && aBytes[i] == '-') {
      out += u'+';
      ++i;
      continue;
    }
    uint32_t bits = 0;
    int bitCount = 0;
    for (int value; i < aCount && (value = Base64Value(aBytes[i])) >= 0; ++i) {
      bits = (bits << 6) | static_cast<uint32_t>(value);
      bitCount += 6;
      if (bitCount >= 16) {
        bitCount -= 16;
        out += static_cast<char16_t>((bits >> bitCount) & 0xFFFF);
      }
      bits &= (1u << bitCount) - 1;
    }
    // Bits left over at the end of a run only pad the last unit.
    if (i < aCount && aBytes[i] == '-') ++i;
  }
  return out;
}

}  // namespace

TIdUTF7Encoding::TIdUTF7Encoding() : TIdMBCSEncoding(TNativeCodePage{}, kUtf7CodePage, kUtf7MaxCharSize) {}

int TIdUTF7Encoding::GetMaxByteCount(int aCharCount) const {
  return CheckedMaxCount(aCharCount, 3 * static_cast<int64_t>(aCharCount) + 2);
}

int TIdUTF7Encoding::GetMaxCharCount(int aByteCount) const { return CheckedMaxCount(aByteCount, aByteCount); }

TIdBytes TIdUTF7Encoding::Encode(const char16_t* aChars, size_t aCharCount) const {
  return EncodeUtf7(aChars, aCharCount);
}

std::u16string TIdUTF7Encoding::Decode(const uint8_t* aBytes, size_t aByteCount) const {
  return DecodeUtf7(aBytes, aByteCount);
}

}  // namespace qtx
