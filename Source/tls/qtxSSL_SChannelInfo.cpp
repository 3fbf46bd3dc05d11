// One SChannel connection: the start, the handshake loop and the record
// reads and writes on the socket.

#include "tls/qtxSSL_SChannelInfo.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/qtxSysUtils.h"
#include "tls/qtxSSL_SChannelTexts.h"

namespace qtx {

using namespace schannel_texts;

namespace {

// Sequence and replay detection, confidentiality, provider-allocated
// tokens, extended errors (an alert goes out with a failure), a stream.
constexpr uint32_t kRequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                   ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;
// Room for the handshake's flights and, later, for any record a peer may
// send (records can be longer than our own when the peer pads them).
constexpr size_t kReceiveBufferSize = 64 * 1024;
constexpr uint32_t kAllProtocols =
    SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;

std::string StatusText(SECURITY_STATUS aStatus) { return IntToHex(static_cast<uint32_t>(aStatus), 8); }

// The protocols not to negotiate: every one but the version asked for, or
// only SSL 3.0 (never offered) for the system's default range.
uint32_t DisabledProtocols(TwsTLSVersions aVersion) {
  switch (aVersion) {
    case tls1_0: return kAllProtocols & ~SP_PROT_TLS1_0_CLIENT;
    case tls1_1: return kAllProtocols & ~SP_PROT_TLS1_1_CLIENT;
    case tls1_2: return kAllProtocols & ~SP_PROT_TLS1_2_CLIENT;
    case tls1_3: return kAllProtocols & ~SP_PROT_TLS1_3_CLIENT;
    case tlsUndefined: break;
  }
  return SP_PROT_SSL3_CLIENT;
}

using TClock = std::chrono::steady_clock;

// Milliseconds left until aDeadline (never negative).
int RemainingMs(TClock::time_point aDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

TSSLInfo::TSSLInfo(const SecurityFunctionTable* aTable, TIdStackSocketHandle aSocket, std::string aHostName)
    : FTable(aTable), FSocket(aSocket), FHostName(std::move(aHostName)) {}

TSSLInfo::~TSSLInfo() {
  if (SecIsValidHandle(FContext)) FTable->DeleteSecurityContext(&FContext);
  if (SecIsValidHandle(FCredentials)) FTable->FreeCredentialsHandle(&FCredentials);
}

bool TSSLInfo::Fail(std::string aText) {
  TSChannelLastError& lastError = SChannelLastError();
  lastError.Text = std::move(aText);
  lastError.Code = FLastStatus;
  return false;
}

// ---------------------------------------------------------------- start

void TSSLInfo::BuildCredentials() {
  FTlsParameters.grbitDisabledProtocols = DisabledProtocols(TLSVersion);
  FSupportedAlgorithms.clear();
  size_t start = 0;
  while (start <= CipherList.size()) {
    const size_t end = std::min(CipherList.find(':', start), CipherList.size());
    if (const ALG_ID algorithm = AlgorithmId(Trim(CipherList.substr(start, end - start))))
      FSupportedAlgorithms.push_back(algorithm);
    start = end + 1;
  }
  FCredentialData.dwVersion = SCH_CREDENTIALS_VERSION;
  FCredentialData.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
  FCredentialData.cTlsParameters = 1;
  FCredentialData.pTlsParameters = &FTlsParameters;
  FCredentialData.cSupportedAlgs = static_cast<uint32_t>(FSupportedAlgorithms.size());
  FCredentialData.palgSupportedAlgs = FSupportedAlgorithms.data();
}

SECURITY_STATUS TSSLInfo::AcquireCredentials(const PCCERT_CONTEXT& aCertificate) {
  FClientCertificate = aCertificate;
  FCredentialData.cCreds = aCertificate ? 1 : 0;
  FCredentialData.paCred = aCertificate ? &FClientCertificate : nullptr;
  CredHandle credentials;
  const SECURITY_STATUS status =
      FTable->AcquireCredentialsHandle(UNISP_NAME, SECPKG_CRED_OUTBOUND, &FCredentialData, &credentials);
  if (status == SEC_E_OK) {
    if (SecIsValidHandle(FCredentials)) FTable->FreeCredentialsHandle(&FCredentials);
    FCredentials = credentials;
  }
  return status;
}

TBytes TSSLInfo::ApplicationProtocols() const {
  TBytes list;
  for (const std::string& protocol : ALPNProtocols) {
    if (protocol.empty() || protocol.size() > 255) continue;
    list.push_back(static_cast<uint8_t>(protocol.size()));
    list.insert(list.end(), protocol.begin(), protocol.end());
  }
  if (list.empty()) return {};
  // uint32 lists size, uint32 extension (ALPN), uint16 list size, the list.
  const uint32_t listsSize = static_cast<uint32_t>(6 + list.size());
  const uint32_t extension = SecApplicationProtocolNegotiationExt_ALPN;
  const uint16_t listSize = static_cast<uint16_t>(list.size());
  TBytes buffer(10);
  std::memcpy(buffer.data(), &listsSize, 4);
  std::memcpy(buffer.data() + 4, &extension, 4);
  std::memcpy(buffer.data() + 8, &listSize, 2);
  buffer.insert(buffer.end(), list.begin(), list.end());
  return buffer;
}

bool TSSLInfo::StartSChannelConnection() {
  BuildCredentials();
  FLastStatus = AcquireCredentials(nullptr);
  if (FLastStatus != SEC_E_OK) return Fail(std::string(RSAcquireCredentialsHandle) + StatusText(FLastStatus));

  TBytes protocols = ApplicationProtocols();
  SecBuffer protocolBuffer{static_cast<uint32_t>(protocols.size()), SECBUFFER_APPLICATION_PROTOCOLS, protocols.data()};
  SecBufferDesc input{SECBUFFER_VERSION, 1, &protocolBuffer};
  SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
  uint32_t attributes = 0;
  FLastStatus = FTable->InitializeSecurityContext(&FCredentials, nullptr, FHostName.c_str(), kRequestFlags,
                                                  SECURITY_NATIVE_DREP, protocols.empty() ? nullptr : &input,
                                                  &FContext, &output, &attributes);
  if (FLastStatus != SEC_I_CONTINUE_NEEDED) {
    FTable->FreeContextBuffer(token.pvBuffer);
    return Fail(std::string(RSFirstInitializeSecurityContext) + StatusText(FLastStatus));
  }
  if (!SendToken(token)) return Fail(std::string(RSSend) + IntToStr(FLastSocketError));

  FReceived.resize(kReceiveBufferSize);
  FReceivedCount = 0;
  if (SChannelHandshakeLoop(true) != 0) return false;
  if (Certificate.VerifyCertificate() && !VerifyServerCertificate()) return false;
  FLastStatus = FTable->QueryContextAttributes(&FContext, SECPKG_ATTR_STREAM_SIZES, &FSizes);
  if (FLastStatus != SEC_E_OK) return Fail(std::string(RSStreamSizes) + StatusText(FLastStatus));
  // Bytes past the handshake stay where they are: they are the first records.
  const size_t record = size_t{FSizes.cbHeader} + FSizes.cbMaximumMessage + FSizes.cbTrailer;
  if (FReceived.size() < record) FReceived.resize(record);
  FSendBuffer.resize(record);
  FEstablished = true;
  return true;
}

// ---------------------------------------------------------------- handshake

int TSSLInfo::SChannelHandshakeLoop(bool aRead) {
  while (true) {
    if (aRead && (FReceivedCount == 0 || FLastStatus == SEC_E_INCOMPLETE_MESSAGE)) {
      const int received = ReceiveRecords(HandshakeTimeout);
      if (received <= 0) {
        Fail(std::string(RSRecv) + IntToHex(received == 0 ? 0 : static_cast<uint32_t>(FLastSocketError), 8));
        return received < 0 ? received : -1;
      }
    }
    SecBuffer input[2] = {{static_cast<uint32_t>(FReceivedCount), SECBUFFER_TOKEN, FReceived.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
    uint32_t attributes = 0;
    FLastStatus = FTable->InitializeSecurityContext(&FCredentials, &FContext, FHostName.c_str(), kRequestFlags,
                                                    SECURITY_NATIVE_DREP, &inputDesc, nullptr, &output, &attributes);
    // The token (an alert with a failure) goes out whatever the status.
    if (!SendToken(token)) {
      Fail(std::string(RSSend) + IntToStr(FLastSocketError));
      return -1;
    }
    if (input[1].BufferType == SECBUFFER_EXTRA) {
      std::memmove(FReceived.data(), FReceived.data() + FReceivedCount - input[1].cbBuffer, input[1].cbBuffer);
      FReceivedCount = input[1].cbBuffer;
    } else if (FLastStatus != SEC_E_INCOMPLETE_MESSAGE) {
      FReceivedCount = 0;
    }
    switch (FLastStatus) {
      case SEC_E_OK: return 0;
      case SEC_E_INCOMPLETE_MESSAGE:
      case SEC_I_CONTINUE_NEEDED: aRead = true; break;
      case SEC_I_INCOMPLETE_CREDENTIALS:
        if (!ObtainClientCredentials()) return -1;
        aRead = false;
        break;
      default: Fail(std::string(RSInitializeSecurityContext) + StatusText(FLastStatus)); return -1;
    }
  }
}

// ---------------------------------------------------------------- records

int TSSLInfo::SChannelDecrypt(int aMilliseconds) {
  if (FDataCount > 0) return static_cast<int>(FDataCount);
  if (FReadEnd != TReadEnd::None) return -1;
  const bool limited = aMilliseconds >= 0;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(limited ? aMilliseconds : 0);
  while (FDataCount == 0) {
    if (FReceivedCount == 0 || FLastStatus == SEC_E_INCOMPLETE_MESSAGE) {
      // A wait that runs out, also in the middle of a record, is a time-out:
      // what arrived stays for the next read.
      const int received = ReceiveRecords(limited ? RemainingMs(deadline) : -1);
      if (received < 0 && limited && FLastSocketError == Id_WSAETIMEDOUT) return 0;
      if (received == 0) {
        FReadEnd = TReadEnd::Failed;
        Fail(std::string(RSClosedWithoutCloseNotify));
        return -1;
      }
      if (received < 0) {
        FReadEnd = TReadEnd::SocketError;
        Fail(std::string(RSRecv) + IntToHex(static_cast<uint32_t>(FLastSocketError), 8));
        return -1;
      }
    }
    SecBuffer buffers[4] = {{static_cast<uint32_t>(FReceivedCount), SECBUFFER_DATA, FReceived.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    FLastStatus = FTable->DecryptMessage(&FContext, &message, 0, nullptr);
    if (FLastStatus == SEC_E_INCOMPLETE_MESSAGE) continue;
    if (FLastStatus == SEC_I_CONTEXT_EXPIRED) {
      FReadEnd = TReadEnd::Closed;
      Fail(std::string(RSContextExpired));
      return -1;
    }
    if (FLastStatus == SEC_E_DECRYPT_FAILURE) {
      FReadEnd = TReadEnd::Failed;
      Fail(std::string(RSDecryptFailure));
      return -1;
    }
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0) {
        if (FData.size() < FDataStart + FDataCount + buffer.cbBuffer)
          FData.resize(FDataStart + FDataCount + buffer.cbBuffer);
        std::memcpy(FData.data() + FDataStart + FDataCount, buffer.pvBuffer, buffer.cbBuffer);
        FDataCount += buffer.cbBuffer;
      } else if (buffer.BufferType == SECBUFFER_EXTRA) {
        extra = &buffer;
      }
    }
    if (extra) {
      std::memmove(FReceived.data(), extra->pvBuffer, extra->cbBuffer);
      FReceivedCount = extra->cbBuffer;
    } else {
      FReceivedCount = 0;
    }
    if (FLastStatus == SEC_I_RENEGOTIATE) {
      if (SChannelHandshakeLoop(false) != 0) {
        FReadEnd = TReadEnd::Failed;
        return -1;
      }
    } else if (FLastStatus != SEC_E_OK) {
      FReadEnd = TReadEnd::Failed;
      Fail(std::string(RSDecryptMessage) + StatusText(FLastStatus));
      return -1;
    }
  }
  return static_cast<int>(FDataCount);
}

int TSSLInfo::TakeData(std::span<uint8_t> aBuffer) {
  const size_t count = std::min(aBuffer.size(), FDataCount);
  std::memcpy(aBuffer.data(), FData.data() + FDataStart, count);
  FDataStart += count;
  FDataCount -= count;
  if (FDataCount == 0) FDataStart = 0;
  return static_cast<int>(count);
}

int TSSLInfo::SChannelEncrypt(const uint8_t* aData, int aLength) {
  int sent = 0;
  while (sent < aLength) {
    const uint32_t piece = std::min<uint32_t>(static_cast<uint32_t>(aLength - sent), FSizes.cbMaximumMessage);
    uint8_t* header = FSendBuffer.data();
    std::memcpy(header + FSizes.cbHeader, aData + sent, piece);
    SecBuffer buffers[4] = {{FSizes.cbHeader, SECBUFFER_STREAM_HEADER, header},
                            {piece, SECBUFFER_DATA, header + FSizes.cbHeader},
                            {FSizes.cbTrailer, SECBUFFER_STREAM_TRAILER, header + FSizes.cbHeader + piece},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    FLastStatus = FTable->EncryptMessage(&FContext, 0, &message, 0);
    if (FLastStatus < 0) {
      Fail(std::string(RSEncryptMessage) + StatusText(FLastStatus));
      FLastSocketError = 0;
      return -1;
    }
    const size_t record = size_t{buffers[0].cbBuffer} + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (!SendAll(header, record)) return -1;
    sent += static_cast<int>(piece);
  }
  return sent;
}

void TSSLInfo::SendCloseNotify() {
  if (!FEstablished || FReadEnd != TReadEnd::None) return;
  uint32_t shutdown = SCHANNEL_SHUTDOWN;
  SecBuffer control{sizeof(shutdown), SECBUFFER_TOKEN, &shutdown};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
  if (FTable->ApplyControlToken(&FContext, &controlDesc) != SEC_E_OK) return;
  SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
  uint32_t attributes = 0;
  FTable->InitializeSecurityContext(&FCredentials, &FContext, FHostName.c_str(), kRequestFlags,
                                    SECURITY_NATIVE_DREP, nullptr, nullptr, &output, &attributes);
  SendToken(token);
}

// ---------------------------------------------------------------- socket

int TSSLInfo::ReceiveRecords(int aWaitMilliseconds) {
  if (FReceivedCount == FReceived.size()) FReceived.resize(FReceived.size() * 2);
  if (aWaitMilliseconds >= 0 && !GStack()->Readable(FSocket, aWaitMilliseconds)) {
    FLastSocketError = Id_WSAETIMEDOUT;
    return -1;
  }
  const int received = GStack()->WSRecv(FSocket, FReceived.data() + FReceivedCount,
                                        static_cast<int>(FReceived.size() - FReceivedCount));
  if (received < 0) {
    FLastSocketError = GStack()->WSGetLastError();
  } else {
    FReceivedCount += static_cast<size_t>(received);
  }
  return received;
}

bool TSSLInfo::SendAll(const uint8_t* aData, size_t aSize) {
  while (aSize > 0) {
    const int sent = GStack()->WSSend(FSocket, aData, static_cast<int>(aSize));
    if (sent < 0) {
      FLastSocketError = GStack()->WSGetLastError();
      return false;
    }
    aData += sent;
    aSize -= static_cast<size_t>(sent);
  }
  return true;
}

bool TSSLInfo::SendToken(SecBuffer& aToken) {
  const bool sent = SendAll(static_cast<const uint8_t*>(aToken.pvBuffer), aToken.cbBuffer);
  FTable->FreeContextBuffer(aToken.pvBuffer);
  aToken.pvBuffer = nullptr;
  return sent;
}

}  // namespace qtx
