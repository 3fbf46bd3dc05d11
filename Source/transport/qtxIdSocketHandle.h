#pragma once
// One socket and its settings: allocation, bind (address, port or port
// range, reuse), Nagle, linger, connect, readability, send, receive and the
// close. Allocation, close and the address read-back after a connect run
// under the socket's own lock, so a close from another thread never
// interleaves with them.

#include <functional>
#include <mutex>
#include <span>
#include <string>

#include "transport/qtxIdStack.h"

namespace qtx {

enum TIdReuseSocket { rsOSDependent = 0, rsTrue = 1, rsFalse = 2 };

class EIdInvalidPortRange : public EIdException { using EIdException::EIdException; };
class EIdCanNotBindPortInRange : public EIdException { using EIdException::EIdException; };
class EIdCannotSetIPVersionWhenConnected : public EIdException {
public:
  EIdCannotSetIPVersionWhenConnected() : EIdException("Cannot change IPVersion when connected") {}
  using EIdException::EIdException;
};

class TIdSocketHandle {
public:
  // Each socket holds one use of the stack.
  TIdSocketHandle();
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  // Closes any socket held and creates a new one of the IP version.
  void AllocateSocket(int aSocketType = Id_SOCK_STREAM, int aProtocol = Id_IPPROTO_IP);
  // Applies the reuse setting, then binds to IP and Port, or to the first
  // free port of the client port range from its top down.
  void Bind();
  // Connects to the peer set by SetPeer, waiting at most aTimeout ms (-2: no
  // limit) in slices of aSlice ms with aOnSlice between them. False when the
  // time ran out; the socket is then still allocated and must be closed.
  bool Connect(int aTimeout = -2, int aSlice = -2, const std::function<void()>& aOnSlice = {});
  // Closes the socket once (linger or shutdown first); later calls do nothing.
  void CloseSocket();
  // Waits at most aTimeout ms (-1 or -2: no limit) for input or a close.
  // Raises EIdConnClosedGracefully once the socket is closed.
  bool Readable(int aTimeout = -1);
  // -1 on failure; the stack's WSGetLastError tells why.
  int Receive(std::span<uint8_t> aBuffer);
  int Send(const TIdBytes& aBuffer, int aOffset = 0, int aSize = -1);

  // Forgets the peer and, with aResetLocal, the local address and port.
  void Reset(bool aResetLocal = true);
  void SetPeer(const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion = ID_DEFAULT_IP_VERSION);
  void UpdateBindingLocal();
  void UpdateBindingPeer();

  void SetSockOpt(int aLevel, int aOptName, int aOptVal);
  int GetSockOpt(int aLevel, int aOptName);

  TIdStackSocketHandle Handle() const noexcept { return FHandle; }
  bool HandleAllocated() const noexcept { return FHandleAllocated; }
  const std::string& IP() const noexcept { return FIP; }
  void SetIP(std::string aIP) { FIP = std::move(aIP); }
  TIdPort Port() const noexcept { return FPort; }
  void SetPort(TIdPort aPort) { FPort = aPort; }
  const std::string& PeerIP() const noexcept { return FPeerIP; }
  TIdPort PeerPort() const noexcept { return FPeerPort; }
  TIdIPVersion IPVersion() const noexcept { return FIPVersion; }
  // Raises "Cannot change IPVersion when connected" on an allocated socket.
  void SetIPVersion(TIdIPVersion aIPVersion);
  TIdPort ClientPortMin() const noexcept { return FClientPortMin; }
  void SetClientPortMin(TIdPort aPort) { FClientPortMin = aPort; }
  TIdPort ClientPortMax() const noexcept { return FClientPortMax; }
  void SetClientPortMax(TIdPort aPort) { FClientPortMax = aPort; }
  TIdReuseSocket ReuseSocket() const noexcept { return FReuseSocket; }
  void SetReuseSocket(TIdReuseSocket aReuse) { FReuseSocket = aReuse; }
  bool UseNagle() const noexcept { return FUseNagle; }
  // Sets TCP_NODELAY to the inverse on an allocated stream socket when the
  // value changes.
  void SetUseNagle(bool aUseNagle);
  // Seconds of SO_LINGER applied when the socket closes; negative: a
  // shutdown for sending instead.
  int LingerState() const noexcept { return FLingerState; }
  void SetLingerState(int aSeconds) { FLingerState = aSeconds; }
  int SocketType() const noexcept { return FSocketType; }

private:
  TIdStack& Stack() const { return *GStack(); }
  bool TryBind(TIdPort aPort);

  TIdStackSocketHandle FHandle = Id_INVALID_SOCKET;
  bool FHandleAllocated = false;
  std::string FIP;
  TIdPort FPort = 0;
  std::string FPeerIP;
  TIdPort FPeerPort = 0;
  TIdIPVersion FIPVersion = ID_DEFAULT_IP_VERSION;
  TIdPort FClientPortMin = 0;
  TIdPort FClientPortMax = 0;
  TIdReuseSocket FReuseSocket = rsOSDependent;
  bool FUseNagle = true;
  int FLingerState = -1;
  int FSocketType = 0;
  std::mutex FConnectionHandle;
};

}  // namespace qtx
