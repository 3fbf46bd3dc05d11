#include "core/qtxIdTextEncoding.h"

#include <climits>

#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr std::string_view kInvalidSourceArray = "Invalid source array";
constexpr std::string_view kInvalidCount = "Invalid count (%d)";
constexpr std::string_view kCharIndexOutOfBounds = "Character index out of bounds (%d)";
constexpr std::string_view kInvalidDestinationIndex = "Invalid destination index (%d)";
constexpr std::string_view kInvalidDestinationArray = "Invalid destination array";

[[noreturn]] void Fail(std::string_view aFormat, int64_t aValue) { throw Exception(Format(aFormat, {aValue})); }

void CheckSource(const void* aSource, int aCount) {
  if (aSource == nullptr && aCount != 0) throw Exception(std::string(kInvalidSourceArray));
}

void CheckCount(int aCount) {
  if (aCount < 0) Fail(kInvalidCount, aCount);
}

// The length of a whole source, which must fit the int counts of the forms.
int LengthOf(size_t aSize) {
  if (aSize > static_cast<size_t>(INT_MAX)) Fail(kInvalidCount, static_cast<int64_t>(aSize));
  return static_cast<int>(aSize);
}

// A slice (aIndex, aCount) of a source holding aLength items. The index may
// stand at the very end, where only an empty slice fits.
void CheckSlice(size_t aLength, int aIndex, int aCount) {
  CheckCount(aCount);
  if (aIndex < 0 || static_cast<size_t>(aIndex) > aLength) Fail(kCharIndexOutOfBounds, aIndex);
  if (static_cast<size_t>(aCount) > aLength - static_cast<size_t>(aIndex)) Fail(kInvalidCount, aCount);
}

// aNeeded items written at aIndex of a destination holding aLength items.
void CheckDestination(size_t aLength, int aIndex, int aNeeded) {
  if (aIndex < 0 || static_cast<size_t>(aIndex) > aLength) Fail(kInvalidDestinationIndex, aIndex);
  if (static_cast<size_t>(aNeeded) > aLength - static_cast<size_t>(aIndex))
    throw Exception(std::string(kInvalidDestinationArray));
}

}  // namespace

// ---- characters to bytes ------------------------------------------------------

int TIdTextEncodingBase::GetByteCount(std::string_view aText) const { return GetByteCount(Utf8ToUtf16(aText)); }

int TIdTextEncodingBase::GetByteCount(std::string_view aText, int aCharIndex, int aCharCount) const {
  return GetByteCount(Utf8ToUtf16(aText), aCharIndex, aCharCount);
}

int TIdTextEncodingBase::GetByteCount(std::u16string_view aChars) const {
  return GetByteCount(aChars, 0, LengthOf(aChars.size()));
}

int TIdTextEncodingBase::GetByteCount(std::u16string_view aChars, int aCharIndex, int aCharCount) const {
  CheckSlice(aChars.size(), aCharIndex, aCharCount);
  if (aCharCount == 0) return 0;
  return DoGetByteCount(aChars.data() + aCharIndex, aCharCount);
}

int TIdTextEncodingBase::GetByteCount(const char16_t* aChars, int aCharCount) const {
  CheckSource(aChars, aCharCount);
  CheckCount(aCharCount);
  if (aCharCount == 0) return 0;
  return DoGetByteCount(aChars, aCharCount);
}

TIdBytes TIdTextEncodingBase::GetBytes(std::string_view aText) const {
  if (aText.empty()) return {};
  return DoGetBytesOfText(aText);
}

TIdBytes TIdTextEncodingBase::GetBytes(std::string_view aText, int aCharIndex, int aCharCount) const {
  return GetBytes(std::u16string_view(Utf8ToUtf16(aText)), aCharIndex, aCharCount);
}

TIdBytes TIdTextEncodingBase::GetBytes(std::u16string_view aChars) const {
  return GetBytes(aChars, 0, LengthOf(aChars.size()));
}

TIdBytes TIdTextEncodingBase::GetBytes(std::u16string_view aChars, int aCharIndex, int aCharCount) const {
  CheckSlice(aChars.size(), aCharIndex, aCharCount);
  if (aCharCount == 0) return {};
  return DoGetBytesOfChars(aChars.data() + aCharIndex, aCharCount);
}

int TIdTextEncodingBase::GetBytes(std::string_view aText, int aCharIndex, int aCharCount, TIdBytes& aBytes,
                                  int aByteIndex) const {
  return GetBytes(std::u16string_view(Utf8ToUtf16(aText)), aCharIndex, aCharCount, aBytes, aByteIndex);
}

int TIdTextEncodingBase::GetBytes(std::u16string_view aChars, int aCharIndex, int aCharCount, TIdBytes& aBytes,
                                  int aByteIndex) const {
  CheckSlice(aChars.size(), aCharIndex, aCharCount);
  if (aCharCount == 0) return 0;
  const char16_t* chars = aChars.data() + aCharIndex;
  const int needed = DoGetByteCount(chars, aCharCount);
  CheckDestination(aBytes.size(), aByteIndex, needed);
  return DoGetBytes(chars, aCharCount, aBytes.data() + aByteIndex, needed);
}

