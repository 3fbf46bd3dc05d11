#include "transport/qtxIdCustomTransparentProxy.h"

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
const char* const RSTransparentProxyCircularLink = "%s: Circular links are not allowed";
const char* const RSTransparentProxyCannotBind = "Transparent proxy cannot bind.";
const char* const RSTransparentProxyCanNotSupportUDP = "UDP Not supported by this proxy.";
}  // namespace

EIdTransparentProxyCircularLink::EIdTransparentProxyCircularLink(const std::string& aClassName)
    : EIdException(Format(RSTransparentProxyCircularLink, {aClassName})) {}
EIdTransparentProxyCantBind::EIdTransparentProxyCantBind() : EIdException(RSTransparentProxyCannotBind) {}
EIdTransparentProxyUDPNotSupported::EIdTransparentProxyUDPNotSupported()
    : EIdException(RSTransparentProxyCanNotSupportUDP) {}

TIdCustomTransparentProxy::TIdCustomTransparentProxy(TComponent* aOwner) : TIdComponent(aOwner) {}

TIdCustomTransparentProxy::~TIdCustomTransparentProxy() { SetChainedProxy(nullptr); }

void TIdCustomTransparentProxy::Assign(const TIdCustomTransparentProxy& aSource) {
  FHost = aSource.FHost;
  FPassword = aSource.FPassword;
  FPort = aSource.FPort;
  FIPVersion = aSource.FIPVersion;
  FUsername = aSource.FUsername;
}

void TIdCustomTransparentProxy::Connect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort,
                                        TIdIPVersion aIPVersion) {
  if (FChainedProxy && FChainedProxy->Enabled()) {
    OpenTunnel(aIOHandler, FChainedProxy->Host(), FChainedProxy->Port(), FChainedProxy->IPVersion());
    FChainedProxy->Connect(aIOHandler, aHost, aPort, aIPVersion);
  } else {
    OpenTunnel(aIOHandler, aHost, aPort, aIPVersion);
  }
}

void TIdCustomTransparentProxy::Bind(TIdIOHandler&, const std::string&, TIdPort, TIdIPVersion) {
  throw EIdTransparentProxyCantBind();
}

void TIdCustomTransparentProxy::Bind(TIdIOHandler& aIOHandler, TIdPort aPort) {
  Bind(aIOHandler, "0.0.0.0", aPort, Id_IPv4);
}

bool TIdCustomTransparentProxy::Listen(TIdIOHandler&, int) { throw EIdTransparentProxyCantBind(); }

void TIdCustomTransparentProxy::OpenUDP(TIdSocketHandle&, const std::string&, TIdPort, TIdIPVersion) {
  throw EIdTransparentProxyUDPNotSupported();
}

void TIdCustomTransparentProxy::CloseUDP(TIdSocketHandle&) { throw EIdTransparentProxyUDPNotSupported(); }

int TIdCustomTransparentProxy::RecvFromUDP(TIdSocketHandle&, TIdBytes&, std::string&, TIdPort&, TIdIPVersion&, int) {
  throw EIdTransparentProxyUDPNotSupported();
}

void TIdCustomTransparentProxy::SendToUDP(TIdSocketHandle&, const std::string&, TIdPort, TIdIPVersion,
                                          const TIdBytes&) {
  throw EIdTransparentProxyUDPNotSupported();
}

void TIdCustomTransparentProxy::SetChainedProxy(TIdCustomTransparentProxy* aValue) {
  if (aValue == FChainedProxy) return;
  for (TIdCustomTransparentProxy* next = aValue; next != nullptr; next = next->FChainedProxy) {
    if (next == this) throw EIdTransparentProxyCircularLink(ClassName());
  }
  if (FChainedProxy) RemoveFreeNotification(FChainedProxy);
  FChainedProxy = aValue;
  if (FChainedProxy) FreeNotification(FChainedProxy);
}

void TIdCustomTransparentProxy::Notification(TComponent* aComponent, TOperation aOperation) {
  TIdComponent::Notification(aComponent, aOperation);
  if (aOperation == TOperation::opRemove && aComponent == FChainedProxy) FChainedProxy = nullptr;
}

}  // namespace qtx
