#pragma once
// SOCKS 4, 4A and 5 tunnelling (connect only), with no authentication or
// with user name and password.

#include "transport/qtxIdCustomTransparentProxy.h"

namespace qtx {

enum TSocksVersion { svNoSocks = 0, svSocks4 = 1, svSocks4A = 2, svSocks5 = 3 };
enum TSocksAuthentication { saNoAuthentication = 0, saUsernamePassword = 1 };

constexpr TIdPort IdSocksDefaultPort = 1080;

class EIdSocksError : public EIdException { using EIdException::EIdException; };
// SOCKS 4 replies.
class EIdSocksRequestFailed : public EIdSocksError {
public:
  EIdSocksRequestFailed() : EIdSocksError("Request rejected or failed.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksRequestServerFailed : public EIdSocksError {
public:
  EIdSocksRequestServerFailed() : EIdSocksError("Request rejected because SOCKS server cannot connect.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksRequestIdentFailed : public EIdSocksError {
public:
  EIdSocksRequestIdentFailed() : EIdSocksError("Request rejected because the client program and identd report different user-ids.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksUnknownError : public EIdSocksError {
public:
  EIdSocksUnknownError() : EIdSocksError("Unknown socks error.") {}
  using EIdSocksError::EIdSocksError;
};
// SOCKS 5 negotiation and replies.
class EIdSocksServerRespondError : public EIdSocksError {
public:
  EIdSocksServerRespondError() : EIdSocksError("Socks server did not respond.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksAuthMethodError : public EIdSocksError {
public:
  EIdSocksAuthMethodError() : EIdSocksError("Invalid socks authentication method.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksAuthError : public EIdSocksError {
public:
  EIdSocksAuthError() : EIdSocksError("Authentication error to socks server.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerGeneralError : public EIdSocksError {
public:
  EIdSocksServerGeneralError() : EIdSocksError("General SOCKS server failure.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerPermissionError : public EIdSocksError {
public:
  EIdSocksServerPermissionError() : EIdSocksError("Connection not allowed by ruleset.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerNetUnreachableError : public EIdSocksError {
public:
  EIdSocksServerNetUnreachableError() : EIdSocksError("Network unreachable.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerHostUnreachableError : public EIdSocksError {
public:
  EIdSocksServerHostUnreachableError() : EIdSocksError("Host unreachable.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerConnectionRefusedError : public EIdSocksError {
public:
  EIdSocksServerConnectionRefusedError() : EIdSocksError("Connection refused.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerTTLExpiredError : public EIdSocksError {
public:
  EIdSocksServerTTLExpiredError() : EIdSocksError("TTL expired.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerCommandError : public EIdSocksError {
public:
  EIdSocksServerCommandError() : EIdSocksError("Command not supported.") {}
  using EIdSocksError::EIdSocksError;
};
class EIdSocksServerAddressError : public EIdSocksError {
public:
  EIdSocksServerAddressError() : EIdSocksError("Address type not supported.") {}
  using EIdSocksError::EIdSocksError;
};
// A SOCKS 5 reply of another version.
class EIdSocksVersionError : public EIdSocksError {
public:
  EIdSocksVersionError() : EIdSocksError("The SOCKS server answered with another version.") {}
  using EIdSocksError::EIdSocksError;
};
// A target host name longer than the 255 bytes SOCKS 5 can carry.
class EIdSocksHostNameTooLong : public EIdSocksError {
public:
  EIdSocksHostNameTooLong() : EIdSocksError("Host name too long for SOCKS 5 (more than 255 bytes).") {}
  using EIdSocksError::EIdSocksError;
};

class TIdSocksInfo : public TIdCustomTransparentProxy {
public:
  explicit TIdSocksInfo(TComponent* aOwner = nullptr);

  std::string ClassName() const override { return "TIdSocksInfo"; }
  std::unique_ptr<TIdCustomTransparentProxy> Clone(TComponent* aOwner) const override;
  // Also copies Authentication and Version from another SOCKS proxy.
  void Assign(const TIdCustomTransparentProxy& aSource) override;

  // True exactly for the versions svSocks4, svSocks4A and svSocks5; setting
  // it does nothing.
  bool Enabled() const override;
  void SetEnabled(bool) override {}

  TSocksAuthentication Authentication() const noexcept { return FAuthentication; }
  void SetAuthentication(TSocksAuthentication aValue) { FAuthentication = aValue; }
  TSocksVersion Version() const noexcept { return FVersion; }
  void SetVersion(TSocksVersion aValue) { FVersion = aValue; }

protected:
  void OpenTunnel(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort,
                  TIdIPVersion aIPVersion) override;

private:
  void Socks4Connect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort);
  void Socks5Negotiate(TIdIOHandler& aIOHandler);
  void Socks5Connect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort);
  TIdBytes Socks5EncodeAddress(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort) const;

  TSocksAuthentication FAuthentication = saNoAuthentication;
  TSocksVersion FVersion = svNoSocks;
};

}  // namespace qtx
