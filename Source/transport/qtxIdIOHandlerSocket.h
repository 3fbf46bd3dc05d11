#pragma once
// The IO handler over one socket: it holds the socket and its bind settings,
// binds and connects it (through a transparent proxy when one is enabled)
// and tells whether the connection is still there.

#include <functional>
#include <memory>

#include "transport/qtxIdCustomTransparentProxy.h"
#include "transport/qtxIdIOHandler.h"
#include "transport/qtxIdIOHandlerRegistry.h"
#include "transport/qtxIdSocketHandle.h"

namespace qtx {

using TIdNotifyEvent = std::function<void(TComponent& aSender)>;

class EIdConnectTimeout : public EIdException {
public:
  EIdConnectTimeout();
};

// The registry entry of the (abstract) socket handler class.
const TIdIOHandlerClass& IdIOHandlerSocketClass();

class TIdIOHandlerSocket : public TIdIOHandler {
public:
  explicit TIdIOHandlerSocket(TComponent* aOwner = nullptr);
  ~TIdIOHandlerSocket() override;

  // The base Open, then the socket is reset (its local address kept) or
  // created, given the client port range, and connected when a host and a
  // positive port are set.
  void Open() override;
  void Close() override;
  // The socket is allocated and the base rule holds, or unread input remains.
  bool Connected() override;
  bool BindingAllocated() const noexcept { return FBinding && FBinding->HandleAllocated(); }
  // The socket; null before the first Open.
  TIdSocketHandle* Binding() const noexcept { return FBinding.get(); }

  // The proxy; asked for while there is none, a disabled SOCKS proxy is
  // created and owned by the handler.
  TIdCustomTransparentProxy& TransparentProxy();
  // A proxy with an owner is referenced; one without is copied into a proxy
  // of the same class that the handler owns. Null removes the proxy.
  virtual void SetTransparentProxy(TIdCustomTransparentProxy* aProxy);

  const std::string& BoundIP() const noexcept { return FBoundIP; }
  void SetBoundIP(std::string aValue) { FBoundIP = std::move(aValue); }
  TIdPort BoundPort() const noexcept { return FBoundPort; }
  void SetBoundPort(TIdPort aValue) { FBoundPort = aValue; }
  TIdPort BoundPortMin() const noexcept { return FBoundPortMin; }
  void SetBoundPortMin(TIdPort aValue) { FBoundPortMin = aValue; }
  TIdPort BoundPortMax() const noexcept { return FBoundPortMax; }
  void SetBoundPortMax(TIdPort aValue) { FBoundPortMax = aValue; }
  // Used only to format Destination.
  TIdPort DefaultPort() const noexcept { return FDefaultPort; }
  void SetDefaultPort(TIdPort aValue) { FDefaultPort = aValue; }
  TIdIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TIdIPVersion aValue) { FIPVersion = aValue; }
  TIdReuseSocket ReuseSocket() const noexcept { return FReuseSocket; }
  void SetReuseSocket(TIdReuseSocket aValue);
  bool UseNagle() const noexcept { return FUseNagle; }
  void SetUseNagle(bool aValue);
  int LingerState() const noexcept { return FLingerState; }
  void SetLingerState(int aValue);

  TIdNotifyEvent OnBeforeBind;
  TIdNotifyEvent OnAfterBind;
  TIdNotifyEvent OnSocketAllocated;

protected:
  // Allocates and binds the socket; descendants resolve and connect it.
  virtual void ConnectToPeer();
  virtual void DoBeforeBind();
  virtual void DoAfterBind();
  virtual void DoSocketAllocated();
  // The proxy that carries the connection, when there is an enabled one.
  TIdCustomTransparentProxy* EnabledProxy() const;
  void Notification(TComponent* aComponent, TOperation aOperation) override;

  std::unique_ptr<TIdSocketHandle> FBinding;

private:
  std::string FBoundIP;
  TIdPort FBoundPort = 0;
  TIdPort FBoundPortMax = 0;
  TIdPort FBoundPortMin = 0;
  TIdPort FDefaultPort = 0;
  TIdCustomTransparentProxy* FTransparentProxy = nullptr;
  std::unique_ptr<TIdCustomTransparentProxy> FImplicitTransparentProxy;
  bool FUseNagle = true;
  TIdReuseSocket FReuseSocket = rsOSDependent;
  TIdIPVersion FIPVersion = Id_IPv4;
  int FLingerState = -1;
};

}  // namespace qtx
