#pragma once
// HTTP cookies (RFC 6265): one cookie parsed from a "Set-Cookie" or
// "Cookie" value, and the store of accepted cookies that several threads may
// read while one changes it.

#include <atomic>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "http/qtxIdURI.h"
#include "platform/qtxStrings.h"
#include "platform/qtxTypes.h"

namespace qtx {

class TIdCookies;

// What the store keeps at most (RFC 6265, section 6.1). Past a count limit the
// least recently used cookies give way.
constexpr size_t IdMaxCookieBytes = 4096;  // of name and value together
constexpr size_t IdMaxCookieAttributeBytes = 1024;  // a longer attribute value is ignored
constexpr size_t IdMaxCookiesPerDomain = 50;
constexpr size_t IdMaxCookies = 3000;

// Reads a cookie date by the algorithm of RFC 6265, section 5.1.1, into UTC.
// False when the text holds no valid date.
bool TryCookieDateToDateTimeGMT(std::string_view aText, TDateTime& aUTC);

// Host names in a domain: equal, or the host ends with "." and the domain.
// A host that is an IP address matches only itself.
bool IsDomainMatch(std::string_view aHost, std::string_view aDomain);
// A request path within a cookie path: equal, or below it at a "/".
bool IsPathMatch(std::string_view aURIPath, std::string_view aCookiePath);

class TIdCookie {
public:
  explicit TIdCookie(TIdCookies* aCollection = nullptr);
  TIdCookie(const TIdCookie&) = delete;
  TIdCookie& operator=(const TIdCookie&) = delete;

  // Copies every field except SameSite.
  void Assign(const TIdCookie& aSource);

  // A "Set-Cookie" value received for aURI; false when it must be refused:
  // besides the domain and protocol rules, a name or value with a control
  // character, a name and value longer than IdMaxCookieBytes, a Domain that
  // is a public suffix other than the host itself, and a Secure cookie from
  // a connection that is not secure.
  bool ParseServerCookie(std::string_view aCookieText, const TIdURI& aURI);
  // One "name=value" pair of a "Cookie" value.
  void ParseClientCookie(std::string_view aCookieText);
  // Whether the cookie goes with a request for aURI; Secure cookies only
  // when aSecureOnly (the connection is secure).
  bool IsAllowed(const TIdURI& aURI, bool aSecureOnly) const;

  TIdCookies* Collection() const noexcept { return FCollection; }

  const std::string& CookieName() const noexcept { return FName; }
  void SetCookieName(std::string aValue) { FName = std::move(aValue); }
  const std::string& Value() const noexcept { return FValue; }
  void SetValue(std::string aValue) { FValue = std::move(aValue); }
  const std::string& Domain() const noexcept { return FDomain; }
  void SetDomain(std::string aValue) { FDomain = std::move(aValue); }
  const std::string& Path() const noexcept { return FPath; }
  void SetPath(std::string aValue) { FPath = std::move(aValue); }
  // Local date-time; 0 means none.
  TDateTime Expires() const noexcept { return FExpires; }
  void SetExpires(TDateTime aValue) noexcept { FExpires = aValue; }
  bool Secure() const noexcept { return FSecure; }
  void SetSecure(bool aValue) noexcept { FSecure = aValue; }
  bool HttpOnly() const noexcept { return FHttpOnly; }
  void SetHttpOnly(bool aValue) noexcept { FHttpOnly = aValue; }
  bool HostOnly() const noexcept { return FHostOnly; }
  void SetHostOnly(bool aValue) noexcept { FHostOnly = aValue; }
  bool Persistent() const noexcept { return FPersistent; }
  void SetPersistent(bool aValue) noexcept { FPersistent = aValue; }
  TDateTime CreatedAt() const noexcept { return FCreatedAt; }
  void SetCreatedAt(TDateTime aValue) noexcept { FCreatedAt = aValue; }
  // Set by readers of the store, so kept atomically.
  TDateTime LastAccessed() const noexcept { return FLastAccessed.load(); }
  void SetLastAccessed(TDateTime aValue) noexcept { FLastAccessed.store(aValue); }
  const std::string& SameSite() const noexcept { return FSameSite; }
  void SetSameSite(std::string aValue) { FSameSite = std::move(aValue); }

  // "name=value".
  std::string ClientCookie() const;
  // The "Set-Cookie" form with the attributes that are set.
  std::string CookieText() const;
  std::string ServerCookie() const { return CookieText(); }
  // Whole seconds until Expires; -1 without one.
  int64_t MaxAge() const;
  bool IsExpired() const;
  // A name and value the store may keep: not too long, no control character
  // (a tab aside) that could end up raw in a request header.
  bool IsStorable() const noexcept;

private:
  friend class TIdCookies;

  bool IsExpiredAt(TDateTime aNow) const noexcept { return FExpires != 0 && FExpires < aNow; }

