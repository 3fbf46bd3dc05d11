#include "client/qtxHTTP_AuthToken.h"

namespace qtx {

TqtxOnAuthToken TqtxHTTPComponentClientAuthToken_Base::OnAuthToken() const {
  std::lock_guard guard(FHandlerLock);
  return FOnAuthToken;
}

void TqtxHTTPComponentClientAuthToken_Base::SetOnAuthToken(TqtxOnAuthToken aHandler) {
  std::lock_guard guard(FHandlerLock);
  FOnAuthToken = std::move(aHandler);
}

TqtxOnAuthTokenError TqtxHTTPComponentClientAuthToken_Base::OnAuthTokenError() const {
  std::lock_guard guard(FHandlerLock);
  return FOnAuthTokenError;
}

void TqtxHTTPComponentClientAuthToken_Base::SetOnAuthTokenError(TqtxOnAuthTokenError aHandler) {
  std::lock_guard guard(FHandlerLock);
  FOnAuthTokenError = std::move(aHandler);
}

void TqtxHTTPComponentClientAuthToken_Base::FireAuthToken(const std::string& aTokenType, const std::string& aToken,
                                                          const std::string& aData) {
  if (const TqtxOnAuthToken handler = OnAuthToken()) handler(*this, aTokenType, aToken, aData);
}

void TqtxHTTPComponentClientAuthToken_Base::FireAuthTokenError(const std::string& aError,
                                                               const std::string& aErrorDescription,
                                                               const std::string& aData) {
  if (const TqtxOnAuthTokenError handler = OnAuthTokenError()) handler(*this, aError, aErrorDescription, aData);
}

}  // namespace qtx
