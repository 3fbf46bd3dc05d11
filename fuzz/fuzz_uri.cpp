// URLs: parsing any text, building it back, percent coding and path merging.
// The first byte picks the entry point; the rest is its text (two texts for
// the merge, cut at a NUL). A built URL parses into the same URL; decoding
// an encoded path or query gives the text back; merging never leaves a run
// of "/" behind.

#include "core/qtxIdTextEncoding.h"
#include "http/qtxIdURI.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

constexpr TIdURIOptionalFieldsSet kAllFields = ofAuthInfo | ofBookmark;

void ParseAndBuild(const std::string& aText) {
  TIdURI uri(aText);
  (void)uri.GetPathAndParams();
  if (uri.Protocol().empty() || uri.Host().empty()) return;
  (void)uri.URI();
  const std::string built = uri.GetFullURI(kAllFields);
  QTX_FUZZ_CHECK(TIdURI(built).GetFullURI(kAllFields) == built);
}

bool IsAscii(std::string_view aText) {
  for (const char c : aText)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

void Coding(const std::string& aText) {
  QTX_FUZZ_CHECK(IsValidUtf8(TIdURI::URLDecode(aText)));
  (void)TIdURI::URLDecode(aText, IdTextEncoding_UTF16LE());
  (void)TIdURI::URLDecode(aText, IdTextEncoding_8Bit());
  try {
    (void)TIdURI::URLEncode(aText);
  } catch (const EIdURIException&) {
    // Encoding builds the URL, which needs a protocol and a host.
  }

  const std::string path = TIdURI::PathEncode(aText);
  const std::string params = TIdURI::ParamsEncode(aText);
  QTX_FUZZ_CHECK(IsAscii(path) && IsAscii(params));
  // Existing escapes are kept as they are, so only text without "%" comes back whole.
  if (aText.find('%') == std::string::npos) {
    QTX_FUZZ_CHECK(TIdURI::URLDecode(path) == aText);
    QTX_FUZZ_CHECK(TIdURI::URLDecode(params) == aText);
  }
}

void Merge(std::string_view aInput) {
  const auto parts = fuzz::Split(aInput, 2);
  const std::string base = fuzz::Text(parts[0]);
  const std::string relative = fuzz::Text(parts[1]);
  const std::string merged = TIdURI::MergePath(base, relative);
  if (!relative.starts_with('/')) QTX_FUZZ_CHECK(merged.find("//") == std::string::npos);
  (void)TIdURI::NormalizePath(base);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const std::string_view input = fuzz::Chars(aData + 1, aSize - 1);
  switch (aData[0] % 3) {
    case 0: ParseAndBuild(fuzz::Text(input)); break;
    case 1: Coding(fuzz::Text(input)); break;
    case 2: Merge(input); break;
  }
  return 0;
}
