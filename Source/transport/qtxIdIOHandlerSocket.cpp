#include "transport/qtxIdIOHandlerSocket.h"

#include "transport/qtxIdSocks.h"

namespace qtx {

namespace {
const char* const RSConnectTimeout = "Connect timed out.";
}  // namespace

EIdConnectTimeout::EIdConnectTimeout() : EIdException(RSConnectTimeout) {}

const TIdIOHandlerClass& IdIOHandlerSocketClass() {
  static const TIdIOHandlerClass entry("TIdIOHandlerSocket", &IdIOHandlerClass());
  return entry;
}

TIdIOHandlerSocket::TIdIOHandlerSocket(TComponent* aOwner) : TIdIOHandler(aOwner) {}

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
  Destroying();
  SetTransparentProxy(nullptr);
  if (FBinding) FBinding->CloseSocket();
}

void TIdIOHandlerSocket::Open() {
  TIdIOHandler::Open();
  if (FBinding) {
    FBinding->Reset(false);
  } else {
    FBinding = std::make_unique<TIdSocketHandle>();
  }
  FBinding->SetClientPortMin(FBoundPortMin);
  FBinding->SetClientPortMax(FBoundPortMax);
  if (!Host().empty() && Port() > 0) ConnectToPeer();
}

void TIdIOHandlerSocket::Close() {
  if (FBinding) FBinding->CloseSocket();
  TIdIOHandler::Close();
}

bool TIdIOHandlerSocket::Connected() {
  return (BindingAllocated() && TIdIOHandler::Connected()) || !InputBufferIsEmpty();
}

TIdCustomTransparentProxy* TIdIOHandlerSocket::EnabledProxy() const {
  return FTransparentProxy && FTransparentProxy->Enabled() ? FTransparentProxy : nullptr;
}

void TIdIOHandlerSocket::ConnectToPeer() {
  DoBeforeBind();
  // The socket's family is that of the address it connects to: the proxy's
  // when one carries the connection.
  TIdCustomTransparentProxy* proxy = EnabledProxy();
  FBinding->SetIPVersion(proxy ? proxy->IPVersion() : FIPVersion);
  FBinding->AllocateSocket(Id_SOCK_STREAM);
  DoSocketAllocated();
  // An empty bound address binds to any address, never to the local address
  // of an earlier connection.
  FBinding->SetIP(FBoundIP);
  FBinding->SetPort(FBoundPort);
  FBinding->SetClientPortMin(FBoundPortMin);
  FBinding->SetClientPortMax(FBoundPortMax);
  FBinding->SetReuseSocket(FReuseSocket);
  FBinding->Bind();
  FBinding->SetUseNagle(FUseNagle);
  FBinding->SetLingerState(FLingerState);
  DoAfterBind();
}

void TIdIOHandlerSocket::DoBeforeBind() {
  if (OnBeforeBind) OnBeforeBind(*this);
}

void TIdIOHandlerSocket::DoAfterBind() {
  if (OnAfterBind) OnAfterBind(*this);
}

void TIdIOHandlerSocket::DoSocketAllocated() {
  if (OnSocketAllocated) OnSocketAllocated(*this);
}

TIdCustomTransparentProxy& TIdIOHandlerSocket::TransparentProxy() {
  if (!FTransparentProxy) {
    FImplicitTransparentProxy = std::make_unique<TIdSocksInfo>(this);
    FTransparentProxy = FImplicitTransparentProxy.get();
  }
  return *FTransparentProxy;
}

void TIdIOHandlerSocket::SetTransparentProxy(TIdCustomTransparentProxy* aProxy) {
  if (aProxy == FTransparentProxy) return;
  if (FTransparentProxy && !FImplicitTransparentProxy) RemoveFreeNotification(FTransparentProxy);
  FTransparentProxy = nullptr;
  FImplicitTransparentProxy.reset();
  if (!aProxy) return;
  if (aProxy->Owner()) {
    FTransparentProxy = aProxy;
    FreeNotification(FTransparentProxy);
  } else {
    FImplicitTransparentProxy = aProxy->Clone(this);
    FTransparentProxy = FImplicitTransparentProxy.get();
  }
}

void TIdIOHandlerSocket::SetReuseSocket(TIdReuseSocket aValue) {
  FReuseSocket = aValue;
  if (FBinding) FBinding->SetReuseSocket(aValue);
}

void TIdIOHandlerSocket::SetUseNagle(bool aValue) {
  FUseNagle = aValue;
  if (FBinding) FBinding->SetUseNagle(aValue);
}

void TIdIOHandlerSocket::SetLingerState(int aValue) {
  FLingerState = aValue;
  if (FBinding) FBinding->SetLingerState(aValue);
}

void TIdIOHandlerSocket::Notification(TComponent* aComponent, TOperation aOperation) {
  if (aOperation == TOperation::opRemove && aComponent == FTransparentProxy && !FImplicitTransparentProxy) {
    FTransparentProxy = nullptr;
  }
  TIdIOHandler::Notification(aComponent, aOperation);
}

}  // namespace qtx
