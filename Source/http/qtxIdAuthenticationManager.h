#pragma once
// Collects the authentications that completed, with the URL they were made for.

#include <memory>
#include <vector>

#include "http/qtxIdAuthentication.h"
#include "http/qtxIdURI.h"
#include "platform/qtxComponent.h"
#include "platform/qtxStrings.h"

namespace qtx {

class TIdAuthenticationItem {
public:
  TIdURI& URL() noexcept { return FURL; }
  const TIdURI& URL() const noexcept { return FURL; }
  void SetURL(const TIdURI& aValue) { FURL = aValue; }
  // The scheme's parameters as name=value pairs ("Username", "Password", ...).
  TStringList& Params() noexcept { return FParams; }
  const TStringList& Params() const noexcept { return FParams; }
  void SetParams(const TStrings& aValue) { FParams.Assign(aValue); }

private:
  TIdURI FURL;
  TStringList FParams;
};

class TIdAuthenticationCollection {
public:
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TIdAuthenticationItem& Add();
  TIdAuthenticationItem& Items(int aIndex);
  const TIdAuthenticationItem& Items(int aIndex) const;
  void Clear() noexcept { FItems.clear(); }

private:
  std::vector<std::unique_ptr<TIdAuthenticationItem>> FItems;
};

class TIdAuthenticationManager : public TComponent {
public:
  explicit TIdAuthenticationManager(TComponent* aOwner = nullptr) : TComponent(aOwner) {}

  // Adds the URL (without credentials and bookmark) and a copy of the
  // scheme's parameters.
  void AddAuthentication(const TIdAuthentication& aAuthentication, const TIdURI& aURL);

  TIdAuthenticationCollection& Authentications() noexcept { return FAuthentications; }
  const TIdAuthenticationCollection& Authentications() const noexcept { return FAuthentications; }

private:
  TIdAuthenticationCollection FAuthentications;
};

}  // namespace qtx
