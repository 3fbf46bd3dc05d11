// Windows code pages converted through iconv. Each conversion opens its own
// conversion descriptor: an iconv_t carries conversion state and must not be
// shared between threads, while the encoding objects are shared freely.
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/qtxIdCodePages.h"
#include "core/qtxIdException.h"
#include "core/qtxIdTextEncodings.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {

constexpr std::string_view kInvalidCodePage = "Invalid codepage (%d)";

constexpr const char* kUtf16Native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr uint16_t kAnsiCodePage = 1252;  // stands in for the system's ANSI code page
constexpr uint16_t kOemCodePage = 437;
constexpr uint16_t kMacCodePage = 10000;
constexpr uint16_t kAsciiCodePage = 20127;

// The pseudo code pages 0 (ANSI), 1 (OEM), 2 (Macintosh) and 3 (the thread's
// ANSI code page) stand for real ones.
uint16_t ResolveSystemCodePage(uint16_t aCodePage) {
  switch (aCodePage) {
    case 0:
    case 3: return kAnsiCodePage;
    case 1: return kOemCodePage;
    case 2: return kMacCodePage;
    default: return aCodePage;
  }
}

// Windows-1252 leaves five bytes undefined and Windows maps each to the C1
// control of the same value, both ways; iconv rejects them.
bool IsCp1252Gap(unsigned aValue) {
  return aValue == 0x81 || aValue == 0x8D || aValue == 0x8F || aValue == 0x90 || aValue == 0x9D;
}

class TIconv {
public:
  TIconv(const char* aTo, const char* aFrom) : FHandle(iconv_open(aTo, aFrom)) {}
  ~TIconv() {
    if (Valid()) iconv_close(FHandle);
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;

  bool Valid() const noexcept { return FHandle != reinterpret_cast<iconv_t>(-1); }
  iconv_t Handle() const noexcept { return FHandle; }

private:
  iconv_t FHandle;
};

bool CanConvert(const char* aIconvName) {
  const TIconv toBytes(aIconvName, kUtf16Native), toChars(kUtf16Native, aIconvName);
  return toBytes.Valid() && toChars.Valid();
}

const TIdCodePageInfo* ConvertibleCodePage(uint16_t aCodePage) {
  const TIdCodePageInfo* info = FindCodePageInfo(aCodePage);
  return info != nullptr && CanConvert(info->IconvName) ? info : nullptr;
}

// An output buffer that iconv writes into and that grows on demand.
class TOutput {
public:
  explicit TOutput(size_t aCapacity) : FData(std::max<size_t>(aCapacity, 16)) {}

  char* Next() noexcept { return FData.data() + FUsed; }
  size_t Room() const noexcept { return FData.size() - FUsed; }
  void Commit(char* aNext) noexcept { FUsed = static_cast<size_t>(aNext - FData.data()); }
  void Grow() { FData.resize(FData.size() * 2); }
  void Append(const void* aData, size_t aSize) {
    while (Room() < aSize) Grow();
    std::memcpy(Next(), aData, aSize);
    FUsed += aSize;
  }
  size_t Used() const noexcept { return FUsed; }
  const char* Data() const noexcept { return FData.data(); }

private:
  std::vector<char> FData;
  size_t FUsed = 0;
};

// Runs iconv over the input until it is used up or iconv reports bad input.
// Returns true when all input was converted; on false errno tells why.
bool ConvertRun(iconv_t aHandle, char*& aIn, size_t& aInLeft, TOutput& aOut) {
  for (;;) {
    char* out = aOut.Next();
    size_t outLeft = aOut.Room();
    const size_t result = iconv(aHandle, &aIn, &aInLeft, &out, &outLeft);
    aOut.Commit(out);
    if (result != static_cast<size_t>(-1)) return true;
    if (errno != E2BIG) return false;
    aOut.Grow();
  }
}

// Writes the sequence that returns a stateful encoding to its initial state.
void ResetShiftState(iconv_t aHandle, TOutput& aOut) {
  for (;;) {
    char* out = aOut.Next();
    size_t outLeft = aOut.Room();
    const size_t result = iconv(aHandle, nullptr, nullptr, &out, &outLeft);
    aOut.Commit(out);
    if (result != static_cast<size_t>(-1) || errno != E2BIG) return;
    aOut.Grow();
  }
}

}  // namespace

TIdMBCSEncoding::TIdMBCSEncoding(uint16_t aCodePage, uint32_t aMBToWCharFlags, uint32_t aWCharToMBFlags)
    : FCodePage(ResolveSystemCodePage(aCodePage)), FMBToWCharFlags(aMBToWCharFlags), FWCharToMBFlags(aWCharToMBFlags) {
  const TIdCodePageInfo* info = ConvertibleCodePage(FCodePage);
  if (info == nullptr && FCodePage == kAsciiCodePage) {
    for (const uint16_t fallback : {kAnsiCodePage, kOemCodePage}) {
      if ((info = ConvertibleCodePage(fallback)) != nullptr) break;
    }
  }
  if (info == nullptr) throw EIdException(Format(kInvalidCodePage, {aCodePage}));
  FCodePage = info->CodePage;
  FIconvName = info->IconvName;
  FMaxCharSize = info->MaxCharSize;
  FIsSingleByte = FMaxCharSize == 1;
  const char16_t questionMark = u'?';
  FDefaultChar = Encode(&questionMark, 1);
}

TIdMBCSEncoding::TIdMBCSEncoding(TNativeCodePage, uint16_t aCodePage, int aMaxCharSize) : FCodePage(aCodePage) {
  FMaxCharSize = aMaxCharSize;
  FIsSingleByte = false;
}

