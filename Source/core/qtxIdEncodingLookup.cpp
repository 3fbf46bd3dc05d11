// The shared encoding instances and the lookups by type, code page and
// charset name.
#include <atomic>
#include <mutex>

#include "core/qtxIdTextEncoding.h"
#include "core/qtxIdTextEncodings.h"
#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {

std::atomic<IdTextEncodingType> GProcessDefaultEncodingType{encDefault};

std::mutex GEncodingNeededLock;
TIdEncodingNeededEvent GEncodingNeeded;

// Each shared instance is created once, on first request; the compiler's
// guarded initialisation of local statics publishes it to every thread.
template <typename TEncoding>
const IIdTextEncoding& SharedInstance() {
  static const IIdTextEncoding instance = std::make_shared<const TEncoding>();
  return instance;
}

}  // namespace

IdTextEncodingType ProcessDefaultEncodingType() noexcept { return GProcessDefaultEncodingType.load(); }

void SetProcessDefaultEncodingType(IdTextEncodingType aType) noexcept { GProcessDefaultEncodingType.store(aType); }

IIdTextEncoding EncodingForType(IdTextEncodingType aType) {
  if (aType == encDefault) aType = ProcessDefaultEncodingType();
  switch (aType) {
    case encOSDefault: return SharedInstance<TIdMBCSEncoding>();  // code page 0: the ANSI code page
    case enc8Bit: return SharedInstance<TId8BitEncoding>();
    case encUTF16BE: return SharedInstance<TIdUTF16BigEndianEncoding>();
    case encUTF16LE: return SharedInstance<TIdUTF16LittleEndianEncoding>();
    case encUTF7: return SharedInstance<TIdUTF7Encoding>();
    case encUTF8: return SharedInstance<TIdUTF8Encoding>();
    default: return SharedInstance<TIdASCIIEncoding>();  // encASCII, and a process default of 0
  }
}

IIdTextEncoding EncodingForCodePage(uint16_t aCodePage) {
  switch (aCodePage) {
    case 1200: return EncodingForType(encUTF16LE);
    case 1201: return EncodingForType(encUTF16BE);
    case 20127: return EncodingForType(encASCII);
    case 65000: return EncodingForType(encUTF7);
    case 65001: return EncodingForType(encUTF8);
    default: return std::make_shared<const TIdMBCSEncoding>(aCodePage);
  }
}

void SetEncodingNeededHook(TIdEncodingNeededEvent aHook) {
  const std::lock_guard lock(GEncodingNeededLock);
  GEncodingNeeded = std::move(aHook);
}

TIdEncodingNeededEvent EncodingNeededHook() {
  const std::lock_guard lock(GEncodingNeededLock);
  return GEncodingNeeded;
}

IIdTextEncoding CharsetToEncoding(std::string_view aCharset) {
  const std::string_view charset = TrimView(aCharset);
  if (charset.empty()) return EncodingForType(enc8Bit);
  if (const TIdEncodingNeededEvent hook = EncodingNeededHook()) {
    if (IIdTextEncoding encoding = hook(std::string(charset))) return encoding;
  }
  const uint16_t codePage = CharsetToCodePage(charset);
  if (codePage == 0) return EncodingForType(enc8Bit);
  try {
    return EncodingForCodePage(codePage);
  } catch (const Exception&) {
    return EncodingForType(enc8Bit);
  }
}

}  // namespace qtx
