#include "http/qtxIdCookie.h"

#include <arpa/inet.h>
#include <libpsl.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

#include "http/qtxIdHTTPDate.h"
#include "http/qtxIdHeaderItems.h"
#include "platform/qtxDateTime.h"
#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
const char* const SExpiresFormat = "%s, %s-%s-%s %s GMT";

constexpr double kSecondsPerDay = 86400.0;

// The earliest date a cookie can expire at: an expiry in the past.
TDateTime EarliestDate() { return EncodeDate(1, 1, 1); }
// The latest date there is: the expiry of a session cookie (never, as far as
// the store is concerned) and of every later one.
TDateTime LatestDate() { return EncodeDateTime(9999, 12, 31, 23, 59, 59, 999); }

std::string ZeroPadded(int aValue, size_t aDigits) {
  std::string text = IntToStr(aValue);
  if (text.size() < aDigits) text.insert(0, aDigits - text.size(), '0');
  return text;
}

bool IsWebProtocol(const TIdURI& aURI) { return SameText(aURI.Protocol(), "http") || SameText(aURI.Protocol(), "https"); }

bool IsSecureProtocol(const TIdURI& aURI) { return SameText(aURI.Protocol(), "https") || SameText(aURI.Protocol(), "wss"); }

// A domain under which anyone may register names ("com", "co.uk"), by the
// Public Suffix List as the system keeps it current (the list built into
// libpsl where the system has none). A name the list does not know counts as
// a suffix of its own, as its last label does.
bool IsPublicSuffix(const std::string& aDomain) {
  static const std::unique_ptr<psl_ctx_t, void (*)(psl_ctx_t*)> latest(psl_latest(nullptr), psl_free);
  const psl_ctx_t* list = latest ? latest.get() : psl_builtin();
  return list != nullptr && psl_is_public_suffix(list, aDomain.c_str()) != 0;
}

// The domain and each parent domain of it: "a.b.c", "b.c", "c".
template <class F>
void ForEachParentDomain(std::string_view aDomain, F aVisit) {
  while (!aDomain.empty()) {
    aVisit(aDomain);
    const size_t dot = aDomain.find('.');
    if (dot == std::string_view::npos) break;
    aDomain.remove_prefix(dot + 1);
  }
}

// The path of a request, document included.
std::string RequestPath(const TIdURI& aURI) {
  const std::string path = aURI.Path() + aURI.Document();
  return path.empty() ? std::string("/") : path;
}

// The default path of RFC 6265, section 5.1.4.
std::string DefaultPath(const TIdURI& aURI) {
  const std::string path = RequestPath(aURI);
  const size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsIPAddress(std::string_view aHost) {
  std::string host(aHost);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  in6_addr address6;
  in_addr address4;
  return inet_pton(AF_INET, host.c_str(), &address4) == 1 || inet_pton(AF_INET6, host.c_str(), &address6) == 1;
}

// A whole decimal number with an optional sign, as Max-Age and numeric
// Expires are; a number beyond the 64-bit range counts as the end it passed.
bool TryCookieInteger(std::string_view aText, int64_t& aValue) {
  if (aText.empty()) return false;
  const char* first = aText.data();
  if (*first == '+') ++first;
  const auto [end, error] = std::from_chars(first, aText.data() + aText.size(), aValue);
  if (end != aText.data() + aText.size()) return false;
  if (error == std::errc::result_out_of_range) {
    aValue = *first == '-' ? INT64_MIN : INT64_MAX;
    return true;
  }
  return error == std::errc();
}

// An expiry past the date range is the latest date there is.
TDateTime ClampedExpiry(TDateTime aExpiry) { return std::min(aExpiry, LatestDate()); }

TDateTime SecondsFromNow(int64_t aSeconds) {
  if (aSeconds <= 0) return EarliestDate();
  const TDateTime now = Now();
  const double days = static_cast<double>(aSeconds) / kSecondsPerDay;
  return days >= LatestDate() - now ? LatestDate() : now + days;
}

// ---- cookie dates (RFC 6265, section 5.1.1) ------------------------------------

bool IsDateDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 1*max digits at the start of aToken, followed by nothing or a non-digit.
bool LeadingNumber(std::string_view aToken, size_t aMinDigits, size_t aMaxDigits, int& aValue, size_t& aLength) {
  size_t n = 0;
  while (n < aToken.size() && IsDigit(aToken[n])) ++n;
  if (n < aMinDigits || n > aMaxDigits) return false;
  aValue = 0;
  for (size_t i = 0; i < n; ++i) aValue = aValue * 10 + (aToken[i] - '0');
  aLength = n;
  return true;
}

bool ParseTimeToken(std::string_view aToken, int& aHour, int& aMinute, int& aSecond) {
  int* parts[] = {&aHour, &aMinute, &aSecond};
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    size_t length = 0;
    if (!LeadingNumber(aToken.substr(pos), 1, 2, *parts[i], length)) return false;
    pos += length;
    if (i < 2) {
      if (pos >= aToken.size() || aToken[pos] != ':') return false;
      ++pos;
    }
  }
  return true;
}

