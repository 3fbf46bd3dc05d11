// UTF-16 in either byte order: the code units as they are, two bytes each.
#include <algorithm>

#include "core/qtxIdTextEncodings.h"

namespace qtx {

TIdUTF16LittleEndianEncoding::TIdUTF16LittleEndianEncoding() : TIdUTF16LittleEndianEncoding(false) {}

TIdUTF16LittleEndianEncoding::TIdUTF16LittleEndianEncoding(bool aBigEndian) : FBigEndian(aBigEndian) {
  FIsSingleByte = false;
  FMaxCharSize = 2;
}

TIdUTF16BigEndianEncoding::TIdUTF16BigEndianEncoding() : TIdUTF16LittleEndianEncoding(true) {}

int TIdUTF16LittleEndianEncoding::GetMaxByteCount(int aCharCount) const {
  return CheckedMaxCount(aCharCount, 2 * static_cast<int64_t>(aCharCount) + 2);
}

int TIdUTF16LittleEndianEncoding::GetMaxCharCount(int aByteCount) const {
  return CheckedMaxCount(aByteCount, static_cast<int64_t>(aByteCount / 2) + aByteCount % 2 + 1);
}

TIdBytes TIdUTF16LittleEndianEncoding::GetPreamble() const {
  return FBigEndian ? TIdBytes{0xFE, 0xFF} : TIdBytes{0xFF, 0xFE};
}

int TIdUTF16LittleEndianEncoding::DoGetByteCount(const char16_t*, int aCharCount) const { return 2 * aCharCount; }

int TIdUTF16LittleEndianEncoding::DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes,
                                             int aByteCount) const {
  const int count = std::min(aCharCount, aByteCount / 2);
  const int high = FBigEndian ? 0 : 1;
  for (int i = 0; i < count; ++i) {
    aBytes[2 * i + high] = static_cast<uint8_t>(aChars[i] >> 8);
    aBytes[2 * i + 1 - high] = static_cast<uint8_t>(aChars[i] & 0xFF);
  }
  return 2 * count;
}

int TIdUTF16LittleEndianEncoding::DoGetCharCount(const uint8_t*, int aByteCount) const { return aByteCount / 2; }

int TIdUTF16LittleEndianEncoding::DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars,
                                             int aCharCount) const {
  const int count = std::min(aByteCount / 2, aCharCount);
  const int high = FBigEndian ? 0 : 1;
  for (int i = 0; i < count; ++i)
    aChars[i] = static_cast<char16_t>((aBytes[2 * i + high] << 8) | aBytes[2 * i + 1 - high]);
  return count;
}

}  // namespace qtx