int TIdMBCSEncoding::GetMaxByteCount(int aCharCount) const {
  return CheckedMaxCount(aCharCount, (static_cast<int64_t>(aCharCount) + 1) * FMaxCharSize);
}

int TIdMBCSEncoding::GetMaxCharCount(int aByteCount) const { return CheckedMaxCount(aByteCount, aByteCount); }

TIdBytes TIdMBCSEncoding::GetPreamble() const {
  switch (FCodePage) {
    case 1200: return {0xFF, 0xFE};
    case 1201: return {0xFE, 0xFF};
    case 12000: return {0xFF, 0xFE, 0x00, 0x00};
    case 12001: return {0x00, 0x00, 0xFE, 0xFF};
    case 65001: return {0xEF, 0xBB, 0xBF};
    default: return {};
  }
}

TIdBytes TIdMBCSEncoding::Encode(const char16_t* aChars, size_t aCharCount) const {
  const TIconv converter(FIconvName, kUtf16Native);
  if (!converter.Valid()) RaiseLastOSError("iconv_open");
  TOutput out((aCharCount + 1) * static_cast<size_t>(FMaxCharSize));
  char* in = const_cast<char*>(reinterpret_cast<const char*>(aChars));
  size_t inLeft = aCharCount * 2;
  while (!ConvertRun(converter.Handle(), in, inLeft, out)) {
    // A character the code page lacks, or an unpaired surrogate.
    if ((FWCharToMBFlags & WC_ERR_INVALID_CHARS) != 0) return {};
    if (inLeft < 2) {
      // Some converters consume the bad unit before reporting it.
      out.Append(FDefaultChar.data(), FDefaultChar.size());
      break;
    }
    char16_t unit, next = 0;
    std::memcpy(&unit, in, 2);
    if (inLeft >= 4) std::memcpy(&next, in + 2, 2);
    const size_t skip = IsHighSurrogate(unit) && IsLowSurrogate(next) ? 4 : 2;
    ResetShiftState(converter.Handle(), out);
    if (FCodePage == kAnsiCodePage && IsCp1252Gap(unit)) {
      const auto byte = static_cast<uint8_t>(unit);
      out.Append(&byte, 1);
    } else {
      out.Append(FDefaultChar.data(), FDefaultChar.size());
    }
    in += skip;
    inLeft -= skip;
  }
  ResetShiftState(converter.Handle(), out);
  const auto* data = reinterpret_cast<const uint8_t*>(out.Data());
  return TIdBytes(data, data + out.Used());
}

std::u16string TIdMBCSEncoding::Decode(const uint8_t* aBytes, size_t aByteCount) const {
  const TIconv converter(kUtf16Native, FIconvName);
  if (!converter.Valid()) RaiseLastOSError("iconv_open");
  TOutput out((aByteCount + 1) * 2);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(aBytes));
  size_t inLeft = aByteCount;
  while (!ConvertRun(converter.Handle(), in, inLeft, out)) {
    // A byte sequence that is not valid in the code page, or one cut short.
    if ((FMBToWCharFlags & MB_ERR_INVALID_CHARS) != 0) return {};
    if (inLeft == 0) {
      // Some converters (glibc's CP949) consume a bad sequence at the end
      // before reporting it.
      const auto unit = static_cast<char16_t>(kReplacementChar);
      out.Append(&unit, 2);
      break;
    }
    const auto byte = static_cast<uint8_t>(*in);
    const char16_t unit = FCodePage == kAnsiCodePage && IsCp1252Gap(byte) ? byte : static_cast<char16_t>(kReplacementChar);
    out.Append(&unit, 2);
    ++in;
    --inLeft;
  }
  std::u16string chars(out.Used() / 2, u'\0');
  std::memcpy(chars.data(), out.Data(), chars.size() * 2);
  return chars;
}

int TIdMBCSEncoding::DoGetByteCount(const char16_t* aChars, int aCharCount) const {
  return static_cast<int>(Encode(aChars, static_cast<size_t>(aCharCount)).size());
}

int TIdMBCSEncoding::DoGetBytes(const char16_t* aChars, int aCharCount, uint8_t* aBytes, int aByteCount) const {
  const TIdBytes bytes = Encode(aChars, static_cast<size_t>(aCharCount));
  const size_t count = std::min(bytes.size(), static_cast<size_t>(aByteCount));
  std::copy_n(bytes.begin(), count, aBytes);
  return static_cast<int>(count);
}

int TIdMBCSEncoding::DoGetCharCount(const uint8_t* aBytes, int aByteCount) const {
  return static_cast<int>(Decode(aBytes, static_cast<size_t>(aByteCount)).size());
}

int TIdMBCSEncoding::DoGetChars(const uint8_t* aBytes, int aByteCount, char16_t* aChars, int aCharCount) const {
  const std::u16string chars = Decode(aBytes, static_cast<size_t>(aByteCount));
  const size_t count = std::min(chars.size(), static_cast<size_t>(aCharCount));
  std::copy_n(chars.begin(), count, aChars);
  return static_cast<int>(count);
}

TIdBytes TIdMBCSEncoding::DoGetBytesOfChars(const char16_t* aChars, int aCharCount) const {
  return Encode(aChars, static_cast<size_t>(aCharCount));
}

std::u16string TIdMBCSEncoding::DoGetCharsOfBytes(const uint8_t* aBytes, int aByteCount) const {
  return Decode(aBytes, static_cast<size_t>(aByteCount));
}

}  // namespace qtx
