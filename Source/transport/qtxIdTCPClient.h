#pragma once
// The TCP client: host, port, time-outs and bind settings, and Connect, which
// creates the default IO handler when none is set, hands it the settings and
// opens it.

#include "transport/qtxIdTCPConnection.h"

namespace qtx {

class EIdHostRequired : public EIdException {
public:
  EIdHostRequired();
};
class EIdPortRequired : public EIdException {
public:
  EIdPortRequired();
};

class TIdTCPClientCustom : public TIdTCPConnection {
public:
  explicit TIdTCPClientCustom(TComponent* aOwner = nullptr);

  // "Already connected." when connected, "A Host is required" without a
  // host, "A Port is required" with port 0. On any failure the handler is
  // closed and, when the client created it, released.
  virtual void Connect();
  void Connect(const std::string& aHost);
  void Connect(const std::string& aHost, int aPort);
  // Connects, then returns everything the peer sends until it closes.
  std::string ConnectAndGetAll();

  const std::string& BoundIP() const noexcept { return FBoundIP; }
  void SetBoundIP(const std::string& aValue);
  TIdPort BoundPort() const noexcept { return FBoundPort; }
  void SetBoundPort(TIdPort aValue);
  TIdPort BoundPortMin() const noexcept { return FBoundPortMin; }
  void SetBoundPortMin(TIdPort aValue);
  TIdPort BoundPortMax() const noexcept { return FBoundPortMax; }
  void SetBoundPortMax(TIdPort aValue);
  // Milliseconds; 0 and -1 mean no limit.
  int ConnectTimeout() const noexcept { return FConnectTimeout; }
  void SetConnectTimeout(int aValue);
  // Milliseconds; -1 and 0 mean no limit.
  int ReadTimeout() const noexcept { return FReadTimeout; }
  void SetReadTimeout(int aValue);
  TIdReuseSocket ReuseSocket() const noexcept { return FReuseSocket; }
  void SetReuseSocket(TIdReuseSocket aValue);
  bool UseNagle() const noexcept { return FUseNagle; }
  void SetUseNagle(bool aValue);
  int LingerState() const noexcept { return FLingerState; }
  void SetLingerState(int aValue);
  TIdIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TIdIPVersion aValue);
  const std::string& Host() const noexcept { return FHost; }
  void SetHost(const std::string& aValue);
  int Port() const noexcept { return FPort; }
  void SetPort(int aValue);
  // "host:port"; passed to the handler when not empty.
  const std::string& Destination() const noexcept { return FDestination; }
  void SetDestination(const std::string& aValue);

  TIdNotifyEvent OnBeforeBind;
  TIdNotifyEvent OnAfterBind;
  TIdNotifyEvent OnSocketAllocated;
  TIdNotifyEvent OnConnected;

protected:
  virtual void DoOnConnected();

private:
  // Hands the client's settings to the handler before it opens.
  void PassSettingsToIOHandler();

  std::string FBoundIP;
  TIdPort FBoundPort = 0;
  TIdPort FBoundPortMin = 0;
  TIdPort FBoundPortMax = 0;
  int FConnectTimeout = 0;
  int FReadTimeout = IdTimeoutDefault;
  TIdReuseSocket FReuseSocket = rsOSDependent;
  bool FUseNagle = true;
  int FLingerState = -1;
  TIdIPVersion FIPVersion = Id_IPv4;
  std::string FHost;
  int FPort = 0;
  std::string FDestination;
};

class TIdTCPClient : public TIdTCPClientCustom {
public:
  using TIdTCPClientCustom::TIdTCPClientCustom;
};

}  // namespace qtx
