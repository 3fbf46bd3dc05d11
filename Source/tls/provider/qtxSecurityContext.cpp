#include "tls/provider/qtxSecurityContext.h"

#include <arpa/inet.h>
#include <gnutls/crypto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tls/provider/qtxTlsRecords.h"

namespace qtx {
namespace {

constexpr uint8_t kKeyUpdateRequested = 1;

SecBuffer* FindBuffer(SecBufferDesc* aBuffers, uint32_t aType) {
  if (!aBuffers) return nullptr;
  for (uint32_t i = 0; i < aBuffers->cBuffers; ++i)
    if (aBuffers->pBuffers[i].BufferType == aType) return &aBuffers->pBuffers[i];
  return nullptr;
}

// The output token: a copy the caller frees with FreeContextBuffer.
void GiveToken(SecBuffer& aToken, const TBytes& aBytes) {
  aToken.cbBuffer = 0;
  aToken.pvBuffer = nullptr;
  if (aBytes.empty()) return;
  auto* copy = new uint8_t[aBytes.size()];
  std::memcpy(copy, aBytes.data(), aBytes.size());
  aToken.pvBuffer = copy;
  aToken.cbBuffer = static_cast<uint32_t>(aBytes.size());
}

void SetBuffer(SecBuffer& aBuffer, uint32_t aType, uint8_t* aData, size_t aSize) {
  aBuffer.BufferType = aType;
  aBuffer.pvBuffer = aData;
  aBuffer.cbBuffer = static_cast<uint32_t>(aSize);
}

// The last aCount bytes of the token are for the next call.
void SetExtra(SecBuffer* aExtra, size_t aCount) {
  if (aExtra && aCount > 0) {
    aExtra->BufferType = SECBUFFER_EXTRA;
    aExtra->cbBuffer = static_cast<uint32_t>(aCount);
  }
}

// Server names are host names only: no SNI for an IP address.
bool IsIPLiteral(const char* aHost) {
  unsigned char address[16];
  return inet_pton(AF_INET, aHost, address) == 1 || inet_pton(AF_INET6, aHost, address) == 1;
}

SECURITY_STATUS HandshakeFailure(int aResult) {
  switch (aResult) {
    case GNUTLS_E_MEMORY_ERROR: return SEC_E_INSUFFICIENT_MEMORY;
    case GNUTLS_E_UNSUPPORTED_VERSION_PACKET:
    case GNUTLS_E_NO_CIPHER_SUITES:
    case GNUTLS_E_UNKNOWN_CIPHER_SUITE:
    case GNUTLS_E_NO_COMMON_KEY_SHARE:
    case GNUTLS_E_INSUFFICIENT_CREDENTIALS: return SEC_E_ALGORITHM_MISMATCH;
    case GNUTLS_E_DECRYPTION_FAILED: return SEC_E_DECRYPT_FAILURE;
    case GNUTLS_E_INTERNAL_ERROR: return SEC_E_INTERNAL_ERROR;
    default: return SEC_E_ILLEGAL_MESSAGE;
  }
}

uint32_t ProtocolBit(gnutls_protocol_t aVersion) {
  switch (aVersion) {
    case GNUTLS_TLS1_0: return SP_PROT_TLS1_0_CLIENT;
    case GNUTLS_TLS1_1: return SP_PROT_TLS1_1_CLIENT;
    case GNUTLS_TLS1_2: return SP_PROT_TLS1_2_CLIENT;
    case GNUTLS_TLS1_3: return SP_PROT_TLS1_3_CLIENT;
    default: return 0;
  }
}

ALG_ID CipherAlgorithm(gnutls_cipher_algorithm_t aCipher) {
  switch (aCipher) {
    case GNUTLS_CIPHER_AES_128_GCM:
    case GNUTLS_CIPHER_AES_128_CCM:
    case GNUTLS_CIPHER_AES_128_CBC: return CALG_AES_128;
    case GNUTLS_CIPHER_AES_256_GCM:
    case GNUTLS_CIPHER_AES_256_CCM:
    case GNUTLS_CIPHER_AES_256_CBC: return CALG_AES_256;
    case GNUTLS_CIPHER_3DES_CBC: return CALG_3DES;
    case GNUTLS_CIPHER_ARCFOUR_128: return CALG_RC4;
    default: return 0;  // ChaCha20 and others have no identifier
  }
}

ALG_ID HashAlgorithm(gnutls_digest_algorithm_t aHash) {
  switch (aHash) {
    case GNUTLS_DIG_MD5: return CALG_MD5;
    case GNUTLS_DIG_SHA1: return CALG_SHA1;
    case GNUTLS_DIG_SHA256: return CALG_SHA_256;
    case GNUTLS_DIG_SHA384: return CALG_SHA_384;
    case GNUTLS_DIG_SHA512: return CALG_SHA_512;
    default: return 0;
  }
}

uint32_t GroupStrength(gnutls_group_t aGroup) {
  switch (aGroup) {
    case GNUTLS_GROUP_SECP192R1: return 192;
    case GNUTLS_GROUP_SECP224R1: return 224;
    case GNUTLS_GROUP_SECP256R1: return 256;
    case GNUTLS_GROUP_SECP384R1: return 384;
    case GNUTLS_GROUP_SECP521R1: return 521;
    case GNUTLS_GROUP_X25519: return 255;
    case GNUTLS_GROUP_X448: return 448;
    case GNUTLS_GROUP_FFDHE2048: return 2048;
    case GNUTLS_GROUP_FFDHE3072: return 3072;
    case GNUTLS_GROUP_FFDHE4096: return 4096;
    case GNUTLS_GROUP_FFDHE6144: return 6144;
    case GNUTLS_GROUP_FFDHE8192: return 8192;
    default: return 0;
  }
}

bool IsFiniteFieldGroup(gnutls_group_t aGroup) {
  return aGroup >= GNUTLS_GROUP_FFDHE2048 && aGroup <= GNUTLS_GROUP_FFDHE8192;
}

}  // namespace

TSecurityContext::~TSecurityContext() {
  CancelHandshake();
  if (FSession) gnutls_deinit(FSession);
}

// ---------------------------------------------------------------- handshake

SECURITY_STATUS TSecurityContext::Initialize(const std::shared_ptr<TSecurityCredentials>& aCredentials,
                                             const char* aTargetName, SecBufferDesc* aInput, SecBufferDesc* aOutput) {
  SecBuffer* output = FindBuffer(aOutput, SECBUFFER_TOKEN);
  if (!output) return SEC_E_INVALID_TOKEN;
  GiveToken(*output, {});
  SecBuffer* token = FindBuffer(aInput, SECBUFFER_TOKEN);
  SecBuffer* extra = FindBuffer(aInput, SECBUFFER_EMPTY);
  switch (FState) {
    case TState::Fresh: {
      if (!aCredentials) return SEC_E_NO_CREDENTIALS;
      const SECURITY_STATUS status =
          Start(aCredentials, aTargetName, FindBuffer(aInput, SECBUFFER_APPLICATION_PROTOCOLS));
      return status == SEC_E_OK ? ContinueHandshake(nullptr, nullptr, output) : status;
    }
    case TState::Handshaking:
      if (aCredentials) FClientCredentials = aCredentials;
      return ContinueHandshake(token, extra, output);
    case TState::Established: return Established(token, extra, output);
    case TState::Closed: return SEC_I_CONTEXT_EXPIRED;
    case TState::Failed: break;
  }
  return SEC_E_INTERNAL_ERROR;
}

SECURITY_STATUS TSecurityContext::Start(const std::shared_ptr<TSecurityCredentials>& aCredentials,
                                        const char* aTargetName, const SecBuffer* aProtocols) {
  FCredentials = FClientCredentials = aCredentials;
  if (gnutls_init(&FSession, GNUTLS_CLIENT) < 0) {
    FSession = nullptr;
    return SEC_E_INSUFFICIENT_MEMORY;
  }
  gnutls_session_set_ptr(FSession, this);
  gnutls_transport_set_ptr(FSession, this);
  gnutls_transport_set_push_function(FSession, Push);
  gnutls_transport_set_pull_function(FSession, Pull);
  gnutls_transport_set_pull_timeout_function(FSession, PullTimeout);
  // Time-outs are the caller's: it reads the socket.
  gnutls_handshake_set_timeout(FSession, 0);
  gnutls_handshake_set_hook_function(FSession, GNUTLS_HANDSHAKE_KEY_UPDATE, GNUTLS_HOOK_POST, OnKeyUpdate);
  if (gnutls_priority_set(FSession, aCredentials->Priority()) < 0 ||
      gnutls_credentials_set(FSession, GNUTLS_CRD_CERTIFICATE, aCredentials->Certificates()) < 0)
    return SEC_E_INTERNAL_ERROR;
  if (aTargetName && *aTargetName && !IsIPLiteral(aTargetName))
    gnutls_server_name_set(FSession, GNUTLS_NAME_DNS, aTargetName, std::strlen(aTargetName));
  if (aProtocols) SetProtocols(*aProtocols);
  FState = TState::Handshaking;
  return SEC_E_OK;
}

void TSecurityContext::SetProtocols(const SecBuffer& aProtocols) {
  // uint32 lists size, uint32 extension (ALPN), uint16 list size, names.
  const auto* data = static_cast<const uint8_t*>(aProtocols.pvBuffer);
  if (aProtocols.cbBuffer < 10) return;
  uint32_t extension;
  uint16_t listSize;
  std::memcpy(&extension, data + 4, sizeof(extension));
  std::memcpy(&listSize, data + 8, sizeof(listSize));
  if (extension != SecApplicationProtocolNegotiationExt_ALPN || listSize > aProtocols.cbBuffer - 10u) return;
  std::vector<gnutls_datum_t> names;
  for (size_t i = 10; i < 10u + listSize;) {
    const size_t length = data[i];
    if (length == 0 || i + 1 + length > 10u + listSize) break;
    names.push_back({const_cast<uint8_t*>(data + i + 1), static_cast<unsigned>(length)});
    i += 1 + length;
  }
  if (!names.empty()) gnutls_alpn_set_protocols(FSession, names.data(), static_cast<unsigned>(names.size()), 0);
}

SECURITY_STATUS TSecurityContext::ContinueHandshake(SecBuffer* aToken, SecBuffer* aExtra, SecBuffer* aOutput) {
  const auto* data = aToken ? static_cast<const uint8_t*>(aToken->pvBuffer) : nullptr;
  const size_t size = aToken ? aToken->cbBuffer : 0;
  bool malformed = false;
  const size_t whole = WholeTlsRecords(data, size, malformed);
  if (whole == 0 && malformed) {
    FState = TState::Failed;
    return SEC_E_ILLEGAL_MESSAGE;
  }
  if (whole == 0 && FHandshake.joinable() && FStop == TStop::NeedRecords) return SEC_E_INCOMPLETE_MESSAGE;

  SetInput(data, whole);
  FOut.clear();
  const TStop stop = RunHandshake();
  const size_t consumed = FInPos;
  SetInput(nullptr, 0);
  GiveToken(*aOutput, FOut);
  SetExtra(aExtra, size - consumed);
  switch (stop) {
    case TStop::NeedRecords: return SEC_I_CONTINUE_NEEDED;
    case TStop::NeedCredentials: return SEC_I_INCOMPLETE_CREDENTIALS;
    case TStop::Finished: break;
  }
  if (FHandshakeResult < 0) {
    FState = TState::Failed;
    return HandshakeFailure(FHandshakeResult);
  }
  FState = TState::Established;
  return SEC_E_OK;
}

SECURITY_STATUS TSecurityContext::Established(SecBuffer* aToken, SecBuffer* aExtra, SecBuffer* aOutput) {
  if (FRenegotiate) {
    FRenegotiate = false;
    FState = TState::Handshaking;
    return ContinueHandshake(aToken, aExtra, aOutput);
  }
  if (FShutdownRequested) {
    FOut.clear();
    gnutls_bye(FSession, GNUTLS_SHUT_WR);
    FOwed.insert(FOwed.end(), FOut.begin(), FOut.end());
    FState = TState::Closed;
  }
  // Nothing to read here: what came in is for DecryptMessage.
  GiveToken(*aOutput, FOwed);
  FOwed.clear();
  SetExtra(aExtra, aToken ? aToken->cbBuffer : 0);
  return SEC_E_OK;
}

void TSecurityContext::SetInput(const uint8_t* aData, size_t aSize) {
  FIn = aData;
  FInEnd = aSize;
  FInPos = 0;
  FRecordEnd = 0;
}

// ---------------------------------------------------------------- turn taking

TSecurityContext::TStop TSecurityContext::RunHandshake() {
  {
    std::unique_lock lock(FTurnLock);
    FHandshakeTurn = true;
    if (FHandshake.joinable())
      FTurnChanged.notify_all();
    else
      FHandshake = std::thread(&TSecurityContext::HandshakeThread, this);
    FTurnChanged.wait(lock, [this] { return !FHandshakeTurn; });
  }
  if (FStop == TStop::Finished) FHandshake.join();
  return FStop;
}

bool TSecurityContext::HandBack(TStop aStop) {
  std::unique_lock lock(FTurnLock);
  if (FCancelled) return false;  // nobody will hand the turn back
  FStop = aStop;
  FHandshakeTurn = false;
  FTurnChanged.notify_all();
  FTurnChanged.wait(lock, [this] { return FHandshakeTurn; });
  return !FCancelled;
}

void TSecurityContext::HandshakeThread() {
  FHandshakeThreadId = std::this_thread::get_id();
  int result;
  do {
    result = gnutls_handshake(FSession);
  } while (result == GNUTLS_E_WARNING_ALERT_RECEIVED && !FCancelled);
  // The alert for the failure goes out with it.
  if (result < 0 && !FCancelled) gnutls_alert_send_appropriate(FSession, result);
  std::lock_guard lock(FTurnLock);
  FHandshakeResult = result;
  FStop = TStop::Finished;
  FHandshakeTurn = false;
  FTurnChanged.notify_all();
}

void TSecurityContext::CancelHandshake() {
  if (!FHandshake.joinable()) return;
  {
    std::lock_guard lock(FTurnLock);
    FCancelled = true;
    FHandshakeTurn = true;
    FTurnChanged.notify_all();
  }
  FHandshake.join();
}

// ---------------------------------------------------------------- GnuTLS callbacks

ssize_t TSecurityContext::Pull(gnutls_transport_ptr_t aContext, void* aBuffer, size_t aSize) {
  auto* self = static_cast<TSecurityContext*>(aContext);
  while (self->FInPos == self->FInEnd) {
    if (std::this_thread::get_id() != self->FHandshakeThreadId) {
      gnutls_transport_set_errno(self->FSession, EAGAIN);
      return -1;
    }
    if (!self->HandBack(TStop::NeedRecords)) {
      gnutls_transport_set_errno(self->FSession, ECONNRESET);
      return -1;
    }
  }
  // One record at a time, so GnuTLS never holds bytes past the one it reads.
  if (self->FInPos == self->FRecordEnd) {
    size_t length = 0;
    CheckTlsRecord(self->FIn + self->FInPos, self->FInEnd - self->FInPos, length);
    self->FRecordEnd = self->FInPos + length;
  }
  const size_t count = std::min(aSize, self->FRecordEnd - self->FInPos);
  std::memcpy(aBuffer, self->FIn + self->FInPos, count);
  self->FInPos += count;
  return static_cast<ssize_t>(count);
}

ssize_t TSecurityContext::Push(gnutls_transport_ptr_t aContext, const void* aData, size_t aSize) {
  auto* self = static_cast<TSecurityContext*>(aContext);
  const auto* bytes = static_cast<const uint8_t*>(aData);
  self->FOut.insert(self->FOut.end(), bytes, bytes + aSize);
  return static_cast<ssize_t>(aSize);
}

int TSecurityContext::PullTimeout(gnutls_transport_ptr_t aContext, unsigned) {
  auto* self = static_cast<TSecurityContext*>(aContext);
  return self->FInPos < self->FInEnd || std::this_thread::get_id() == self->FHandshakeThreadId ? 1 : 0;
}

int TSecurityContext::SelectClientCertificate(gnutls_session_t aSession, const gnutls_datum_t* aIssuers,
                                              int aIssuerCount, const gnutls_pk_algorithm_t*, int,
                                              gnutls_pcert_st** aChain, unsigned* aChainLength,
                                              gnutls_privkey_t* aKey) {
  auto* self = static_cast<TSecurityContext*>(gnutls_session_get_ptr(aSession));
  self->FIssuers.clear();
  for (int i = 0; i < aIssuerCount; ++i) self->FIssuers.emplace_back(aIssuers[i].data, aIssuers[i].data + aIssuers[i].size);
  self->FIssuerBlobs.clear();
  for (const TBytes& issuer : self->FIssuers)
    self->FIssuerBlobs.push_back({static_cast<uint32_t>(issuer.size()), issuer.data()});

  TSecurityCredentials* offer = self->FClientCredentials.get();
  if (offer->ClientChainLength() == 0 && (offer->Flags() & SCH_CRED_NO_DEFAULT_CREDS)) {
    // The caller answers with credentials that hold a certificate, or with
    // the same ones: then none is sent.
    if (!self->HandBack(TStop::NeedCredentials)) return -1;
    offer = self->FClientCredentials.get();
  }
  *aChain = offer->ClientChain();
  *aChainLength = offer->ClientChainLength();
  *aKey = offer->ClientKey();
  return 0;
}

int TSecurityContext::OnKeyUpdate(gnutls_session_t aSession, unsigned, unsigned, unsigned aIncoming,
                                  const gnutls_datum_t* aMessage) {
  auto* self = static_cast<TSecurityContext*>(gnutls_session_get_ptr(aSession));
  if (aIncoming && aMessage && aMessage->size >= 1 && aMessage->data[0] == kKeyUpdateRequested)
    self->FKeyUpdateRequested = true;
  return 0;
}

// ---------------------------------------------------------------- records

SECURITY_STATUS TSecurityContext::Decrypt(SecBufferDesc* aMessage) {
  if (FState == TState::Closed) return SEC_I_CONTEXT_EXPIRED;
  if (FState != TState::Established) return SEC_E_INVALID_HANDLE;
  SecBuffer* data = FindBuffer(aMessage, SECBUFFER_DATA);
  if (!data || aMessage->cBuffers < 4) return SEC_E_INVALID_TOKEN;
  auto* bytes = static_cast<uint8_t*>(data->pvBuffer);
  const size_t size = data->cbBuffer;
  size_t length = 0;
  switch (CheckTlsRecord(bytes, size, length)) {
    case TTlsRecordCheck::Whole: break;
    case TTlsRecordCheck::Incomplete: return SEC_E_INCOMPLETE_MESSAGE;
    case TTlsRecordCheck::Malformed: FState = TState::Failed; return SEC_E_DECRYPT_FAILURE;
  }

  // The plaintext takes the place of the record's body.
  SetInput(bytes, length);
  FOut.clear();
  const ssize_t result = gnutls_record_recv(FSession, bytes + kTlsRecordHeaderSize, length - kTlsRecordHeaderSize);
  SetInput(nullptr, 0);
  const size_t plain = result > 0 ? static_cast<size_t>(result) : 0;
  SecBuffer* buffers = aMessage->pBuffers;
  SetBuffer(buffers[0], SECBUFFER_STREAM_HEADER, bytes, kTlsRecordHeaderSize);
  SetBuffer(buffers[1], SECBUFFER_DATA, bytes + kTlsRecordHeaderSize, plain);
  SetBuffer(buffers[2], SECBUFFER_STREAM_TRAILER, bytes + kTlsRecordHeaderSize + plain,
            length - kTlsRecordHeaderSize - plain);
  SetBuffer(buffers[3], size > length ? SECBUFFER_EXTRA : SECBUFFER_EMPTY, bytes + length, size - length);

  if (result > 0) return SEC_E_OK;
  switch (result) {
    case 0:  // close_notify
      FState = TState::Closed;
      return SEC_I_CONTEXT_EXPIRED;
    case GNUTLS_E_AGAIN: {  // a post-handshake message, taken in
      if (FKeyUpdateRequested) {
        // The key update asked for goes out before any other record: an
        // empty write is how GnuTLS sends it at once.
        FKeyUpdateRequested = false;
        static const uint8_t kNothing = 0;
        gnutls_record_send(FSession, &kNothing, 0);
      }
      // Output owed to the peer is the next InitializeSecurityContext's token.
      FOwed.insert(FOwed.end(), FOut.begin(), FOut.end());
      return FOwed.empty() ? SEC_E_OK : SEC_I_RENEGOTIATE;
    }
    case GNUTLS_E_REHANDSHAKE:
      FRenegotiate = true;
      return SEC_I_RENEGOTIATE;
    case GNUTLS_E_WARNING_ALERT_RECEIVED: return SEC_E_OK;
    default: FState = TState::Failed; return SEC_E_DECRYPT_FAILURE;
  }
}

SECURITY_STATUS TSecurityContext::Encrypt(SecBufferDesc* aMessage) {
  if (FState == TState::Closed) return SEC_I_CONTEXT_EXPIRED;
  if (FState != TState::Established) return SEC_E_INVALID_HANDLE;
  SecBuffer* header = FindBuffer(aMessage, SECBUFFER_STREAM_HEADER);
  SecBuffer* data = FindBuffer(aMessage, SECBUFFER_DATA);
  SecBuffer* trailer = FindBuffer(aMessage, SECBUFFER_STREAM_TRAILER);
  if (!header || !data || !trailer) return SEC_E_INVALID_TOKEN;
  if (data->cbBuffer == 0) {
    header->cbBuffer = trailer->cbBuffer = 0;
    return SEC_E_OK;
  }
  FOut.clear();
  if (gnutls_record_send(FSession, data->pvBuffer, data->cbBuffer) != static_cast<ssize_t>(data->cbBuffer))
    return SEC_E_INTERNAL_ERROR;
  // The record is laid over the three buffers: what the caller sends of
  // them, in order, is the record.
  if (FOut.size() > size_t{header->cbBuffer} + data->cbBuffer + trailer->cbBuffer) return SEC_E_BUFFER_TOO_SMALL;
  const size_t headerSize = std::min<size_t>(header->cbBuffer, FOut.size());
  const size_t trailerSize = FOut.size() - headerSize - data->cbBuffer;
  std::memcpy(header->pvBuffer, FOut.data(), headerSize);
  std::memcpy(data->pvBuffer, FOut.data() + headerSize, data->cbBuffer);
  std::memcpy(trailer->pvBuffer, FOut.data() + headerSize + data->cbBuffer, trailerSize);
  header->cbBuffer = static_cast<uint32_t>(headerSize);
  trailer->cbBuffer = static_cast<uint32_t>(trailerSize);
  return SEC_E_OK;
}

SECURITY_STATUS TSecurityContext::ApplyControlToken(SecBufferDesc* aInput) {
  SecBuffer* token = FindBuffer(aInput, SECBUFFER_TOKEN);
  if (!token || token->cbBuffer < sizeof(uint32_t)) return SEC_E_INVALID_TOKEN;
  uint32_t control;
  std::memcpy(&control, token->pvBuffer, sizeof(control));
  if (control != SCHANNEL_SHUTDOWN) return SEC_E_UNSUPPORTED_FUNCTION;
  if (FState != TState::Established) return SEC_E_INVALID_HANDLE;
  FShutdownRequested = true;
  return SEC_E_OK;
}

// ---------------------------------------------------------------- attributes

SECURITY_STATUS TSecurityContext::QueryAttributes(uint32_t aAttribute, void* aBuffer) {
  if (!FSession || !aBuffer) return SEC_E_INVALID_HANDLE;
  switch (aAttribute) {
    case SECPKG_ATTR_STREAM_SIZES: {
      if (FState != TState::Established && FState != TState::Closed) return SEC_E_INVALID_HANDLE;
      auto& sizes = *static_cast<SecPkgContext_StreamSizes*>(aBuffer);
      const size_t overhead = gnutls_record_overhead_size(FSession);
      sizes.cbHeader = kTlsRecordHeaderSize;
      sizes.cbTrailer = static_cast<uint32_t>(overhead > kTlsRecordHeaderSize ? overhead - kTlsRecordHeaderSize : 0);
      sizes.cbMaximumMessage = static_cast<uint32_t>(gnutls_record_get_max_size(FSession));
      sizes.cBuffers = 4;
      sizes.cbBlockSize = static_cast<uint32_t>(gnutls_cipher_get_block_size(gnutls_cipher_get(FSession)));
      return SEC_E_OK;
    }
    case SECPKG_ATTR_CONNECTION_INFO:
      return ConnectionInfo(*static_cast<SecPkgContext_ConnectionInfo*>(aBuffer));
    case SECPKG_ATTR_APPLICATION_PROTOCOL: {
      auto& protocol = *static_cast<SecPkgContext_ApplicationProtocol*>(aBuffer);
      protocol = {};
      gnutls_datum_t selected;
      if (gnutls_alpn_get_selected_protocol(FSession, &selected) == 0 && selected.size <= sizeof(protocol.ProtocolId)) {
        protocol.ProtoNegoStatus = SecApplicationProtocolNegotiationStatus_Success;
        protocol.ProtoNegoExt = SecApplicationProtocolNegotiationExt_ALPN;
        protocol.ProtocolIdSize = static_cast<uint8_t>(selected.size);
        std::memcpy(protocol.ProtocolId, selected.data, selected.size);
      }
      return SEC_E_OK;
    }
    case SECPKG_ATTR_REMOTE_CERT_CONTEXT: return RemoteCertificate(*static_cast<PCCERT_CONTEXT*>(aBuffer));
    case SECPKG_ATTR_ISSUER_LIST_EX: {
      auto& list = *static_cast<SecPkgContext_IssuerListInfoEx*>(aBuffer);
      list.aIssuers = FIssuerBlobs.data();
      list.cIssuers = static_cast<uint32_t>(FIssuerBlobs.size());
      return SEC_E_OK;
    }
    default: return SEC_E_UNSUPPORTED_FUNCTION;
  }
}

SECURITY_STATUS TSecurityContext::ConnectionInfo(SecPkgContext_ConnectionInfo& aInfo) const {
  if (FState != TState::Established && FState != TState::Closed) return SEC_E_INVALID_HANDLE;
  aInfo = {};
  aInfo.dwProtocol = ProtocolBit(gnutls_protocol_get_version(FSession));
  const gnutls_cipher_algorithm_t cipher = gnutls_cipher_get(FSession);
  aInfo.aiCipher = CipherAlgorithm(cipher);
  aInfo.dwCipherStrength = static_cast<uint32_t>(gnutls_cipher_get_key_size(cipher) * 8);
  // An AEAD cipher has no MAC of its own: the hash is the handshake's.
  const gnutls_mac_algorithm_t mac = gnutls_mac_get(FSession);
  const gnutls_digest_algorithm_t hash =
      mac == GNUTLS_MAC_AEAD ? gnutls_prf_hash_get(FSession) : static_cast<gnutls_digest_algorithm_t>(mac);
  aInfo.aiHash = HashAlgorithm(hash);
  aInfo.dwHashStrength = static_cast<uint32_t>(gnutls_hash_get_len(hash) * 8);
  const gnutls_group_t group = gnutls_group_get(FSession);
  if (group != GNUTLS_GROUP_INVALID) {
    aInfo.aiExch = IsFiniteFieldGroup(group) ? CALG_DH_EPHEM : CALG_ECDH_EPHEM;
    aInfo.dwExchStrength = GroupStrength(group);
  } else if (gnutls_kx_get(FSession) == GNUTLS_KX_RSA) {
    aInfo.aiExch = CALG_RSA_KEYX;
  } else {
    aInfo.aiExch = CALG_DH_EPHEM;
    aInfo.dwExchStrength = static_cast<uint32_t>(gnutls_dh_get_prime_bits(FSession));
  }
  return SEC_E_OK;
}

SECURITY_STATUS TSecurityContext::RemoteCertificate(PCCERT_CONTEXT& aCertificate) const {
  unsigned count = 0;
  const gnutls_datum_t* chain = gnutls_certificate_get_peers(FSession, &count);
  if (!chain || count == 0) return SEC_E_NO_CREDENTIALS;
  auto certificate = TCertContext::FromDER(chain[0].data, chain[0].size);
  if (!certificate) return SEC_E_ILLEGAL_MESSAGE;
  auto rest = std::make_shared<TCertStore>();
  for (unsigned i = 1; i < count; ++i)
    if (auto other = TCertContext::FromDER(chain[i].data, chain[i].size)) rest->Add(std::move(other));
  certificate->hCertStore = std::move(rest);
  aCertificate = std::move(certificate);
  return SEC_E_OK;
}

}  // namespace qtx
