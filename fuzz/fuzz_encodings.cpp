// Every text encoding and code page over any bytes and any text. The first
// byte picks the encoding (the shared instances, then each known code page
// as it is and with the flags that refuse invalid input); the rest is both
// the bytes to decode and, made valid UTF-8, the text to encode. Decoding
// gives UTF-8; the counting forms agree with the converting ones; a UTF-7,
// UTF-8, UTF-16 or UTF-32 encoding gives every text back unchanged; UTF-8
// decodes valid UTF-8 bytes to themselves.

#include <span>
#include <vector>

#include "core/qtxIdCodePages.h"
#include "core/qtxIdTextEncodings.h"
#include "platform/qtxException.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

struct TCandidate {
  IIdTextEncoding Encoding;
  bool RoundTrips;  // a Unicode encoding: every text comes back
};

bool IsUnicodeCodePage(uint16_t aCodePage) {
  return aCodePage == 1200 || aCodePage == 1201 || aCodePage == 12000 || aCodePage == 12001 ||
         aCodePage == 65000 || aCodePage == 65001;
}

std::vector<TCandidate> Candidates() {
  std::vector<TCandidate> all = {
      {IdTextEncoding_ASCII(), false},  {IdTextEncoding_8Bit(), false},   {IdTextEncoding_UTF16LE(), true},
      {IdTextEncoding_UTF16BE(), true}, {IdTextEncoding_UTF7(), true},    {IdTextEncoding_UTF8(), true},
  };
  for (const TIdCodePageInfo& info : KnownCodePages()) {
    try {
      all.push_back({EncodingForCodePage(info.CodePage), IsUnicodeCodePage(info.CodePage)});
      all.push_back({std::make_shared<TIdMBCSEncoding>(info.CodePage, MB_ERR_INVALID_CHARS, WC_ERR_INVALID_CHARS),
                     false});
    } catch (const Exception&) {
      // A code page this system's iconv cannot convert.
    }
  }
  return all;
}

void Decode(const TIdTextEncodingBase& aEncoding, const TIdBytes& aBytes) {
  QTX_FUZZ_CHECK(IsValidUtf8(aEncoding.GetString(aBytes)));
  QTX_FUZZ_CHECK(aEncoding.GetCharCount(aBytes) == static_cast<int>(aEncoding.GetChars(aBytes).size()));
}

void Encode(const TIdTextEncodingBase& aEncoding, const std::string& aText, bool aRoundTrips) {
  const TIdBytes bytes = aEncoding.GetBytes(aText);
  QTX_FUZZ_CHECK(aEncoding.GetByteCount(aText) == static_cast<int>(bytes.size()));
  const std::u16string units = Utf8ToUtf16(aText);
  QTX_FUZZ_CHECK(aEncoding.GetBytes(units) == bytes);
  if (aRoundTrips) {
    QTX_FUZZ_CHECK(aEncoding.GetString(bytes) == aText);
    QTX_FUZZ_CHECK(aEncoding.GetChars(bytes) == units);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  fuzz::KeepCodePageModulesLoaded();
  static const std::vector<TCandidate> candidates = Candidates();
  if (aSize == 0) return 0;
  const TCandidate& candidate = candidates[aData[0] % candidates.size()];
  const std::string_view input = fuzz::Chars(aData + 1, aSize - 1);
  const TIdBytes bytes = fuzz::Bytes(input);
  const std::string text = fuzz::Text(input);

  Decode(*candidate.Encoding, bytes);
  Encode(*candidate.Encoding, text, candidate.RoundTrips);
  if (candidate.Encoding == IdTextEncoding_UTF8() && IsValidUtf8(input))
    QTX_FUZZ_CHECK(candidate.Encoding->GetString(bytes) == input);
  (void)CharsetToEncoding(text);
  return 0;
}