int MonthOfToken(std::string_view aToken) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (aToken.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    if (SameText(aToken.substr(0, 3), kMonths[i])) return i + 1;
  }
  return 0;
}
}  // namespace

bool TryCookieDateToDateTimeGMT(std::string_view aText, TDateTime& aUTC) {
  bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  size_t pos = 0;
  while (pos < aText.size()) {
    while (pos < aText.size() && IsDateDelimiter(static_cast<unsigned char>(aText[pos]))) ++pos;
    const size_t start = pos;
    while (pos < aText.size() && !IsDateDelimiter(static_cast<unsigned char>(aText[pos]))) ++pos;
    const std::string_view token = aText.substr(start, pos - start);
    if (token.empty()) continue;
    size_t length = 0;
    int value = 0;
    if (!foundTime && ParseTimeToken(token, hour, minute, second)) {
      foundTime = true;
    } else if (!foundDay && LeadingNumber(token, 1, 2, value, length)) {
      day = value;
      foundDay = true;
    } else if (!foundMonth && MonthOfToken(token) != 0) {
      month = MonthOfToken(token);
      foundMonth = true;
    } else if (!foundYear && LeadingNumber(token, 2, 4, value, length)) {
      year = value;
      foundYear = true;
    }
  }
  if (foundYear && year >= 70 && year <= 99) year += 1900;
  if (foundYear && year >= 0 && year <= 69) year += 2000;
  if (!foundTime || !foundDay || !foundMonth || !foundYear) return false;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return false;
  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) return false;
  aUTC = date + time;
  return true;
}

bool IsDomainMatch(std::string_view aHost, std::string_view aDomain) {
  if (aHost.empty() || aDomain.empty()) return false;
  if (SameText(aHost, aDomain)) return true;
  if (aHost.size() <= aDomain.size() || !EndsText(aDomain, aHost)) return false;
  if (aHost[aHost.size() - aDomain.size() - 1] != '.') return false;
  return aHost[0] != '.' && !IsIPAddress(aHost);
}

bool IsPathMatch(std::string_view aURIPath, std::string_view aCookiePath) {
  if (SameText(aURIPath, aCookiePath)) return true;
  if (aCookiePath.empty() || !StartsText(aCookiePath, aURIPath)) return false;
  return aCookiePath.back() == '/' || (aURIPath.size() > aCookiePath.size() && aURIPath[aCookiePath.size()] == '/');
}

// ---- TIdCookie -------------------------------------------------------------------

TIdCookie::TIdCookie(TIdCookies* aCollection) : FCollection(aCollection), FCreatedAt(Now()), FLastAccessed(FCreatedAt) {}

void TIdCookie::Assign(const TIdCookie& aSource) {
  if (this == &aSource) return;
  FName = aSource.FName;
  FValue = aSource.FValue;
  FDomain = aSource.FDomain;
  FPath = aSource.FPath;
  FExpires = aSource.FExpires;
  FSecure = aSource.FSecure;
  FHttpOnly = aSource.FHttpOnly;
  FHostOnly = aSource.FHostOnly;
  FPersistent = aSource.FPersistent;
  FCreatedAt = aSource.FCreatedAt;
  FLastAccessed.store(aSource.FLastAccessed.load());
}

