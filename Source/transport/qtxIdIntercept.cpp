#include "transport/qtxIdIntercept.h"

#include <string_view>

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr std::string_view RSInterceptCircularLink = "%s: Circular links are not allowed";
}  // namespace

EIdInterceptCircularLink::EIdInterceptCircularLink(const std::string& aClassName)
    : EIdException(Format(RSInterceptCircularLink, {aClassName})) {}

TIdConnectionIntercept::TIdConnectionIntercept(TComponent* aOwner) : TComponent(aOwner) {}

TIdConnectionIntercept::~TIdConnectionIntercept() { SetIntercept(nullptr); }

void TIdConnectionIntercept::SetIntercept(TIdConnectionIntercept* aValue) {
  if (aValue == FIntercept) return;
  for (TIdConnectionIntercept* next = aValue; next != nullptr; next = next->FIntercept) {
    if (next == this) throw EIdInterceptCircularLink(ClassName());
  }
  if (FIntercept != nullptr) RemoveFreeNotification(FIntercept);
  FIntercept = aValue;
  if (FIntercept != nullptr) FreeNotification(FIntercept);
}

void TIdConnectionIntercept::Notification(TComponent* aComponent, TOperation aOperation) {
  TComponent::Notification(aComponent, aOperation);
  if (aOperation == TOperation::opRemove && aComponent == FIntercept) FIntercept = nullptr;
}

void TIdConnectionIntercept::Connect(TComponent* aConnection) {
  FConnection = aConnection;
  if (OnConnect) OnConnect(*this);
  if (FIntercept != nullptr) FIntercept->Connect(aConnection);
}

void TIdConnectionIntercept::Disconnect() {
  if (FIntercept != nullptr) FIntercept->Disconnect();
  if (OnDisconnect) OnDisconnect(*this);
  FConnection = nullptr;
}

void TIdConnectionIntercept::Receive(TIdBytes& aBuffer) {
  if (FIntercept != nullptr) FIntercept->Receive(aBuffer);
  if (OnReceive) OnReceive(*this, aBuffer);
}

void TIdConnectionIntercept::Send(TIdBytes& aBuffer) {
  if (OnSend) OnSend(*this, aBuffer);
  if (FIntercept != nullptr) FIntercept->Send(aBuffer);
}

}  // namespace qtx
