// The typed header records over any block of header lines. The first byte
// picks the record: a response's headers, a request's, or a Range value.
// Each record reads its fields from the lines and writes them back, and the
// lines it writes settle; a range list written as text reads back to the
// same text.

#include "http/qtxIdHTTPHeaderInfo.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

// Reads the lines into the record and writes its fields back.
template <class TRecord>
std::string ReadWrite(const std::string& aText) {
  TRecord record;
  record.RawHeaders().SetText(aText);
  record.ProcessHeaders();
  record.SetHeaders();
  return record.RawHeaders().Text();
}

// The lines a record writes settle: reading them and writing again changes
// nothing. Reading fills in what is missing or unreadable (a missing Date is
// now), and a request reads Last-Modified but writes If-Modified-Since, so
// the lines settle from the second round on.
template <class TRecord>
void ReadWriteRead(const std::string& aText) {
  const std::string settled = ReadWrite<TRecord>(ReadWrite<TRecord>(aText));
  QTX_FUZZ_CHECK(ReadWrite<TRecord>(settled) == settled);
}

void Ranges(const std::string& aText) {
  TIdEntityRanges ranges;
  ranges.SetText(aText);
  const std::string written = ranges.Text();
  TIdEntityRanges reread;
  reread.SetText(written);
  QTX_FUZZ_CHECK(reread.Text() == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const std::string text = fuzz::Text(fuzz::Chars(aData + 1, aSize - 1));
  switch (aData[0] % 3) {
    case 0: ReadWriteRead<TIdResponseHeaderInfo>(text); break;
    case 1: ReadWriteRead<TIdRequestHeaderInfo>(text); break;
    case 2: Ranges(text); break;
  }
  return 0;
}
