// TIdSSLIOHandlerSocketOpenSSL: TLS under the IO handler's primitives.

#include <sys/socket.h>
#include <sys/time.h>

#include "tls/qtxIdSSLOpenSSL.h"
#include "transport/qtxIdSocketError.h"
#include "transport/qtxIdStack.h"
#include "transport/qtxIdStackPosix.h"

namespace qtx {
namespace {

// A stalled handshake or read fails after this long when no ReadTimeout is set.
constexpr int kDefaultSocketTimeout = 30000;

bool IsConnectionLoss(int aErrorCode) {
  return aErrorCode == Id_WSAECONNABORTED || aErrorCode == Id_WSAECONNRESET || aErrorCode == Id_WSAESHUTDOWN;
}

}  // namespace

const TIdIOHandlerClass& IdSSLIOHandlerSocketOpenSSLClass() {
  static const TIdIOHandlerClass entry(
      "TIdSSLIOHandlerSocketOpenSSL", &IdSSLIOHandlerSocketBaseClass(),
      [](TComponent* aOwner) { return std::make_unique<TIdSSLIOHandlerSocketOpenSSL>(aOwner); });
  return entry;
}

TIdSSLIOHandlerSocketOpenSSL::TIdSSLIOHandlerSocketOpenSSL(TComponent* aOwner) : TIdSSLIOHandlerSocketBase(aOwner) {}

TIdSSLIOHandlerSocketOpenSSL::~TIdSSLIOHandlerSocketOpenSSL() {
  fSSLSocket.reset();
  fSSLContext.reset();
}

// ---------------------------------------------------------------- connect

void TIdSSLIOHandlerSocketOpenSSL::EnsureContext() {
  if (fSSLContext) return;
  auto context = std::make_unique<TIdSSLContext>();
  context->Options() = FxSSLOptions;
  context->SetVerifyOn(static_cast<bool>(OnVerifyPeer));
  context->SetStatusInfoOn(OnStatusInfo || OnStatusInfoEx);
  context->ALPNProtocols().Assign(FALPNProtocols);
  context->SetParent(this);
  context->InitContext(sslCtxClient);
  fSSLContext = std::move(context);
}

void TIdSSLIOHandlerSocketOpenSSL::ConnectToPeer() {
  try {
    EnsureContext();
  } catch (const EIdOSSLCouldNotLoadSSLLibrary&) {
    if (!fPassThrough) throw;
  }
  ConnectInTheClear();
  FireBeforeConnect();
  StartSSL();
}

void TIdSSLIOHandlerSocketOpenSSL::StartSSL() {
  if (!fPassThrough) NegotiateTLS();
}

std::string TIdSSLIOHandlerSocketOpenSSL::SNIHostName() const { return TLSPeerHost(); }

void TIdSSLIOHandlerSocketOpenSSL::SetSocketTimeouts(int aMilliseconds) {
  const timeval timeout{aMilliseconds / 1000, (aMilliseconds % 1000) * 1000};
  const int handle = FBinding->Handle();
  setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
  FReceiveTimeout = aMilliseconds;
}

int TIdSSLIOHandlerSocketOpenSSL::DefaultSocketTimeout() const {
  return ReadTimeout() < 1 ? kDefaultSocketTimeout : ReadTimeout();
}

void TIdSSLIOHandlerSocketOpenSSL::SetReceiveTimeout(int aMilliseconds) {
  if (aMilliseconds == FReceiveTimeout) return;
  const timeval timeout{aMilliseconds / 1000, (aMilliseconds % 1000) * 1000};
  setsockopt(FBinding->Handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
  FReceiveTimeout = aMilliseconds;
}

void TIdSSLIOHandlerSocketOpenSSL::NegotiateTLS() {
  if (!fSSLSocket) fSSLSocket = std::make_unique<TIdSSLSocket>(this);
  fSSLSocket->SetSSLContext(fSSLContext.get());
  SetSocketTimeouts(DefaultSocketTimeout());
  fSSLSocket->SetHostName(SNIHostName());
  try {
    fSSLSocket->Connect(FBinding->Handle());
  } catch (...) {
    fSSLSocket.reset();
    throw;
  }
  fPassThrough = false;
}

void TIdSSLIOHandlerSocketOpenSSL::SetPassThrough(bool aValue) {
  if (aValue == fPassThrough) return;
  if (!aValue) {
    // Upgrading a connected plain handler: the handshake runs now.
    if (BindingAllocated()) {
      EnsureContext();
      NegotiateTLS();
    } else {
      fPassThrough = false;
    }
    return;
  }
  if (fSSLSocket && fSSLSocket->SSL()) {
    // close_notify, then (when OpenSSL asks for it) the wait for the peer's.
    if (fSSLSocket->Shutdown() == 0) fSSLSocket->Shutdown();
    fSSLSocket.reset();
    if (BindingAllocated()) SetSocketTimeouts(0);
  }
  fPassThrough = true;
}

void TIdSSLIOHandlerSocketOpenSSL::FireBeforeConnect() {
  if (OnBeforeConnect) OnBeforeConnect(*this);
}

// ---------------------------------------------------------------- transfer

int TIdSSLIOHandlerSocketOpenSSL::ReadSecure(std::span<uint8_t> aBuffer) {
  if (!fSSLSocket) return -1;
  const int result = fSSLSocket->Recv(aBuffer);
  if (result < 0) FLastSocketError = WinsockCodeForErrno(fSSLSocket->LastErrno());
  return result;
}

int TIdSSLIOHandlerSocketOpenSSL::WriteSecure(const TIdBytes& aBuffer, int aOffset, int aLength) {
  if (!fSSLSocket) return -1;
  const int result = fSSLSocket->Send(aBuffer, aOffset, aLength);
  if (result < 0) FLastSocketError = WinsockCodeForErrno(fSSLSocket->LastErrno());
  return result;
}

bool TIdSSLIOHandlerSocketOpenSSL::Readable(int aMSec) {
  if (!fPassThrough) {
    if (!fSSLSocket) return false;
    // The read that follows may wait inside a record: it waits no longer
    // than this wait would (a poll or an endless wait: the default).
    SetReceiveTimeout(aMSec > 0 ? aMSec : DefaultSocketTimeout());
    if (fSSLSocket->Pending() > 0) return true;
  }
  return TIdSSLIOHandlerSocketBase::Readable(aMSec);
}

int TIdSSLIOHandlerSocketOpenSSL::FilterSocketError(int aResult) {
  if (fPassThrough || !fSSLSocket) return TIdSSLIOHandlerSocketBase::FilterSocketError(aResult);
  const int code = fSSLSocket->LastError();
  if (code == SSL_ERROR_NONE) return 0;
  // The socket's time-out fired inside a record.
  if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) return Id_WSAETIMEDOUT;
  // Without a system error, a syscall failure is an end of the TCP stream
  // without close_notify (OpenSSL 1.1 reports it so): a truncation.
  if (code != SSL_ERROR_SYSCALL) RaiseSSLError(TIdSSLErrorClass::APISSLError, code, aResult, std::string());
  if (fSSLSocket->LastErrno() == 0) RaiseSSLError(TIdSSLErrorClass::APISSLError, code, 0, std::string());
  // A failure of the socket itself: the socket rule.
  if (!IsConnectionLoss(FLastSocketError) && FLastSocketError != Id_WSAETIMEDOUT)
    RaiseSocketErrorCode(FLastSocketError);
  return FLastSocketError;
}

void TIdSSLIOHandlerSocketOpenSSL::RaiseSocketErrorCode(int aErrorCode) {
  if (!fPassThrough && !IsConnectionLoss(aErrorCode))
    throw EIdOpenSSLAPISSLError(SocketErrorMessage(aErrorCode), SSL_ERROR_SYSCALL, -1);
  TIdSSLIOHandlerSocketBase::RaiseSocketErrorCode(aErrorCode);
}

// ---------------------------------------------------------------- state

void TIdSSLIOHandlerSocketOpenSSL::Close() {
  fSSLSocket.reset();
  fSSLContext.reset();
  TIdSSLIOHandlerSocketBase::Close();
}

std::string TIdSSLIOHandlerSocketOpenSSL::GetALPNProtocol() const {
  return fSSLSocket ? fSSLSocket->ALPNProtocol() : std::string();
}

std::string TIdSSLIOHandlerSocketOpenSSL::GetSSLVersion() const {
  return fSSLSocket ? fSSLSocket->SSLVersion() : std::string();
}

std::unique_ptr<TIdSSLIOHandlerSocketBase> TIdSSLIOHandlerSocketOpenSSL::Clone() {
  auto clone = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
  clone->SetSSLOptions(FxSSLOptions);
  clone->ALPNProtocols().Assign(FALPNProtocols);
  clone->OnStatusInfo = [this](const std::string& aMsg) { FireStatusInfo(aMsg); };
  clone->OnStatusInfoEx = [this](TIdSSLIOHandlerSocketOpenSSL&, PSSL aSSL, int aWhere, int aRet,
                                 const std::string& aType, const std::string& aMsg) {
    FireStatusInfoEx(aSSL, aWhere, aRet, aType, aMsg);
  };
  clone->OnGetPassword = [this](std::string& aPassword) { FireGetPassword(aPassword); };
  clone->OnGetPasswordEx = [this](TIdSSLIOHandlerSocketOpenSSL&, std::string& aPassword, bool aIsWrite) {
    FireGetPasswordEx(aPassword, aIsWrite);
  };
  clone->OnVerifyPeer = [this](TIdX509& aCertificate, bool aOk, int aDepth, int aError) {
    return FireVerifyPeer(aCertificate, aOk, aDepth, aError);
  };
  return clone;
}

// ---------------------------------------------------------------- events

void TIdSSLIOHandlerSocketOpenSSL::FireStatusInfo(const std::string& aMsg) {
  if (OnStatusInfo) OnStatusInfo(aMsg);
}

void TIdSSLIOHandlerSocketOpenSSL::FireStatusInfoEx(PSSL aSSL, int aWhere, int aRet, const std::string& aType,
                                                    const std::string& aMsg) {
  if (OnStatusInfoEx) OnStatusInfoEx(*this, aSSL, aWhere, aRet, aType, aMsg);
}

void TIdSSLIOHandlerSocketOpenSSL::FireGetPassword(std::string& aPassword) {
  if (OnGetPassword) OnGetPassword(aPassword);
}

void TIdSSLIOHandlerSocketOpenSSL::FireGetPasswordEx(std::string& aPassword, bool aIsWrite) {
  if (OnGetPasswordEx) OnGetPasswordEx(*this, aPassword, aIsWrite);
}

bool TIdSSLIOHandlerSocketOpenSSL::FireVerifyPeer(TIdX509& aCertificate, bool aOk, int aDepth, int aError) {
  return OnVerifyPeer ? OnVerifyPeer(aCertificate, aOk, aDepth, aError) : true;
}

}  // namespace qtx
