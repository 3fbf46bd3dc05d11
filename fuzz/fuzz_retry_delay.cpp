// The wait a server asks for before a call is tried again, read from any
// header block ("retry-after-ms", "Retry-After" in seconds or as an HTTP
// date). Oracle: a wait that is honoured lies between 0 and 60 seconds, and
// the back-off never exceeds its 8-second ceiling whatever the retry count.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "http/qtxIdHeaderList.h"
#include "openai/qtxHTTP_API_Retry.h"
#include "qtxFuzzHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  using namespace qtx;
  using std::chrono::milliseconds;
  const std::string_view input = fuzz::Chars(aData, aSize);
  TIdHeaderList headers(QuoteHTTP);
  headers.SetText(fuzz::Text(input));
  if (const auto wait = ServerRetryDelay(headers)) {
    QTX_FUZZ_CHECK(*wait >= milliseconds(0) && *wait <= milliseconds(60000));
  }
  const int retries = aSize > 0 ? static_cast<int8_t>(aData[0]) : 0;
  const milliseconds backoff = RetryBackoff(retries, aSize > 1 ? aData[1] / 256.0 : 0.0);
  QTX_FUZZ_CHECK(backoff >= milliseconds(0) && backoff <= milliseconds(8000));
  return 0;
}
