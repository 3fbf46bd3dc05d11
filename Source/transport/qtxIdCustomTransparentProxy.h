#pragma once
// A transparent proxy: after the TCP connection to the proxy is made, it
// speaks the proxy's protocol on that connection so that from then on the
// connection is a tunnel to the real target. Proxies can be chained; a proxy
// object holds configuration only, no connection state.

#include <memory>
#include <string>

#include "core/qtxIdComponent.h"
#include "core/qtxIdException.h"
#include "core/qtxIdIPVersion.h"
#include "transport/qtxIdStack.h"

namespace qtx {

class TIdIOHandler;
class TIdSocketHandle;

class EIdTransparentProxyCircularLink : public EIdException {
public:
  // "%s: Circular links are not allowed" with the class name.
  explicit EIdTransparentProxyCircularLink(const std::string& aClassName);
};
class EIdTransparentProxyCantBind : public EIdException {
public:
  EIdTransparentProxyCantBind();
};
class EIdTransparentProxyUDPNotSupported : public EIdException {
public:
  EIdTransparentProxyUDPNotSupported();
};

class TIdCustomTransparentProxy : public TIdComponent {
public:
  explicit TIdCustomTransparentProxy(TComponent* aOwner = nullptr);
  ~TIdCustomTransparentProxy() override;

  virtual std::string ClassName() const = 0;
  // A new proxy of the same class, owned by aOwner, with this one's settings.
  virtual std::unique_ptr<TIdCustomTransparentProxy> Clone(TComponent* aOwner) const = 0;
  // Copies Host, Password, Port, IPVersion and Username.
  virtual void Assign(const TIdCustomTransparentProxy& aSource);

  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool aValue) = 0;

  // Turns a connection to this proxy into a tunnel to aHost:aPort, through
  // the chained proxy when that is enabled.
  virtual void Connect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort, TIdIPVersion aIPVersion);
  // Server-side and datagram operations; none is supported by this base.
  virtual void Bind(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort, TIdIPVersion aIPVersion);
  // Binds to "0.0.0.0".
  void Bind(TIdIOHandler& aIOHandler, TIdPort aPort);
  virtual bool Listen(TIdIOHandler& aIOHandler, int aTimeout);
  virtual void OpenUDP(TIdSocketHandle& aHandle, const std::string& aHost, TIdPort aPort, TIdIPVersion aIPVersion);
  virtual void CloseUDP(TIdSocketHandle& aHandle);
  virtual int RecvFromUDP(TIdSocketHandle& aHandle, TIdBytes& aBuffer, std::string& aPeerIP, TIdPort& aPeerPort,
                          TIdIPVersion& aIPVersion, int aTimeout);
  virtual void SendToUDP(TIdSocketHandle& aHandle, const std::string& aHost, TIdPort aPort, TIdIPVersion aIPVersion,
                         const TIdBytes& aBuffer);

  const std::string& Host() const noexcept { return FHost; }
  void SetHost(std::string aValue) { FHost = std::move(aValue); }
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(std::string aValue) { FPassword = std::move(aValue); }
  TIdPort Port() const noexcept { return FPort; }
  void SetPort(TIdPort aValue) { FPort = aValue; }
  TIdIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TIdIPVersion aValue) { FIPVersion = aValue; }
  const std::string& Username() const noexcept { return FUsername; }
  void SetUsername(std::string aValue) { FUsername = std::move(aValue); }
  TIdCustomTransparentProxy* ChainedProxy() const noexcept { return FChainedProxy; }
  // A chain that leads back to this proxy raises EIdTransparentProxyCircularLink.
  void SetChainedProxy(TIdCustomTransparentProxy* aValue);

protected:
  // The protocol step on a connection to this proxy.
  virtual void OpenTunnel(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort,
                          TIdIPVersion aIPVersion) = 0;
  void Notification(TComponent* aComponent, TOperation aOperation) override;

  std::string FHost;
  std::string FPassword;
  TIdPort FPort = 0;
  TIdIPVersion FIPVersion = Id_IPv4;
  std::string FUsername;
  TIdCustomTransparentProxy* FChainedProxy = nullptr;
};

}  // namespace qtx