  TIdCookies* FCollection;
  std::string FName;
  std::string FValue;
  std::string FDomain;
  std::string FPath;
  TDateTime FExpires = 0;
  bool FSecure = false;
  bool FHttpOnly = false;
  bool FHostOnly = false;
  bool FPersistent = false;
  TDateTime FCreatedAt;
  std::atomic<TDateTime> FLastAccessed;
  std::string FSameSite = "Lax";
  // Where the store filed the cookie.
  uint64_t FSequence = 0;    // its place in the list: larger is later
  std::string FDomainKey;    // the domain, lower-cased
  TDateTime FUseKey = 0;     // the last access the use index knows of
};

enum TIdCookieAccess { caRead, caReadWrite };

// A deque: the least recently used cookies, which make room, are mostly the
// oldest, at its front.
using TIdCookieList = std::deque<std::unique_ptr<TIdCookie>>;

// The accepted cookies in the order they were stored, guarded by a
// multi-reader/single-writer lock. The operations below take the lock
// themselves, except the index look-ups, which work on the list a caller
// holds through LockCookieList. Cookies are also filed by domain and by last
// use, so that storing, replacing and finding one, and collecting those of a
// request, do not walk the whole store. A caller that changes the list or a
// cookie's name, domain or path does so through LockCookieList(caReadWrite);
// unlocking it files the cookies anew.
class TIdCookies {
public:
  TIdCookies() = default;
  TIdCookies(const TIdCookies&) = delete;
  TIdCookies& operator=(const TIdCookies&) = delete;

  // Stores aCookie. With aReplaceOld a stored cookie of the same name, domain
  // and path gives way to it (and passes on its creation time), unless it is
  // HttpOnly and aURI is not http or https. A cookie from a URI that is not
  // secure may neither replace nor shadow a Secure one (of the same name, for
  // the same or a parent domain, at or below its path). An expired cookie is
  // not kept, so an expired Set-Cookie deletes the stored one; nor is one
  // that is not storable. Past the limits the least recently used cookies of
  // the domain, then of the store, are dropped. True when kept.
  bool AddCookie(std::unique_ptr<TIdCookie> aCookie, const TIdURI* aURI, bool aReplaceOld = true);
  bool AddServerCookie(std::string_view aCookie, const TIdURI& aURI);
  void AddServerCookies(const TStrings& aCookies, const TIdURI& aURI);
  bool AddClientCookie(std::string_view aCookie);
  // A "Cookie" value: pairs separated by ";".
  void AddClientCookies(std::string_view aCookies);
  void AddClientCookies(const TStrings& aCookies);
  // Copies every cookie of another store.
  void AddCookies(const TIdCookies& aSource);
  void Assign(const TIdCookies& aSource);
  void Clear();
  int Count() const;
  // Removes every expired cookie.
  void RemoveExpired();
  // Copies of the cookies for aURI in sending order (longer path first, then
  // earlier creation), each marked as accessed now.
  std::vector<std::string> ClientCookiesFor(const TIdURI& aURI, bool aSecureOnly);

  // Case-insensitive look-ups from aFirstIndex; -1 when absent.
  int GetCookieIndex(std::string_view aName, int aFirstIndex = 0) const;
  int GetCookieIndex(std::string_view aName, std::string_view aDomain, int aFirstIndex = 0) const;
  TIdCookie* GetCookieByNameAndDomain(std::string_view aName, std::string_view aDomain) const;
  TIdCookie& Cookies(int aIndex) const;

  TIdCookieList& LockCookieList(TIdCookieAccess aAccessType);
  void UnlockCookieList(TIdCookieAccess aAccessType);

private:
  using TDomainIndex = std::unordered_map<std::string, std::vector<TIdCookie*>>;
  using TUseIndex = std::map<std::pair<TDateTime, uint64_t>, TIdCookie*>;

  bool AddCookieLocked(std::unique_ptr<TIdCookie> aCookie, const TIdURI* aURI, bool aReplaceOld);
  void Index(TIdCookie& aCookie);
  void Unindex(const TIdCookie& aCookie);
  void RebuildIndexes();
  void Remove(const TIdCookie& aCookie);
  void RemoveExpiredLocked(TDateTime aNow);
  // Drops the least recently used cookies past the limits; false when
  // aAdded was one of them.
  bool EnforceLimits(const TIdCookie& aAdded);
  // The cookies filed under a domain (lower-cased), in list order; null for none.
  const std::vector<TIdCookie*>* DomainCookies(const std::string& aDomainKey) const;
  TIdCookie* FindSameCookie(const TIdCookie& aCookie) const;
  bool ShadowsSecureCookie(const TIdCookie& aCookie) const;
  size_t PositionOf(const TIdCookie& aCookie) const;

  TIdCookieList FCookieList;
  TDomainIndex FByDomain;
  TUseIndex FByUse;
  uint64_t FNextSequence = 0;
  TDateTime FEarliestExpiry = std::numeric_limits<TDateTime>::infinity();  // none expires before it
  mutable std::shared_mutex FRWLock;
};

}  // namespace qtx