bool TIdCookie::ParseServerCookie(std::string_view aCookieText, const TIdURI& aURI) {
  const size_t pairEnd = std::min(aCookieText.find(';'), aCookieText.size());
  const std::string_view pair = aCookieText.substr(0, pairEnd);
  const size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return false;
  std::string name = Trim(pair.substr(0, eq));
  if (name.empty()) return false;
  std::string value = Trim(pair.substr(eq + 1));

  bool hasMaxAge = false, hasExpires = false, hasDomain = false, hasPath = false;
  bool secure = false, httpOnly = false;
  TDateTime maxAgeExpiry = 0, expiresExpiry = 0;
  std::string domain, path;
  size_t pos = pairEnd;
  while (pos < aCookieText.size()) {
    ++pos;  // the ";"
    size_t nameEnd = pos;
    while (nameEnd < aCookieText.size() && aCookieText[nameEnd] != '=' && aCookieText[nameEnd] != ';') ++nameEnd;
    const std::string attribute = Trim(aCookieText.substr(pos, nameEnd - pos));
    std::string attributeValue;
    pos = nameEnd;
    if (pos < aCookieText.size() && aCookieText[pos] == '=') {
      ++pos;
      while (pos < aCookieText.size() && (aCookieText[pos] == ' ' || aCookieText[pos] == '\t')) ++pos;
      if (pos < aCookieText.size() && aCookieText[pos] == '"') {
        // A quoted value runs to the next quote; the rest up to ";" is ignored.
        const size_t close = aCookieText.find('"', pos + 1);
        const size_t end = close == std::string_view::npos ? aCookieText.size() : close;
        attributeValue = std::string(aCookieText.substr(pos + 1, end - pos - 1));
        pos = std::min(aCookieText.find(';', end), aCookieText.size());
      } else {
        const size_t next = std::min(aCookieText.find(';', pos), aCookieText.size());
        attributeValue = Trim(aCookieText.substr(pos, next - pos));
        pos = next;
      }
    }
    if (attributeValue.size() > IdMaxCookieAttributeBytes) continue;

    int64_t seconds = 0;
    if (SameText(attribute, "Expires")) {
      if (TryCookieInteger(attributeValue, seconds)) {
        expiresExpiry = SecondsFromNow(seconds);
        hasExpires = true;
      } else if (TDateTime utc = 0; TryCookieDateToDateTimeGMT(attributeValue, utc)) {
        const TDateTime local = UTCToLocalTime(utc);
        if (local != 0) {
          expiresExpiry = ClampedExpiry(local);
          hasExpires = true;
        }
      }
    } else if (SameText(attribute, "Max-Age")) {
      if (TryCookieInteger(attributeValue, seconds)) {
        maxAgeExpiry = SecondsFromNow(seconds);
        hasMaxAge = true;
      }
    } else if (SameText(attribute, "Domain")) {
      if (!attributeValue.empty()) {
        domain = LowerCase(attributeValue[0] == '.' ? attributeValue.substr(1) : attributeValue);
        hasDomain = true;
      }
    } else if (SameText(attribute, "Path")) {
      path = attributeValue;
      hasPath = !path.empty() && path[0] == '/';
    } else if (SameText(attribute, "Secure")) {
      secure = true;
    } else if (SameText(attribute, "HttpOnly")) {
      httpOnly = true;
    }
  }

  FName = std::move(name);
  FValue = std::move(value);
  if (!IsStorable()) return false;
  FCreatedAt = Now();
  FLastAccessed.store(FCreatedAt);

  FPersistent = hasMaxAge || hasExpires;
  FExpires = hasMaxAge ? maxAgeExpiry : hasExpires ? expiresExpiry : LatestDate();

  const std::string host = LowerCase(aURI.Host());
  if (hasDomain && IsPublicSuffix(domain)) {
    // Only the host itself may set a cookie for a public suffix, as a
    // host-only one: no one else shares it.
    if (domain != host) return false;
    hasDomain = false;
  }
  if (hasDomain) {
    if (!IsDomainMatch(aURI.Host(), domain)) return false;
    FDomain = domain;
    FHostOnly = false;
  } else {
    FDomain = host;
    FHostOnly = true;
  }
  FPath = hasPath ? path : DefaultPath(aURI);
  FSecure = secure;
  FHttpOnly = httpOnly;
  if (FSecure && !IsSecureProtocol(aURI)) return false;
  return !(FHttpOnly && !IsWebProtocol(aURI));
}

