#include "transport/qtxIdTCPConnection.h"

#include "transport/qtxIdIOHandlerStack.h"

namespace qtx {

namespace {
const char* const RSAlreadyConnected = "Already connected.";
const char* const RSNotConnected = "Not Connected";
const char* const RSIOHandlerCannotChange = "Cannot change a connected IOHandler.";
const char* const RSInterceptIsDifferent = "The IOHandler already has a different Intercept assigned";


// Every program with a connection gets the stack handler as the default IO
// handler class; naming its entry here also keeps it in the link.
[[maybe_unused]] const bool gStackHandlerIsDefault = (SetDefaultClass(IdIOHandlerStackClass()), true);

}  // namespace

EIdAlreadyConnected::EIdAlreadyConnected() : EIdException(RSAlreadyConnected) {}

TIdTCPConnection::TIdTCPConnection(TComponent* aOwner) : TIdComponent(aOwner) {}

TIdTCPConnection::~TIdTCPConnection() {
  Destroying();
  if (FIOHandler) {
    try {
      FIOHandler->Close();
    } catch (...) {
    }
  }
  SetIOHandler(nullptr);
  SetIntercept(nullptr);
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* aValue) {
  if (aValue == FIOHandler) return;
  if (aValue && FIntercept && aValue->Intercept() && aValue->Intercept() != FIntercept) {
    throw EIdException(RSInterceptIsDifferent);
  }
  if (FManagedIOHandler && FManagedIOHandler.get() != aValue) {
    FIOHandler = nullptr;
    FSocket = nullptr;
    FManagedIOHandler.reset();
  }
  AdoptIOHandler(aValue);
}

void TIdTCPConnection::AdoptIOHandler(TIdIOHandler* aValue) {
  if (FIOHandler) {
    FIOHandler->SetWorkTarget(nullptr);
    if (!FManagedIOHandler) RemoveFreeNotification(FIOHandler);
  }
  FIOHandler = aValue;
  FSocket = dynamic_cast<TIdIOHandlerSocket*>(aValue);
  if (!FIOHandler) return;
  FIOHandler->SetWorkTarget(this);
  if (!FManagedIOHandler) FreeNotification(FIOHandler);
  if (FIntercept) FIOHandler->SetIntercept(FIntercept);
}

void TIdTCPConnection::CreateIOHandler(const TIdIOHandlerClass* aBaseType) {
  if (Connected()) throw EIdException(RSIOHandlerCannotChange);
  std::unique_ptr<TIdIOHandler> handler = aBaseType ? MakeIOHandler(*aBaseType, this) : MakeDefaultIOHandler(this);
  SetIOHandler(nullptr);
  FManagedIOHandler = std::move(handler);
  AdoptIOHandler(FManagedIOHandler.get());
}

void TIdTCPConnection::ReleaseManagedIOHandler() {
  if (!FManagedIOHandler) return;
  AdoptIOHandler(nullptr);
  FManagedIOHandler.reset();
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* aValue) {
  if (aValue == FIntercept) return;
  if (FIntercept) RemoveFreeNotification(FIntercept);
  FIntercept = aValue;
  if (FIntercept) FreeNotification(FIntercept);
  if (FIOHandler) FIOHandler->SetIntercept(aValue);
}

bool TIdTCPConnection::Connected() { return FIOHandler && FIOHandler->Connected(); }

void TIdTCPConnection::CheckForGracefulDisconnect(bool aRaiseExceptionIfDisconnected) {
  if (FIOHandler) {
    FIOHandler->CheckForDisconnect(aRaiseExceptionIfDisconnected, false);
  } else if (aRaiseExceptionIfDisconnected) {
    throw EIdException(RSNotConnected);
  }
}

void TIdTCPConnection::Disconnect(bool aNotifyPeer) {
  try {
    if (aNotifyPeer && Connected()) DisconnectNotifyPeer();
  } catch (...) {
  }
  if (FIOHandler && FIOHandler->Opened()) {
    DoStatus(hsDisconnecting);
    FIOHandler->Close();
    DoOnDisconnected();
    DoStatus(hsDisconnected);
  }
}

void TIdTCPConnection::DoOnDisconnected() {
  if (OnDisconnected) OnDisconnected(*this);
}

void TIdTCPConnection::Notification(TComponent* aComponent, TOperation aOperation) {
  if (aOperation == TOperation::opRemove) {
    if (aComponent == FIOHandler && !FManagedIOHandler) {
      FIOHandler = nullptr;
      FSocket = nullptr;
    }
    if (aComponent == FIntercept) FIntercept = nullptr;
  }
  TIdComponent::Notification(aComponent, aOperation);
}

}  // namespace qtx
