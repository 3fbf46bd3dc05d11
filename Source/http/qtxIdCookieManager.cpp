#include "http/qtxIdCookieManager.h"

namespace qtx {

namespace {
const char* const SCookieHeader = "Cookie";
const char* const SCookieSeparator = "; ";
}  // namespace

TIdCookieManager::TIdCookieManager(TComponent* aOwner, TOnCookieManagerEvent aOnCreate)
    : TComponent(aOwner), OnCreate(std::move(aOnCreate)), FCookieCollection(std::make_unique<TIdCookies>()) {
  DoOnCreate();
}

TIdCookieManager::~TIdCookieManager() {
  Destroying();
  DoOnDestroy();
}

void TIdCookieManager::DoOnCreate() {
  if (OnCreate) OnCreate(*this, *FCookieCollection);
}

void TIdCookieManager::DoOnDestroy() {
  if (OnDestroy) OnDestroy(*this, *FCookieCollection);
}

bool TIdCookieManager::DoOnNewCookie(TIdCookie& aCookie) {
  bool accept = true;
  if (OnNewCookie) OnNewCookie(*this, aCookie, accept);
  return accept;
}

void TIdCookieManager::GenerateClientCookies(const TIdURI& aURI, bool aSecureOnly, TIdHeaderList& aHeaders) {
  FCookieCollection->RemoveExpired();
  const std::vector<std::string> pairs = FCookieCollection->ClientCookiesFor(aURI, aSecureOnly);
  if (pairs.empty()) return;
  std::string value;
  for (const std::string& pair : pairs) {
    if (!value.empty()) value += SCookieSeparator;
    value += pair;
  }
  aHeaders.AddValue(SCookieHeader, value);
}

bool TIdCookieManager::AddServerCookie(const std::string& aCookie, const TIdURI& aURI) {
  auto cookie = std::make_unique<TIdCookie>(FCookieCollection.get());
  if (!cookie->ParseServerCookie(aCookie, aURI) || !DoOnNewCookie(*cookie)) return false;
  return FCookieCollection->AddCookie(std::move(cookie), &aURI, true);
}

void TIdCookieManager::AddServerCookies(const TStrings& aCookies, const TIdURI& aURI) {
  for (int i = 0; i < aCookies.Count(); ++i) AddServerCookie(aCookies[i], aURI);
}

void TIdCookieManager::AddCookies(const TIdCookieManager& aSource) {
  FCookieCollection->AddCookies(*aSource.FCookieCollection);
}

bool TIdCookieManager::CopyCookie(const TIdCookie& aCookie) {
  auto copy = std::make_unique<TIdCookie>(FCookieCollection.get());
  copy->Assign(aCookie);
  copy->SetSameSite(aCookie.SameSite());
  return FCookieCollection->AddCookie(std::move(copy), nullptr, true);
}

}  // namespace qtx