void TIdCookie::ParseClientCookie(std::string_view aCookieText) {
  const std::string_view text = TrimView(aCookieText);
  const size_t nameEnd = std::min(text.find_first_of("=;"), text.size());
  FName = TrimRight(text.substr(0, nameEnd));
  FValue.clear();
  if (nameEnd < text.size() && text[nameEnd] == '=') {
    std::string_view rest = TrimView(text.substr(nameEnd + 1));
    if (!rest.empty() && rest[0] == '"') {
      const size_t close = rest.find('"', 1);
      FValue = std::string(rest.substr(0, close == std::string_view::npos ? rest.size() : close + 1));
    } else {
      FValue = Trim(rest.substr(0, std::min(rest.find(';'), rest.size())));
    }
  }
}

bool TIdCookie::IsAllowed(const TIdURI& aURI, bool aSecureOnly) const {
  const bool hostAllowed = FHostOnly ? SameText(aURI.Host(), FDomain) : IsDomainMatch(aURI.Host(), FDomain);
  return hostAllowed && IsPathMatch(RequestPath(aURI), FPath) && (!FSecure || aSecureOnly) &&
         (!FHttpOnly || IsWebProtocol(aURI));
}

std::string TIdCookie::ClientCookie() const { return FName + "=" + FValue; }

int64_t TIdCookie::MaxAge() const {
  if (FExpires == 0) return -1;
  return static_cast<int64_t>(std::floor((FExpires - Now()) * kSecondsPerDay));
}

bool TIdCookie::IsExpired() const { return IsExpiredAt(Now()); }

bool TIdCookie::IsStorable() const noexcept {
  return FName.size() + FValue.size() <= IdMaxCookieBytes && !HasHeaderControlChar(FName) &&
         !HasHeaderControlChar(FValue);
}

std::string TIdCookie::CookieText() const {
  std::string text = FName + "=" + FValue;
  if (!FPath.empty()) text += "; Path=" + FPath;
  if (!FDomain.empty()) text += "; Domain=" + FDomain;
  if (FSecure) text += "; Secure";
  if (FHttpOnly) text += "; HttpOnly";
  if (FExpires != 0) {
    const int64_t maxAge = MaxAge();
    if (maxAge >= 0) text += "; Max-Age=" + IntToStr(maxAge);
    const TDateTime utc = ClampedExpiry(LocalTimeToUTC(FExpires));
    int year, month, day, hour, minute, second, msec;
    DecodeDate(utc, year, month, day);
    DecodeTime(utc, hour, minute, second, msec);
    const std::string time = ZeroPadded(hour, 2) + ":" + ZeroPadded(minute, 2) + ":" + ZeroPadded(second, 2);
    text += "; Expires=" + Format(SExpiresFormat, {HttpDayName(DayOfWeek(utc)), ZeroPadded(day, 2),
                                                   HttpMonthName(month), ZeroPadded(year, 4), time});
  }
  if (!FSameSite.empty()) text += "; SameSite=" + FSameSite;
  return text;
}

// ---- TIdCookies ------------------------------------------------------------------

bool TIdCookies::AddCookie(std::unique_ptr<TIdCookie> aCookie, const TIdURI* aURI, bool aReplaceOld) {
  std::unique_lock lock(FRWLock);
  return AddCookieLocked(std::move(aCookie), aURI, aReplaceOld);
}

