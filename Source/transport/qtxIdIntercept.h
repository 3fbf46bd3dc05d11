#pragma once
// TIdConnectionIntercept: a hook on a connection's byte stream. Intercepts form
// a chain through Intercept; each sees the bytes sent and received and may
// replace them (with a buffer of another length).

#include <any>
#include <functional>
#include <string>

#include "core/qtxIdException.h"
#include "core/qtxIdTextEncoding.h"
#include "platform/qtxComponent.h"

namespace qtx {

// "%s: Circular links are not allowed" with the intercept's class name.
class EIdInterceptCircularLink : public EIdException {
public:
  explicit EIdInterceptCircularLink(const std::string& aClassName);
};

class TIdConnectionIntercept : public TComponent {
public:
  using TIdInterceptNotifyEvent = std::function<void(TIdConnectionIntercept& aSender)>;
  using TIdInterceptStreamEvent = std::function<void(TIdConnectionIntercept& aSender, TIdBytes& aBuffer)>;

  explicit TIdConnectionIntercept(TComponent* aOwner = nullptr);
  ~TIdConnectionIntercept() override;

  // The name reported by the circular-link check; descendants give theirs.
  virtual std::string ClassName() const { return "TIdConnectionIntercept"; }

  // Stores the connection, fires OnConnect, then tells the next intercept.
  virtual void Connect(TComponent* aConnection);
  // Tells the next intercept first, then fires OnDisconnect and forgets the connection.
  virtual void Disconnect();
  // The next intercept processes received bytes first, then OnReceive fires.
  virtual void Receive(TIdBytes& aBuffer);
  // OnSend fires first, then the next intercept processes the bytes.
  virtual void Send(TIdBytes& aBuffer);

  TComponent* Connection() const noexcept { return FConnection; }
  bool IsClient() const noexcept { return FIsClient; }
  std::any& Data() noexcept { return FData; }

  // The next intercept in the chain (not owned). A chain leading back to this
  // intercept raises EIdInterceptCircularLink.
  TIdConnectionIntercept* Intercept() const noexcept { return FIntercept; }
  void SetIntercept(TIdConnectionIntercept* aValue);

  TIdInterceptNotifyEvent OnConnect;
  TIdInterceptNotifyEvent OnDisconnect;
  TIdInterceptStreamEvent OnReceive;
  TIdInterceptStreamEvent OnSend;

protected:
  void Notification(TComponent* aComponent, TOperation aOperation) override;

  TComponent* FConnection = nullptr;
  TIdConnectionIntercept* FIntercept = nullptr;
  bool FIsClient = true;
  std::any FData;
};

}  // namespace qtx
