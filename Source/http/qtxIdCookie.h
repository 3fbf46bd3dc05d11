#pragma once
// HTTP cookies (RFC 6265): one cookie parsed from a "Set-Cookie" or
// "Cookie" value, and the store of accepted cookies that several threads may
// read while one changes it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/qtxIdURI.h"
#include "platform/qtxStrings.h"
#include "platform/qtxTypes.h"

namespace qtx {

class TIdCookies;

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

  // A "Set-Cookie" value received for aURI; false when it must be refused.
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

private:
  friend class TIdCookies;

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
};

enum TIdCookieAccess { caRead, caReadWrite };

using TIdCookieList = std::vector<std::unique_ptr<TIdCookie>>;

// The accepted cookies, guarded by a multi-reader/single-writer lock. The
// operations below take the lock themselves, except the index look-ups,
// which work on the list a caller holds through LockCookieList.
class TIdCookies {
public:
  TIdCookies() = default;
  TIdCookies(const TIdCookies&) = delete;
  TIdCookies& operator=(const TIdCookies&) = delete;

  // Stores aCookie. With aReplaceOld a stored cookie of the same name, domain
  // and path gives way to it (and passes on its creation time), unless it is
  // HttpOnly and aURI is not http or https. An expired cookie is not kept,
  // so an expired Set-Cookie deletes the stored one. True when kept.
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
  bool AddCookieLocked(std::unique_ptr<TIdCookie> aCookie, const TIdURI* aURI, bool aReplaceOld);

  TIdCookieList FCookieList;
  mutable std::shared_mutex FRWLock;
};

}  // namespace qtx