bool TIdCookies::AddCookieLocked(std::unique_ptr<TIdCookie> aCookie, const TIdURI* aURI, bool aReplaceOld) {
  if (!aCookie || !aCookie->IsStorable()) return false;
  if (aURI != nullptr && !IsSecureProtocol(*aURI) && !aCookie->FSecure && ShadowsSecureCookie(*aCookie)) return false;
  if (aReplaceOld) {
    if (const TIdCookie* old = FindSameCookie(*aCookie)) {
      if (aURI != nullptr && !IsWebProtocol(*aURI) && old->FHttpOnly) return false;
      aCookie->FCreatedAt = old->FCreatedAt;
      Remove(*old);
    }
  }
  if (aCookie->IsExpired()) return false;
  aCookie->FCollection = this;
  aCookie->FSequence = FNextSequence++;
  TIdCookie& added = *aCookie;
  FCookieList.push_back(std::move(aCookie));
  Index(added);
  return EnforceLimits(added);
}

void TIdCookies::Index(TIdCookie& aCookie) {
  aCookie.FDomainKey = LowerCase(aCookie.FDomain);
  FByDomain[aCookie.FDomainKey].push_back(&aCookie);
  aCookie.FUseKey = aCookie.LastAccessed();
  FByUse.emplace(std::pair(aCookie.FUseKey, aCookie.FSequence), &aCookie);
  if (aCookie.FExpires != 0) FEarliestExpiry = std::min(FEarliestExpiry, aCookie.FExpires);
}

void TIdCookies::Unindex(const TIdCookie& aCookie) {
  const auto domain = FByDomain.find(aCookie.FDomainKey);
  if (domain != FByDomain.end()) {
    std::erase(domain->second, &aCookie);
    if (domain->second.empty()) FByDomain.erase(domain);
  }
  FByUse.erase(std::pair(aCookie.FUseKey, aCookie.FSequence));
}

void TIdCookies::RebuildIndexes() {
  FByDomain.clear();
  FByUse.clear();
  FEarliestExpiry = std::numeric_limits<TDateTime>::infinity();
  FNextSequence = 0;
  for (const auto& cookie : FCookieList) {
    cookie->FSequence = FNextSequence++;
    Index(*cookie);
  }
}

void TIdCookies::Remove(const TIdCookie& aCookie) {
  Unindex(aCookie);
  FCookieList.erase(FCookieList.begin() + static_cast<std::ptrdiff_t>(PositionOf(aCookie)));
}

size_t TIdCookies::PositionOf(const TIdCookie& aCookie) const {
  const auto found = std::lower_bound(FCookieList.begin(), FCookieList.end(), aCookie.FSequence,
                                      [](const auto& stored, uint64_t aSequence) { return stored->FSequence < aSequence; });
  return static_cast<size_t>(found - FCookieList.begin());
}

const std::vector<TIdCookie*>* TIdCookies::DomainCookies(const std::string& aDomainKey) const {
  const auto found = FByDomain.find(aDomainKey);
  return found == FByDomain.end() ? nullptr : &found->second;
}

TIdCookie* TIdCookies::FindSameCookie(const TIdCookie& aCookie) const {
  if (const auto* cookies = DomainCookies(LowerCase(aCookie.FDomain))) {
    for (TIdCookie* stored : *cookies) {
      if (SameText(stored->FName, aCookie.FName) && SameText(stored->FPath, aCookie.FPath)) return stored;
    }
  }
  return nullptr;
}

bool TIdCookies::ShadowsSecureCookie(const TIdCookie& aCookie) const {
  bool shadows = false;
  ForEachParentDomain(LowerCase(aCookie.FDomain), [&](std::string_view aDomain) {
    if (const auto* cookies = DomainCookies(std::string(aDomain))) {
      for (const TIdCookie* stored : *cookies) {
        shadows = shadows || (stored->FSecure && SameText(stored->FName, aCookie.FName) &&
                              IsPathMatch(aCookie.FPath, stored->FPath));
      }
    }
  });
  return shadows;
}

void TIdCookies::RemoveExpiredLocked(TDateTime aNow) {
  if (aNow <= FEarliestExpiry) return;
  for (const auto& cookie : FCookieList) {
    if (cookie->IsExpiredAt(aNow)) Unindex(*cookie);
  }
  std::erase_if(FCookieList, [aNow](const auto& cookie) { return cookie->IsExpiredAt(aNow); });
  FEarliestExpiry = std::numeric_limits<TDateTime>::infinity();
  for (const auto& cookie : FCookieList) {
    if (cookie->FExpires != 0) FEarliestExpiry = std::min(FEarliestExpiry, cookie->FExpires);
  }
}

