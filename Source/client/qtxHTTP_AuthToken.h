#pragma once
// Token sources: components that obtain a bearer token (by OAuth 2, or as
// a JSON Web Token) for the HTTP client to send. A source is started and
// returns at once; the token, or the reason there is none, arrives later
// through its events, on whatever thread the source works on.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "client/qtxHTTP_Classes.h"

namespace qtx {

using TqtxOnAuthToken = std::function<void(TComponent& aSender, const std::string& aTokenType,
                                           const std::string& aToken, const std::string& aData)>;
using TqtxOnAuthTokenError = std::function<void(TComponent& aSender, const std::string& aError,
                                                const std::string& aErrorDescription, const std::string& aData)>;

class TqtxHTTPComponentClientAuthToken_Base : public TqtxHTTPComponentClient_Base {
public:
  using TqtxHTTPComponentClient_Base::TqtxHTTPComponentClient_Base;

  // Begins obtaining a token and returns at once (or after firing an event
  // itself, when it can answer at once).
  virtual void Start() = 0;

  // The handlers may be replaced while a source's thread fires them: each
  // firing calls the handler that was set when it began.
  TqtxOnAuthToken OnAuthToken() const;
  void SetOnAuthToken(TqtxOnAuthToken aHandler);
  TqtxOnAuthTokenError OnAuthTokenError() const;
  void SetOnAuthTokenError(TqtxOnAuthTokenError aHandler);

protected:
  // For the sources: deliver the outcome of Start. An exception of the
  // handler propagates to the caller.
  void FireAuthToken(const std::string& aTokenType, const std::string& aToken, const std::string& aData = {});
  void FireAuthTokenError(const std::string& aError, const std::string& aErrorDescription,
                          const std::string& aData = {});

private:
  mutable std::mutex FHandlerLock;
  TqtxOnAuthToken FOnAuthToken;
  TqtxOnAuthTokenError FOnAuthTokenError;
};

// An OAuth 2 client as a token source.
class TqtxHTTPComponentClient_OAuth : public TqtxHTTPComponentClientAuthToken_Base {
public:
  using TqtxHTTPComponentClientAuthToken_Base::TqtxHTTPComponentClientAuthToken_Base;
};

class TqtxHTTP_JWT_Client_Options {
public:
  // Seconds after which a token from this source is fetched again.
  uint32_t RefreshTokenAfter() const noexcept { return FRefreshTokenAfter; }
  void SetRefreshTokenAfter(uint32_t aValue) noexcept { FRefreshTokenAfter = aValue; }

private:
  uint32_t FRefreshTokenAfter = 3600;
};

// A JSON Web Token client as a token source: its tokens last
// JWTOptions.RefreshTokenAfter seconds.
class TqtxHTTPComponentClient_JWT : public TqtxHTTPComponentClientAuthToken_Base {
public:
  using TqtxHTTPComponentClientAuthToken_Base::TqtxHTTPComponentClientAuthToken_Base;

  TqtxHTTP_JWT_Client_Options& JWTOptions() noexcept { return FJWTOptions; }
  const TqtxHTTP_JWT_Client_Options& JWTOptions() const noexcept { return FJWTOptions; }
  void SetJWTOptions(const TqtxHTTP_JWT_Client_Options& aValue) { FJWTOptions = aValue; }

private:
  TqtxHTTP_JWT_Client_Options FJWTOptions;
};

}  // namespace qtx