int TIdTextEncodingBase::GetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const {
  CheckSource(aChars, aCharCount);
  CheckCount(aCharCount);
  if (aCharCount == 0) return 0;
  const int needed = DoGetByteCount(aChars, aCharCount);
  if (aBytes == nullptr || aByteCount < needed) throw Exception(std::string(kInvalidDestinationArray));
  return DoGetBytes(aChars, aCharCount, aBytes, needed);
}

// ---- bytes to characters ------------------------------------------------------

int TIdTextEncodingBase::GetCharCount(const TIdBytes& aBytes) const {
  return GetCharCount(aBytes, 0, LengthOf(aBytes.size()));
}

int TIdTextEncodingBase::GetCharCount(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const {
  CheckSlice(aBytes.size(), aByteIndex, aByteCount);
  if (aByteCount == 0) return 0;
  return DoGetCharCount(aBytes.data() + aByteIndex, aByteCount);
}

int TIdTextEncodingBase::GetCharCount(const uint8_t* aBytes, int aByteCount) const {
  CheckSource(aBytes, aByteCount);
  CheckCount(aByteCount);
  if (aByteCount == 0) return 0;
  return DoGetCharCount(aBytes, aByteCount);
}

std::u16string TIdTextEncodingBase::GetChars(const TIdBytes& aBytes) const {
  return GetChars(aBytes, 0, LengthOf(aBytes.size()));
}

std::u16string TIdTextEncodingBase::GetChars(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const {
  CheckSlice(aBytes.size(), aByteIndex, aByteCount);
  if (aByteCount == 0) return {};
  return DoGetCharsOfBytes(aBytes.data() + aByteIndex, aByteCount);
}

int TIdTextEncodingBase::GetChars(const TIdBytes& aBytes, int aByteIndex, int aByteCount, std::u16string& aChars,
                                  int aCharIndex) const {
  CheckSlice(aBytes.size(), aByteIndex, aByteCount);
  if (aByteCount == 0) return 0;
  const uint8_t* bytes = aBytes.data() + aByteIndex;
  const int needed = DoGetCharCount(bytes, aByteCount);
  CheckDestination(aChars.size(), aCharIndex, needed);
  return DoGetChars(bytes, aByteCount, aChars.data() + aCharIndex, needed);
}

int TIdTextEncodingBase::GetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const {
  CheckSource(aBytes, aByteCount);
  CheckCount(aByteCount);
  if (aByteCount == 0) return 0;
  const int needed = DoGetCharCount(aBytes, aByteCount);
  if (aChars == nullptr || aCharCount < needed) throw Exception(std::string(kInvalidDestinationArray));
  return DoGetChars(aBytes, aByteCount, aChars, needed);
}

std::string TIdTextEncodingBase::GetString(const TIdBytes& aBytes) const {
  if (aBytes.empty()) return {};
  return DoGetString(aBytes.data(), LengthOf(aBytes.size()));
}

std::string TIdTextEncodingBase::GetString(const TIdBytes& aBytes, int aByteIndex, int aByteCount) const {
  CheckSlice(aBytes.size(), aByteIndex, aByteCount);
  if (aByteCount == 0) return {};
  return DoGetString(aBytes.data() + aByteIndex, aByteCount);
}

std::string TIdTextEncodingBase::GetString(const uint8_t* aBytes, int aByteCount) const {
  CheckSource(aBytes, aByteCount);
  CheckCount(aByteCount);
  if (aByteCount == 0) return {};
  return DoGetString(aBytes, aByteCount);
}

// ---- the rest -----------------------------------------------------------------

TIdBytes TIdTextEncodingBase::GetPreamble() const { return {}; }

TIdBytes TIdTextEncodingBase::DoGetBytesOfChars(const char16_t* aChars, int aCharCount) const {
  TIdBytes bytes(static_cast<size_t>(DoGetByteCount(aChars, aCharCount)));
  bytes.resize(static_cast<size_t>(DoGetBytes(aChars, aCharCount, bytes.data(), static_cast<int>(bytes.size()))));
  return bytes;
}

std::u16string TIdTextEncodingBase::DoGetCharsOfBytes(const uint8_t* aBytes, int aByteCount) const {
  std::u16string chars(static_cast<size_t>(DoGetCharCount(aBytes, aByteCount)), u'\0');
  chars.resize(static_cast<size_t>(DoGetChars(aBytes, aByteCount, chars.data(), static_cast<int>(chars.size()))));
  return chars;
}

TIdBytes TIdTextEncodingBase::DoGetBytesOfText(std::string_view aText) const {
  const std::u16string chars = Utf8ToUtf16(aText);
  return DoGetBytesOfChars(chars.data(), LengthOf(chars.size()));
}

std::string TIdTextEncodingBase::DoGetString(const uint8_t* aBytes, int aByteCount) const {
  return Utf16ToUtf8(DoGetCharsOfBytes(aBytes, aByteCount));
}

int TIdTextEncodingBase::CheckedMaxCount(int aCount, int64_t aResult) {
  if (aCount < 0 || aResult > INT_MAX) Fail(kInvalidCount, aCount);
  return static_cast<int>(aResult);
}

}  // namespace qtx