bool TIdCookies::EnforceLimits(const TIdCookie& aAdded) {
  const std::string domainKey = aAdded.FDomainKey;
  const auto domainCount = [&] {
    const auto* cookies = DomainCookies(domainKey);
    return cookies ? cookies->size() : 0;
  };
  if (domainCount() <= IdMaxCookiesPerDomain && FCookieList.size() <= IdMaxCookies) return true;
  RemoveExpiredLocked(Now());
  bool addedKept = DomainCookies(domainKey) != nullptr;  // it may have expired meanwhile
  const auto lessRecentlyUsed = [](const TIdCookie* a, const TIdCookie* b) {
    const TDateTime usedA = a->LastAccessed(), usedB = b->LastAccessed();
    return usedA != usedB ? usedA < usedB : a->FSequence < b->FSequence;
  };
  while (domainCount() > IdMaxCookiesPerDomain) {
    const auto& cookies = *DomainCookies(domainKey);
    const TIdCookie* victim = *std::min_element(cookies.begin(), cookies.end(), lessRecentlyUsed);
    addedKept = addedKept && victim != &aAdded;
    Remove(*victim);
  }
  while (FCookieList.size() > IdMaxCookies) {
    // The use index learns of reads lazily: a cookie read since it was filed
    // moves to its place before the oldest may go.
    const auto oldest = FByUse.begin();
    TIdCookie& victim = *oldest->second;
    if (victim.LastAccessed() != victim.FUseKey) {
      FByUse.erase(oldest);
      victim.FUseKey = victim.LastAccessed();
      FByUse.emplace(std::pair(victim.FUseKey, victim.FSequence), &victim);
      continue;
    }
    addedKept = addedKept && &victim != &aAdded;
    Remove(victim);
  }
  return addedKept;
}

bool TIdCookies::AddServerCookie(std::string_view aCookie, const TIdURI& aURI) {
  auto cookie = std::make_unique<TIdCookie>(this);
  if (!cookie->ParseServerCookie(aCookie, aURI)) return false;
  return AddCookie(std::move(cookie), &aURI, true);
}

void TIdCookies::AddServerCookies(const TStrings& aCookies, const TIdURI& aURI) {
  for (int i = 0; i < aCookies.Count(); ++i) AddServerCookie(aCookies[i], aURI);
}

bool TIdCookies::AddClientCookie(std::string_view aCookie) {
  auto cookie = std::make_unique<TIdCookie>(this);
  cookie->ParseClientCookie(aCookie);
  if (cookie->CookieName().empty()) return false;
  return AddCookie(std::move(cookie), nullptr, true);
}

void TIdCookies::AddClientCookies(std::string_view aCookies) {
  // Pairs end at ";" except inside a quoted value.
  size_t start = 0;
  bool quoted = false;
  for (size_t i = 0; i <= aCookies.size(); ++i) {
    if (i < aCookies.size() && aCookies[i] == '"') quoted = !quoted;
    if (i == aCookies.size() || (aCookies[i] == ';' && !quoted)) {
      const std::string_view pair = TrimView(aCookies.substr(start, i - start));
      if (!pair.empty()) AddClientCookie(pair);
      start = i + 1;
    }
  }
}

void TIdCookies::AddClientCookies(const TStrings& aCookies) {
  for (int i = 0; i < aCookies.Count(); ++i) AddClientCookies(std::string_view(aCookies[i]));
}

void TIdCookies::AddCookies(const TIdCookies& aSource) {
  if (&aSource == this) return;
  std::vector<std::unique_ptr<TIdCookie>> copies;
  {
    std::shared_lock lock(aSource.FRWLock);
    for (const auto& cookie : aSource.FCookieList) {
      auto copy = std::make_unique<TIdCookie>(this);
      copy->Assign(*cookie);
      copy->FSameSite = cookie->FSameSite;
      copies.push_back(std::move(copy));
    }
  }
  std::unique_lock lock(FRWLock);
  for (auto& copy : copies) AddCookieLocked(std::move(copy), nullptr, true);
}

