// Cookies and HTTP dates over any text. The first byte picks the entry
// point: a "Set-Cookie" value for a URL (URL and value cut at a NUL) kept in
// a store that then answers for that URL, a "Cookie" value, a cookie date,
// an HTTP date. An HTTP date that reads, written back, reads as the same time.

#include <cmath>

#include "http/qtxIdCookie.h"
#include "http/qtxIdHTTPDate.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

void ServerCookie(std::string_view aInput) {
  const auto parts = fuzz::Split(aInput, 2);
  const TIdURI uri(fuzz::Text(parts[0]));
  const std::string text = fuzz::Text(parts[1]);

  TIdCookie cookie;
  if (cookie.ParseServerCookie(text, uri)) {
    QTX_FUZZ_CHECK(IsValidUtf8(cookie.CookieText()));
    (void)cookie.ClientCookie();
    (void)cookie.MaxAge();
    (void)cookie.IsAllowed(uri, true);
  }

  TIdCookies store;
  store.AddServerCookie(text, uri);
  for (const std::string& sent : store.ClientCookiesFor(uri, true)) QTX_FUZZ_CHECK(IsValidUtf8(sent));
  store.RemoveExpired();
}

void ClientCookies(const std::string& aText) {
  TIdCookies store;
  store.AddClientCookies(aText);
  for (int i = 0; i < store.Count(); ++i) (void)store.Cookies(i).CookieText();
}

void CookieDate(const std::string& aText) {
  TDateTime utc = 0;
  if (TryCookieDateToDateTimeGMT(aText, utc)) QTX_FUZZ_CHECK(std::isfinite(utc));
}

void HttpDate(const std::string& aText) {
  TDateTime utc = 0;
  if (!TryHttpDateToDateTimeGMT(aText, utc)) return;
  const std::string written = DateTimeGMTToHttpStr(utc);
  TDateTime reread = 0;
  QTX_FUZZ_CHECK(TryHttpDateToDateTimeGMT(written, reread));
  QTX_FUZZ_CHECK(DateTimeGMTToHttpStr(reread) == written);
  (void)GMTToLocalDateTime(aText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const std::string_view input = fuzz::Chars(aData + 1, aSize - 1);
  switch (aData[0] % 4) {
    case 0: ServerCookie(input); break;
    case 1: ClientCookies(fuzz::Text(input)); break;
    case 2: CookieDate(fuzz::Text(input)); break;
    case 3: HttpDate(fuzz::Text(input)); break;
  }
  return 0;
}
