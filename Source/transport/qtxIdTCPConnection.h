#pragma once
// A connection over an IO handler: which handler is in use and whether the
// connection owns it, the intercept handed to it, and the disconnect with its
// goodbye step.

#include "transport/qtxIdIOHandlerSocket.h"

namespace qtx {

class EIdAlreadyConnected : public EIdException {
public:
  EIdAlreadyConnected();
};

class TIdTCPConnection : public TIdComponent {
public:
  explicit TIdTCPConnection(TComponent* aOwner = nullptr);
  // Closes and releases the handler.
  ~TIdTCPConnection() override;

  // The handler in use, or null.
  TIdIOHandler* IOHandler() const noexcept { return FIOHandler; }
  // Frees a managed old handler; the new one (not owned) reports its work
  // through this connection and gets the connection's intercept ("The
  // IOHandler already has a different Intercept assigned" when it carries
  // another).
  void SetIOHandler(TIdIOHandler* aValue);
  // The handler when it is a socket handler, else null.
  TIdIOHandlerSocket* Socket() const noexcept { return FSocket; }
  // True when the connection created the handler and frees it.
  bool ManagedIOHandler() const noexcept { return FManagedIOHandler != nullptr; }
  // Creates a handler through the registry (the default class, or the last
  // registered class inheriting from aBaseType), installs it and owns it
  // ("Cannot change a connected IOHandler." while connected).
  void CreateIOHandler(const TIdIOHandlerClass* aBaseType = nullptr);

  TIdConnectionIntercept* Intercept() const noexcept { return FIntercept; }
  void SetIntercept(TIdConnectionIntercept* aValue);

  // There is a handler and it is connected.
  virtual bool Connected();
  // The handler's CheckForDisconnect; without a handler, "Not Connected"
  // when asked to raise.
  void CheckForGracefulDisconnect(bool aRaiseExceptionIfDisconnected = true);
  // The goodbye step when aNotifyPeer and connected (its failures are
  // swallowed), then, when the handler is open: hsDisconnecting, the close,
  // OnDisconnected and hsDisconnected.
  virtual void Disconnect(bool aNotifyPeer = true);

  TIdNotifyEvent OnDisconnected;

protected:
  // The protocol's goodbye to the peer; nothing for a bare connection.
  virtual void DisconnectNotifyPeer() {}
  // Runs once the handler has closed: fires OnDisconnected. Protocols that
  // keep per-connection state override it to settle that state.
  virtual void DoOnDisconnected();
  // Frees a handler this connection created, clearing the property.
  void ReleaseManagedIOHandler();
  void Notification(TComponent* aComponent, TOperation aOperation) override;

private:
  void AdoptIOHandler(TIdIOHandler* aValue);

  TIdIOHandler* FIOHandler = nullptr;
  TIdIOHandlerSocket* FSocket = nullptr;
  std::unique_ptr<TIdIOHandler> FManagedIOHandler;
  TIdConnectionIntercept* FIntercept = nullptr;
};

}  // namespace qtx