void TIdCookies::Assign(const TIdCookies& aSource) {
  if (&aSource == this) return;
  Clear();
  AddCookies(aSource);
}

void TIdCookies::Clear() {
  std::unique_lock lock(FRWLock);
  FCookieList.clear();
  RebuildIndexes();
}

int TIdCookies::Count() const {
  std::shared_lock lock(FRWLock);
  return static_cast<int>(FCookieList.size());
}

void TIdCookies::RemoveExpired() {
  std::unique_lock lock(FRWLock);
  RemoveExpiredLocked(Now());
}

std::vector<std::string> TIdCookies::ClientCookiesFor(const TIdURI& aURI, bool aSecureOnly) {
  std::shared_lock lock(FRWLock);
  // Only cookies of the host and of its parent domains can go with it.
  std::vector<TIdCookie*> allowed;
  ForEachParentDomain(LowerCase(aURI.Host()), [&](std::string_view aDomain) {
    if (const auto* cookies = DomainCookies(std::string(aDomain))) {
      for (TIdCookie* cookie : *cookies) {
        if (cookie->IsAllowed(aURI, aSecureOnly)) allowed.push_back(cookie);
      }
    }
  });
  std::sort(allowed.begin(), allowed.end(), [](const TIdCookie* a, const TIdCookie* b) {
    if (a->Path().size() != b->Path().size()) return a->Path().size() > b->Path().size();
    if (a->CreatedAt() != b->CreatedAt()) return a->CreatedAt() < b->CreatedAt();
    return a->FSequence < b->FSequence;
  });
  const TDateTime now = Now();
  std::vector<std::string> pairs;
  pairs.reserve(allowed.size());
  for (TIdCookie* cookie : allowed) {
    cookie->SetLastAccessed(now);
    pairs.push_back(cookie->ClientCookie());
  }
  return pairs;
}

int TIdCookies::GetCookieIndex(std::string_view aName, int aFirstIndex) const {
  for (size_t i = static_cast<size_t>(std::max(aFirstIndex, 0)); i < FCookieList.size(); ++i) {
    if (SameText(FCookieList[i]->FName, aName)) return static_cast<int>(i);
  }
  return -1;
}

int TIdCookies::GetCookieIndex(std::string_view aName, std::string_view aDomain, int aFirstIndex) const {
  if (const auto* cookies = DomainCookies(LowerCase(aDomain))) {
    for (const TIdCookie* cookie : *cookies) {  // in list order
      if (!SameText(cookie->FName, aName)) continue;
      const size_t position = PositionOf(*cookie);
      if (position >= static_cast<size_t>(std::max(aFirstIndex, 0))) return static_cast<int>(position);
    }
  }
  return -1;
}

TIdCookie* TIdCookies::GetCookieByNameAndDomain(std::string_view aName, std::string_view aDomain) const {
  if (const auto* cookies = DomainCookies(LowerCase(aDomain))) {
    for (TIdCookie* cookie : *cookies) {
      if (SameText(cookie->FName, aName)) return cookie;
    }
  }
  return nullptr;
}

TIdCookie& TIdCookies::Cookies(int aIndex) const {
  if (aIndex < 0 || static_cast<size_t>(aIndex) >= FCookieList.size()) {
    throw EListError::IndexOutOfBounds(aIndex);
  }
  return *FCookieList[static_cast<size_t>(aIndex)];
}

TIdCookieList& TIdCookies::LockCookieList(TIdCookieAccess aAccessType) {
  if (aAccessType == caRead) {
    FRWLock.lock_shared();
  } else {
    FRWLock.lock();
  }
  return FCookieList;
}

void TIdCookies::UnlockCookieList(TIdCookieAccess aAccessType) {
  if (aAccessType == caRead) {
    FRWLock.unlock_shared();
  } else {
    // The holder may have changed anything: the cookies are filed anew.
    RebuildIndexes();
    FRWLock.unlock();
  }
}

}  // namespace qtx
