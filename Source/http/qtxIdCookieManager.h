#pragma once
// The cookie manager of the HTTP client: stores the cookies that answers set
// and produces the "Cookie" header of each request.

#include <functional>
#include <memory>
#include <string>

#include "http/qtxIdCookie.h"
#include "http/qtxIdHeaderList.h"
#include "platform/qtxComponent.h"

namespace qtx {

class TIdCookieManager : public TComponent {
public:
  using TOnCookieManagerEvent = std::function<void(TIdCookieManager& aSender, TIdCookies& aCookieCollection)>;
  using TOnNewCookieEvent = std::function<void(TIdCookieManager& aSender, TIdCookie& aCookie, bool& VAccept)>;

  // aOnCreate is told of the new store as the manager is built.
  explicit TIdCookieManager(TComponent* aOwner = nullptr, TOnCookieManagerEvent aOnCreate = nullptr);
  ~TIdCookieManager() override;

  TIdCookies& CookieCollection() noexcept { return *FCookieCollection; }

  // Adds one "Cookie" line to aHeaders with the cookies for aURI (Secure
  // ones only when aSecureOnly), after dropping every expired cookie.
  void GenerateClientCookies(const TIdURI& aURI, bool aSecureOnly, TIdHeaderList& aHeaders);
  // A "Set-Cookie" value received for aURI, kept when it parses and
  // OnNewCookie accepts it.
  bool AddServerCookie(const std::string& aCookie, const TIdURI& aURI);
  void AddServerCookies(const TStrings& aCookies, const TIdURI& aURI);
  void AddCookies(const TIdCookieManager& aSource);
  // Stores a copy of aCookie, replacing one of the same name, domain and path.
  bool CopyCookie(const TIdCookie& aCookie);

  TOnCookieManagerEvent OnCreate;
  TOnCookieManagerEvent OnDestroy;
  TOnNewCookieEvent OnNewCookie;

protected:
  virtual void DoOnCreate();
  virtual void DoOnDestroy();
  // Whether a newly received cookie may be stored.
  virtual bool DoOnNewCookie(TIdCookie& aCookie);

private:
  std::unique_ptr<TIdCookies> FCookieCollection;
};

}  // namespace qtx
