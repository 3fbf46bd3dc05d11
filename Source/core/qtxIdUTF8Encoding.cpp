// UTF-8, converted here rather than through iconv: text is UTF-8 already, so
// whole-text conversions only repair invalid sequences.
#include <string_view>

#include "core/qtxIdTextEncodings.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr uint16_t kUtf8CodePage = 65001;
constexpr int kUtf8MaxCharSize = 4;

std::string_view AsText(const uint8_t* aBytes, size_t aByteCount) {
  return std::string_view(reinterpret_cast<const char*>(aBytes), aByteCount);
}

}  // namespace

TIdUTF8Encoding::TIdUTF8Encoding() : TIdMBCSEncoding(TNativeCodePage{}, kUtf8CodePage, kUtf8MaxCharSize) {}

int TIdUTF8Encoding::GetMaxByteCount(int aCharCount) const {
  return CheckedMaxCount(aCharCount, 3 * static_cast<int64_t>(aCharCount) + 3);
}

int TIdUTF8Encoding::GetMaxCharCount(int aByteCount) const {
  return CheckedMaxCount(aByteCount, static_cast<int64_t>(aByteCount) + 1);
}

TIdBytes TIdUTF8Encoding::Encode(const char16_t* aChars, size_t aCharCount) const {
  const std::string text = Utf16ToUtf8(std::u16string_view(aChars, aCharCount));
  return TIdBytes(text.begin(), text.end());
}

std::u16string TIdUTF8Encoding::Decode(const uint8_t* aBytes, size_t aByteCount) const {
  return Utf8ToUtf16(AsText(aBytes, aByteCount));
}

TIdBytes TIdUTF8Encoding::DoGetBytesOfText(std::string_view aText) const {
  const std::string text = SanitizeUtf8(aText);
  return TIdBytes(text.begin(), text.end());
}

std::string TIdUTF8Encoding::DoGetString(const uint8_t* aBytes, int aByteCount) const {
  return SanitizeUtf8(AsText(aBytes, static_cast<size_t>(aByteCount)));
}

}  // namespace qtx
