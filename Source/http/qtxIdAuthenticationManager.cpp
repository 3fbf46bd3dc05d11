#include "http/qtxIdAuthenticationManager.h"

namespace qtx {

TIdAuthenticationItem& TIdAuthenticationCollection::Add() {
  return *FItems.emplace_back(std::make_unique<TIdAuthenticationItem>());
}

TIdAuthenticationItem& TIdAuthenticationCollection::Items(int aIndex) {
  return *FItems.at(static_cast<size_t>(aIndex));
}

const TIdAuthenticationItem& TIdAuthenticationCollection::Items(int aIndex) const {
  return *FItems.at(static_cast<size_t>(aIndex));
}

void TIdAuthenticationManager::AddAuthentication(const TIdAuthentication& aAuthentication, const TIdURI& aURL) {
  TIdURI url(aURL);
  TIdAuthenticationItem& item = FAuthentications.Add();
  item.URL().SetURI(url.URI());
  aAuthentication.Params().ConvertToStdValues(item.Params());
}

}  // namespace qtx
