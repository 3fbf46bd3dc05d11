// The meta tags of any HTML page: the scanner over the page as text, and the
// http-equiv record over the page's bytes. What they find is UTF-8 text.

#include "http/qtxIdHTMLMetaScanner.h"
#include "http/qtxIdHTTPHeaderInfo.h"
#include "qtxFuzzHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  using namespace qtx;
  const std::string_view page = fuzz::Chars(aData, aSize);

  const TIdHTMLMetaInfo info = ScanHTMLMeta(fuzz::Text(page));
  for (const auto& [name, content] : info.Headers) QTX_FUZZ_CHECK(IsValidUtf8(name) && IsValidUtf8(content));
  QTX_FUZZ_CHECK(IsValidUtf8(info.CharSet));

  TMemoryStream stream(fuzz::Bytes(page));
  TIdMetaHTTPEquiv meta;
  meta.ProcessMetaHTTPEquiv(stream);
  QTX_FUZZ_CHECK(IsValidUtf8(meta.RawHeaders().Text()) && IsValidUtf8(meta.CharSet()));
  return 0;
}
