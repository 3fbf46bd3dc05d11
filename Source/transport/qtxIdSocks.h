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
class EIdSocksRequestFailed : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksRequestServerFailed : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksRequestIdentFailed : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksUnknownError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
// SOCKS 5 negotiation and replies.
class EIdSocksServerRespondError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksAuthMethodError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksAuthError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerGeneralError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerPermissionError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerNetUnreachableError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerHostUnreachableError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerConnectionRefusedError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerTTLExpiredError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerCommandError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
class EIdSocksServerAddressError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
// A SOCKS 5 reply of another version.
class EIdSocksVersionError : public EIdSocksError { using EIdSocksError::EIdSocksError; };
// A target host name longer than the 255 bytes SOCKS 5 can carry.
class EIdSocksHostNameTooLong : public EIdSocksError { using EIdSocksError::EIdSocksError; };

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
