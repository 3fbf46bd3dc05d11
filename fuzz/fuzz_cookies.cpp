// Cookies and HTTP dates over any text. The first byte picks the entry
// point: "Set-Cookie" values for a URL (URL and values cut at a NUL, one
// value a line; a line that starts with "http://" or "https://" is the URL of
// those after it) kept in one store that then answers for each URL, a
// "Cookie" value, a cookie date, an HTTP date. What the store sends is UTF-8
// without a control character, and each stored cookie is found again by its
// name and domain. An HTTP date that reads, written back, reads as the same
// time.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "http/qtxIdCookie.h"
#include "http/qtxIdHeaderItems.h"
#include "http/qtxIdHTTPDate.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

// What the store may put into a "Cookie" header.
bool IsSendable(const std::string& aPair) { return IsValidUtf8(aPair) && !HasHeaderControlChar(aPair); }

void CheckOneCookie(const std::string& aText, const TIdURI& aURI) {
  TIdCookie cookie;
  if (!cookie.ParseServerCookie(aText, aURI)) return;
  QTX_FUZZ_CHECK(IsValidUtf8(cookie.CookieText()));
  (void)cookie.ClientCookie();
  (void)cookie.MaxAge();
  (void)cookie.IsAllowed(aURI, true);
}

void ServerCookies(std::string_view aInput) {
  const auto parts = fuzz::Split(aInput, 2);
  std::vector<TIdURI> uris{TIdURI(fuzz::Text(parts[0]))};
  TIdCookies store;
  const std::string values = fuzz::Text(parts[1]);
  for (size_t start = 0, end = 0; start <= values.size(); start = end + 1) {
    end = std::min(values.find('\n', start), values.size());
    const std::string line = values.substr(start, end - start);
    if (line.starts_with("http://") || line.starts_with("https://")) {
      uris.emplace_back(line);
      continue;
    }
    CheckOneCookie(line, uris.back());
    store.AddServerCookie(line, uris.back());
  }

  QTX_FUZZ_CHECK(static_cast<size_t>(store.Count()) <= IdMaxCookies);
  for (int i = 0; i < store.Count(); ++i) {
    const TIdCookie& cookie = store.Cookies(i);
    QTX_FUZZ_CHECK(store.GetCookieByNameAndDomain(cookie.CookieName(), cookie.Domain()) != nullptr);
  }
  for (const TIdURI& uri : uris) {
    for (const bool secureOnly : {false, true})
      for (const std::string& sent : store.ClientCookiesFor(uri, secureOnly)) QTX_FUZZ_CHECK(IsSendable(sent));
  }
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
    case 0: ServerCookies(input); break;
    case 1: ClientCookies(fuzz::Text(input)); break;
    case 2: CookieDate(fuzz::Text(input)); break;
    case 3: HttpDate(fuzz::Text(input)); break;
  }
  return 0;
}
