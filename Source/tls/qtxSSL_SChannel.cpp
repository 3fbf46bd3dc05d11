// TqtxIdSSLIOHandlerSocketSChannel: the SChannel TLS channel under the IO
// handler's primitives.

#include "tls/qtxSSL_SChannel.h"

#include <mutex>

#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"
#include "tls/qtxSSL_SChannelInfo.h"
#include "tls/qtxSSL_SChannelTexts.h"
#include "transport/qtxIdStack.h"

namespace qtx {

using namespace schannel_texts;

namespace {

// A stalled handshake fails after this long when no ReadTimeout is set.
constexpr int kDefaultHandshakeTimeout = 30000;

// The provider's table and the current user's "MY" store, shared by every
// connection of the process.
struct TSChannelProcess {
  std::mutex Lock;
  const SecurityFunctionTable* Table = nullptr;
  HCERTSTORE MyStore;
};

TSChannelProcess& Process() {
  static TSChannelProcess process;
  return process;
}

const SecurityFunctionTable* LoadSecurityInterface() {
  TSChannelProcess& process = Process();
  std::lock_guard guard(process.Lock);
  if (!process.Table) {
    process.Table = InitSecurityInterface();
    process.MyStore = CertOpenSystemStore("MY");
  }
  return process.Table;
}

// After a failure that may come from the provider's own state, the next
// start loads it afresh.
void UnloadSecurityInterface() {
  TSChannelProcess& process = Process();
  std::lock_guard guard(process.Lock);
  process.Table = nullptr;
  process.MyStore.reset();
}

HCERTSTORE OpenedMyStore() {
  TSChannelProcess& process = Process();
  std::lock_guard guard(process.Lock);
  return process.MyStore;
}

void ReopenMyStore(bool aOpen) {
  TSChannelProcess& process = Process();
  std::lock_guard guard(process.Lock);
  process.MyStore = aOpen ? CertOpenSystemStore("MY") : nullptr;
}

bool IsToleratedSocketError(int aCode) {
  return aCode == Id_WSAESHUTDOWN || aCode == Id_WSAECONNABORTED || aCode == Id_WSAECONNRESET ||
         aCode == Id_WSAETIMEDOUT;
}

}  // namespace

TSChannelLastError& SChannelLastError() {
  // Per thread: the text is meaningful right after a failure on the same
  // thread, and threads never overwrite each other's.
  thread_local TSChannelLastError lastError;
  return lastError;
}

const char* CertStoreNameText(TqtxSChannelCertStoreName aName) {
  switch (aName) {
    case scsnRoot: return "Root";
    case scsnTrust: return "Trust";
    case scsnCA: return "CA";
    case scsnMY: break;
  }
  return "MY";
}

uint32_t CertStoreLocation(TqtxSChannelCertStorePath aPath) {
  return aPath == scspStoreLocalMachine ? CERT_SYSTEM_STORE_LOCAL_MACHINE : CERT_SYSTEM_STORE_CURRENT_USER;
}

TqtxIdSSLIOHandlerSocketSChannel::TqtxIdSSLIOHandlerSocketSChannel(TComponent* aOwner)
    : TIdSSLIOHandlerSocketBase(aOwner) {}

TqtxIdSSLIOHandlerSocketSChannel::~TqtxIdSSLIOHandlerSocketSChannel() = default;

// ---------------------------------------------------------------- connect

void TqtxIdSSLIOHandlerSocketSChannel::ConnectToPeer() {
  ConnectInTheClear();
  StartSSL();
}

void TqtxIdSSLIOHandlerSocketSChannel::StartSSL() {
  if (!fPassThrough) StartSChannelConnection();
}

void TqtxIdSSLIOHandlerSocketSChannel::SetPassThrough(bool aValue) {
  if (aValue == fPassThrough) return;
  if (!aValue) {
    // Upgrading a connected plain handler: the handshake runs now.
    if (BindingAllocated()) {
      StartSChannelConnection();
    } else {
      fPassThrough = false;
    }
    return;
  }
  ReleaseState(true);
  fPassThrough = true;
}

std::string TqtxIdSSLIOHandlerSocketSChannel::TLSHostName() const { return TLSPeerHost(); }

void TqtxIdSSLIOHandlerSocketSChannel::StartSChannelConnection() {
  SChannelLastError() = {};
  auto info = std::make_unique<TSSLInfo>(LoadSecurityInterface(), FBinding->Handle(), TLSHostName());
  info->TLSVersion = FTLSVersion;
  for (int i = 0; i < FALPNProtocols.Count(); ++i) info->ALPNProtocols.push_back(FALPNProtocols.Get(i));
  info->Certificate = FCertificate;
  info->CipherList = FCipherList;
  info->HandshakeTimeout = ReadTimeout() < 1 ? kDefaultHandshakeTimeout : ReadTimeout();
  info->CredentialsCallback = [this] {
    if (OnCredentials) OnCredentials(*this);
  };
  if (OnCredentials) {
    ReopenMyStore(false);
    OnCredentials(*this);
    ReopenMyStore(true);
  }
  info->MyStore = OpenedMyStore();
  if (!info->StartSChannelConnection()) {
    const SECURITY_STATUS status = info->LastStatus();
    info.reset();  // the security context goes, whatever the status was
    if (status == SEC_E_ILLEGAL_MESSAGE || status == SEC_E_INTERNAL_ERROR) UnloadSecurityInterface();
    const TSChannelLastError& lastError = SChannelLastError();
    throw SChannelError(std::string(RSInitializationError) + lastError.Text, lastError.CertStatus);
  }
  FSSLInfo = std::move(info);
  fPassThrough = false;
}

// ---------------------------------------------------------------- transfer

bool TqtxIdSSLIOHandlerSocketSChannel::Readable(int aMSec) {
  if (fPassThrough || !FSSLInfo) return TIdSSLIOHandlerSocketBase::Readable(aMSec);
  // A read that ended (the peer's close, a failure) is readable: the read
  // reports it.
  return FSSLInfo->SChannelDecrypt(aMSec < 0 ? -1 : aMSec) != 0;
}

int TqtxIdSSLIOHandlerSocketSChannel::ReadSecure(std::span<uint8_t> aBuffer) {
  if (!FSSLInfo) {
    FLastSocketError = Id_WSAENOTCONN;
    return -1;
  }
  if (FSSLInfo->SChannelDecrypt(-1) > 0) return FSSLInfo->TakeData(aBuffer);
  switch (FSSLInfo->ReadEnd()) {
    case TSSLInfo::TReadEnd::Closed: return 0;  // close_notify: a graceful close
    case TSSLInfo::TReadEnd::SocketError: FLastSocketError = FSSLInfo->LastSocketError(); break;
    default: FLastSocketError = 0; break;
  }
  return -1;
}

int TqtxIdSSLIOHandlerSocketSChannel::WriteSecure(const TIdBytes& aBuffer, int aOffset, int aLength) {
  if (!FSSLInfo) {
    FLastSocketError = Id_WSAENOTCONN;
    return -1;
  }
  const int sent = FSSLInfo->SChannelEncrypt(aBuffer.data() + aOffset, aLength);
  if (sent < 0) FLastSocketError = FSSLInfo->LastSocketError();
  return sent;
}

int TqtxIdSSLIOHandlerSocketSChannel::FilterSocketError(int aResult) {
  if (fPassThrough) return TIdSSLIOHandlerSocketBase::FilterSocketError(aResult);
  if (FLastSocketError == 0) throw SChannelError(SChannelLastError().Text);
  if (!IsToleratedSocketError(FLastSocketError)) RaiseSocketErrorCode(FLastSocketError);
  return FLastSocketError;
}

// ---------------------------------------------------------------- state

void TqtxIdSSLIOHandlerSocketSChannel::ReleaseState(bool aSendCloseNotify) {
  if (FSSLInfo && aSendCloseNotify && BindingAllocated()) FSSLInfo->SendCloseNotify();
  FSSLInfo.reset();
}

void TqtxIdSSLIOHandlerSocketSChannel::Close() {
  if (FSSLInfo && BindingAllocated()) FSSLInfo->SendCloseNotify();
  TIdSSLIOHandlerSocketBase::Close();
  FSSLInfo.reset();
}

bool TqtxIdSSLIOHandlerSocketSChannel::Connected() {
  if (fPassThrough) return TIdSSLIOHandlerSocketBase::Connected();
  return FSSLInfo != nullptr || !InputBufferIsEmpty();
}

std::unique_ptr<TIdSSLIOHandlerSocketBase> TqtxIdSSLIOHandlerSocketSChannel::Clone() {
  auto clone = std::make_unique<TqtxIdSSLIOHandlerSocketSChannel>();
  clone->SetTLSVersion(FTLSVersion);
  clone->SetCertificate(FCertificate);
  clone->SetCipherList(FCipherList);
  clone->ALPNProtocols().Assign(FALPNProtocols);
  clone->OnCredentials = [this](TqtxIdSSLIOHandlerSocketSChannel&) {
    if (OnCredentials) OnCredentials(*this);
  };
  return clone;
}

std::string TqtxIdSSLIOHandlerSocketSChannel::GetALPNProtocol() {
  if (!FSSLInfo) return {};
  SecPkgContext_ApplicationProtocol protocol{};
  const SECURITY_STATUS status =
      FSSLInfo->Table().QueryContextAttributes(&FSSLInfo->Context(), SECPKG_ATTR_APPLICATION_PROTOCOL, &protocol);
  if (status != SEC_E_OK) {
    SChannelLastError().Text = std::string(RSApplicationProtocol) + IntToHex(static_cast<uint32_t>(status), 8);
    return {};
  }
  if (protocol.ProtoNegoStatus != SecApplicationProtocolNegotiationStatus_Success ||
      protocol.ProtoNegoExt != SecApplicationProtocolNegotiationExt_ALPN)
    return {};
  return SanitizeUtf8(std::string_view(reinterpret_cast<const char*>(protocol.ProtocolId), protocol.ProtocolIdSize));
}

TqtxSChannelConnectionInfo TqtxIdSSLIOHandlerSocketSChannel::GetInfo() {
  if (!FSSLInfo) return {};
  if (!FSSLInfo->ConnectionInfo) {
    SecPkgContext_ConnectionInfo info{};
    if (FSSLInfo->Table().QueryContextAttributes(&FSSLInfo->Context(), SECPKG_ATTR_CONNECTION_INFO, &info) !=
        SEC_E_OK)
      return {};
    FSSLInfo->ConnectionInfo = ConnectionInfoOf(info);
  }
  return *FSSLInfo->ConnectionInfo;
}

}  // namespace qtx
