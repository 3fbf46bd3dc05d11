#pragma once
// Tunnelling through an HTTP proxy with CONNECT, with Basic proxy
// authentication sent when the proxy asks for it (status 407).

#include "transport/qtxIdCustomTransparentProxy.h"

namespace qtx {

// The proxy refused the tunnel; the message is its status line.
class EIdHttpProxyError : public EIdException { using EIdException::EIdException; };

class TIdConnectThroughHttpProxy : public TIdCustomTransparentProxy {
public:
  explicit TIdConnectThroughHttpProxy(TComponent* aOwner = nullptr);

  std::string ClassName() const override { return "TIdConnectThroughHttpProxy"; }
  std::unique_ptr<TIdCustomTransparentProxy> Clone(TComponent* aOwner) const override;
  // Also copies Enabled from another HTTP proxy.
  void Assign(const TIdCustomTransparentProxy& aSource) override;

  bool Enabled() const override { return FEnabled; }
  void SetEnabled(bool aValue) override { FEnabled = aValue; }

protected:
  void OpenTunnel(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort,
                  TIdIPVersion aIPVersion) override;

private:
  void SendHttpConnect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort, bool aWithCredentials);

  bool FEnabled = false;
  // Set while the connection is made again to send the credentials.
  bool FAuthorizationRequired = false;
};

}  // namespace qtx
