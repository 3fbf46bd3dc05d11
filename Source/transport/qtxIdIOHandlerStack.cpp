#include "transport/qtxIdIOHandlerStack.h"

#include <algorithm>

#include "transport/qtxIdAntiFreezeBase.h"

namespace qtx {

namespace {
// The wait slice of a connect while the idle hook runs, unless the hook's
// own slice is shorter.
constexpr int IdleWaitStep = 125;
// A connect without a time-out still ends after this long when the idle
// hook has to run meanwhile.
constexpr int IdleHookConnectLimit = 120000;
}  // namespace

const TIdIOHandlerClass& IdIOHandlerStackClass() {
  static const TIdIOHandlerClass entry("TIdIOHandlerStack", &IdIOHandlerSocketClass(),
                                       [](TComponent* aOwner) { return std::make_unique<TIdIOHandlerStack>(aOwner); });
  return entry;
}

TIdIOHandlerStack::TIdIOHandlerStack(TComponent* aOwner) : TIdIOHandlerSocket(aOwner) {}

bool TIdIOHandlerStack::Connected() {
  try {
    FillInputBuffer(false, 0, false);
  } catch (const EIdSocketError& e) {
    if (e.LastError() == Id_WSAECONNABORTED || e.LastError() == Id_WSAECONNRESET || e.LastError() == Id_WSAESHUTDOWN) {
      return false;
    }
    throw;
  }
  return TIdIOHandlerSocket::Connected();
}

void TIdIOHandlerStack::CheckForDisconnect(bool aRaiseExceptionIfDisconnected, bool aIgnoreBuffer) {
  bool disconnected = false;
  if (ClosedGracefully() || !BindingAllocated()) {
    if (BindingAllocated()) {
      Close();
      DoStatus(hsDisconnected);
    }
    disconnected = true;
  }
  if (disconnected && (aIgnoreBuffer || InputBufferIsEmpty()) && aRaiseExceptionIfDisconnected) {
    throw EIdConnClosedGracefully();
  }
}

bool TIdIOHandlerStack::Readable(int aMSec) {
  if (!FBinding) throw EIdConnClosedGracefully();
  if (aMSec == IdTimeoutDefault) aMSec = IdTimeoutInfinite;
  if (!TIdAntiFreezeBase::ShouldUse()) {
    // A wait without limit is the blocking receive that follows: asking
    // first would only cost a system call per block.
    if (aMSec == IdTimeoutInfinite && FBinding->HandleAllocated()) return true;
    return FBinding->Readable(aMSec);
  }
  const int slice = std::max(TIdAntiFreezeBase::Instance()->IdleTimeOut(), 1);
  if (aMSec == IdTimeoutInfinite) {
    while (!FBinding->Readable(slice)) TIdAntiFreezeBase::DoProcess();
    return true;
  }
  while (aMSec > slice) {
    if (FBinding->Readable(slice)) return true;
    TIdAntiFreezeBase::DoProcess();
    aMSec -= slice;
  }
  return FBinding->Readable(aMSec);
}

void TIdIOHandlerStack::ConnectToPeer() {
  TIdIOHandlerSocket::ConnectToPeer();
  TIdCustomTransparentProxy* proxy = EnabledProxy();
  const std::string host = proxy ? proxy->Host() : Host();
  const TIdPort port = proxy ? proxy->Port() : static_cast<TIdPort>(Port());
  const TIdIPVersion version = proxy ? proxy->IPVersion() : IPVersion();

  std::string ip;
  if (version == Id_IPv6 && TIdStack::IsValidIPv6(host)) {
    ip = TIdStack::CompressIPv6(host);
  } else if (version == Id_IPv4 && TIdStack::IsIP(host)) {
    ip = host;
  } else {
    DoStatus(hsResolving, host);
    ip = GStack()->ResolveHost(host, version);
  }
  FBinding->SetPeer(ip, port, version);
  DoStatus(hsConnecting, ip);

  if (ConnectTimeout() > 0) {
    ConnectWithTimeout(ConnectTimeout());
  } else if (TIdAntiFreezeBase::ShouldUse()) {
    ConnectWithTimeout(IdleHookConnectLimit);
  } else {
    FBinding->Connect();
  }
  if (proxy) proxy->Connect(*this, Host(), static_cast<TIdPort>(Port()), IPVersion());
}

void TIdIOHandlerStack::ConnectWithTimeout(int aTimeout) {
  bool connected;
  if (TIdAntiFreezeBase::ShouldUse()) {
    int slice = std::min(IdleWaitStep, std::max(TIdAntiFreezeBase::Instance()->IdleTimeOut(), 1));
    connected = FBinding->Connect(aTimeout, slice, [] { TIdAntiFreezeBase::DoProcess(); });
  } else {
    connected = FBinding->Connect(aTimeout);
  }
  if (!connected) {
    Close();
    throw EIdConnectTimeout();
  }
}

int TIdIOHandlerStack::ReadDataFromSource(std::span<uint8_t> aBuffer) {
  int result = FBinding->Receive(aBuffer);
  if (result < 0) FLastSocketError = GStack()->WSGetLastError();
  return result;
}

int TIdIOHandlerStack::WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) {
  int result = FBinding->Send(aBuffer, aOffset, aLength);
  if (result < 0) FLastSocketError = GStack()->WSGetLastError();
  return result;
}

int TIdIOHandlerStack::FilterSocketError(int aResult) {
  if (aResult != Id_SOCKET_ERROR) return aResult;
  const bool tolerated = FLastSocketError == Id_WSAESHUTDOWN || FLastSocketError == Id_WSAECONNABORTED ||
                         FLastSocketError == Id_WSAECONNRESET || FLastSocketError == Id_WSAETIMEDOUT;
  if (!tolerated) RaiseSocketErrorCode(FLastSocketError);
  return FLastSocketError;
}

}  // namespace qtx
