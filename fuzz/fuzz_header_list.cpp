// Header lines and header values over any text. The first byte picks the
// quoting type and the entry point: a block of header lines read through
// the list (names, unfolded values, parameters, folding on write), or one
// value with its parameters. A parameter put into a value reads back as it
// was put, and one taken out no longer reads back.

#include "http/qtxIdHeaderList.h"
#include "platform/qtxSysUtils.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

void HeaderBlock(const std::string& aText, TIdHeaderQuotingType aQuoteType) {
  TIdHeaderList headers(aQuoteType);
  headers.SetText(aText);
  for (int line = 0; line < headers.Count();) {
    const std::string name = headers.Names(line);
    const int before = line;
    (void)headers.GetValueFromLine(line);
    QTX_FUZZ_CHECK(line > before);
    if (name.empty()) continue;
    (void)headers.Values(name);
    (void)headers.Params(name, "charset");
    (void)headers.AllParams(name);
  }
  TStringList pairs;
  headers.ConvertToStdValues(pairs);
  TIdHeaderList copy(aQuoteType);
  copy.AddStdValues(pairs);
  (void)copy.Text();

  // Writing folds long values; reading unfolds them again.
  if (headers.Count() > 0 && !headers.Names(0).empty()) {
    const std::string name = headers.Names(0);
    headers.SetFoldLength(20);
    headers.SetValues(name, aText);
    (void)headers.Values(name);
  }
}

void HeaderValue(std::string_view aInput, TIdHeaderQuotingType aQuoteType) {
  const auto parts = fuzz::Split(aInput, 2);
  const std::string line = fuzz::Text(parts[0]);
  const std::string value = fuzz::Text(parts[1]);
  (void)ExtractHeaderItem(line);
  (void)ExtractHeaderMediaSubType(line);
  (void)IsHeaderMediaTypes(line, {"text", "application/json"});
  for (const TIdHeaderParam& param : ParseHeaderParams(line, aQuoteType))
    QTX_FUZZ_CHECK(!param.Name.empty() && (param.Quoted || !param.Value.empty()));

  const std::string replaced = ReplaceHeaderSubItem(line, "charset", value, aQuoteType);
  const std::string trimmed = Trim(value);
  if (!trimmed.empty()) {
    QTX_FUZZ_CHECK(ExtractHeaderSubItem(replaced, "charset", aQuoteType) == trimmed);
  } else {
    for (const TIdHeaderParam& param : ParseHeaderParams(replaced, aQuoteType))
      QTX_FUZZ_CHECK(!SameText(param.Name, "charset"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const auto quoteType = static_cast<TIdHeaderQuotingType>(aData[0] % 4);
  const std::string_view input = fuzz::Chars(aData + 1, aSize - 1);
  if (aData[0] & 4) HeaderValue(input, quoteType);
  else HeaderBlock(fuzz::Text(input), quoteType);
  return 0;
}
