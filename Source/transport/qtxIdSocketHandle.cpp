#include "transport/qtxIdSocketHandle.h"

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
const char* const RSInvalidPortRange = "Invalid Port Range (%d - %d)";
const char* const RSCannotBindRange = "Can not bind in port range (%d - %d)";
}  // namespace

TIdSocketHandle::TIdSocketHandle() { TIdStack::IncUsage(); }

TIdSocketHandle::~TIdSocketHandle() {
  CloseSocket();
  TIdStack::DecUsage();
}

void TIdSocketHandle::AllocateSocket(int aSocketType, int aProtocol) {
  CloseSocket();
  std::lock_guard guard(FConnectionHandle);
  FHandle = Stack().NewSocketHandle(aSocketType, aProtocol, FIPVersion);
  FHandleAllocated = true;
  FSocketType = Stack().GetSocketOption(FHandle, Id_SOL_SOCKET, Id_SO_TYPE);
  if (FSocketType == Id_SOCK_STREAM) FUseNagle = Stack().GetSocketOption(FHandle, Id_IPPROTO_TCP, Id_TCP_NODELAY) == 0;
}

bool TIdSocketHandle::TryBind(TIdPort aPort) {
  try {
    Stack().Bind(FHandle, FIP, aPort, FIPVersion);
    return true;
  } catch (const EIdSocketError&) {
    return false;
  }
}

void TIdSocketHandle::Bind() {
  SetSockOpt(Id_SOL_SOCKET, Id_SO_REUSEADDR, FReuseSocket == rsTrue ? 1 : 0);
  if (FPort == 0 && FClientPortMin != 0 && FClientPortMax != 0) {
    if (FClientPortMin > FClientPortMax) {
      throw EIdInvalidPortRange(Format(RSInvalidPortRange, {FClientPortMin, FClientPortMax}));
    }
    bool bound = false;
    for (int port = FClientPortMax; port >= FClientPortMin && !bound; --port) {
      bound = TryBind(static_cast<TIdPort>(port));
    }
    if (!bound) throw EIdCanNotBindPortInRange(Format(RSCannotBindRange, {FClientPortMin, FClientPortMax}));
  } else {
    Stack().Bind(FHandle, FIP, FPort, FIPVersion);
  }
  UpdateBindingLocal();
}

bool TIdSocketHandle::Connect(int aTimeout, int aSlice, const std::function<void()>& aOnSlice) {
  if (!Stack().Connect(FHandle, FPeerIP, FPeerPort, FIPVersion, aTimeout, aSlice, aOnSlice)) return false;
  std::lock_guard guard(FConnectionHandle);
  if (FHandleAllocated) {
    UpdateBindingLocal();
    UpdateBindingPeer();
  }
  return true;
}

void TIdSocketHandle::CloseSocket() {
  std::lock_guard guard(FConnectionHandle);
  if (!FHandleAllocated) return;
  Stack().Disconnect(FHandle, FLingerState);
  FHandle = Id_INVALID_SOCKET;
  FHandleAllocated = false;
}

bool TIdSocketHandle::Readable(int aTimeout) {
  if (!FHandleAllocated) throw EIdConnClosedGracefully();
  return Stack().Readable(FHandle, aTimeout == -1 ? -2 : aTimeout);
}

int TIdSocketHandle::Receive(std::span<uint8_t> aBuffer) {
  return Stack().WSRecv(FHandle, aBuffer.data(), static_cast<int>(aBuffer.size()));
}

int TIdSocketHandle::Send(const TIdBytes& aBuffer, int aOffset, int aSize) {
  if (aSize < 0) aSize = static_cast<int>(aBuffer.size()) - aOffset;
  return Stack().WSSend(FHandle, aBuffer.data() + aOffset, aSize);
}

void TIdSocketHandle::Reset(bool aResetLocal) {
  CloseSocket();
  if (aResetLocal) {
    FIP.clear();
    FPort = 0;
  }
  FPeerIP.clear();
  FPeerPort = 0;
}

void TIdSocketHandle::SetPeer(const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion) {
  FPeerIP = aIP;
  FPeerPort = aPort;
  FIPVersion = aIPVersion;
}

void TIdSocketHandle::UpdateBindingLocal() {
  TIdIPVersion version;
  Stack().GetSocketName(FHandle, FIP, FPort, version);
}

void TIdSocketHandle::UpdateBindingPeer() {
  TIdIPVersion version;
  Stack().GetPeerName(FHandle, FPeerIP, FPeerPort, version);
}

void TIdSocketHandle::SetSockOpt(int aLevel, int aOptName, int aOptVal) {
  Stack().SetSocketOption(FHandle, aLevel, aOptName, aOptVal);
}

int TIdSocketHandle::GetSockOpt(int aLevel, int aOptName) { return Stack().GetSocketOption(FHandle, aLevel, aOptName); }

void TIdSocketHandle::SetIPVersion(TIdIPVersion aIPVersion) {
  if (aIPVersion == FIPVersion) return;
  if (FHandleAllocated) throw EIdCannotSetIPVersionWhenConnected();
  FIPVersion = aIPVersion;
}

void TIdSocketHandle::SetUseNagle(bool aUseNagle) {
  if (FHandleAllocated && FSocketType == Id_SOCK_STREAM && aUseNagle != FUseNagle) {
    SetSockOpt(Id_IPPROTO_TCP, Id_TCP_NODELAY, aUseNagle ? 0 : 1);
  }
  FUseNagle = aUseNagle;
}

}  // namespace qtx
