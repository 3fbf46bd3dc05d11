#pragma once
// The state of one SChannel TLS connection and the steps that use it: the
// start (credentials, handshake, certificate check), the handshake loop,
// client credentials on the server's request, and the record reads and
// writes on the socket. Allocated at the start of the handshake, released
// (context deleted, credentials freed) when the connection closes.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tls/provider/qtxCertificateStore.h"
#include "tls/provider/qtxSecurityProvider.h"
#include "tls/qtxSSL_SChannel.h"
#include "transport/qtxIdStack.h"

namespace qtx {

class TSSLInfo {
public:
  // How the last read ended when it produced no data.
  enum class TReadEnd { None, Closed, SocketError, Failed };

  TSSLInfo(const SecurityFunctionTable* aTable, TIdStackSocketHandle aSocket, std::string aHostName);
  // Deletes the security context (whatever the last status was) and frees
  // the credentials.
  ~TSSLInfo();
  TSSLInfo(const TSSLInfo&) = delete;
  TSSLInfo& operator=(const TSSLInfo&) = delete;

  // Credentials, handshake, certificate check and buffers; false with
  // SChannelLastError set when any of them fails.
  bool StartSChannelConnection();
  // Decrypted bytes waiting (at once), or decrypts records until some
  // exist, waiting at most aMilliseconds (negative: no limit) for the
  // socket: the count, 0 when the time ran out, -1 when the read ended
  // (ReadEnd tells how; every later call returns -1 too).
  int SChannelDecrypt(int aMilliseconds);
  // Encrypts and sends all of the bytes: the count, or the failed send's
  // result (LastSocketError tells why) or -1 when encryption failed.
  int SChannelEncrypt(const uint8_t* aData, int aLength);
  // Sends close_notify (best effort).
  void SendCloseNotify();
  // Takes up to aBuffer's size of the decrypted bytes.
  int TakeData(std::span<uint8_t> aBuffer);

  TReadEnd ReadEnd() const noexcept { return FReadEnd; }
  int LastSocketError() const noexcept { return FLastSocketError; }
  SECURITY_STATUS LastStatus() const noexcept { return FLastStatus; }
  bool Established() const noexcept { return FEstablished; }
  CtxtHandle& Context() noexcept { return FContext; }
  const SecurityFunctionTable& Table() const noexcept { return *FTable; }

  // Settings, filled before the start.
  TwsTLSVersions TLSVersion = tlsUndefined;
  std::vector<std::string> ALPNProtocols;
  TqtxSChannelCertificate Certificate;
  std::string CipherList;
  // The "MY" store searched by issuer.
  HCERTSTORE MyStore;
  // How long a handshake read may wait, in milliseconds.
  int HandshakeTimeout = 30000;
  std::function<void()> CredentialsCallback;
  // Read on first request.
  std::optional<TqtxSChannelConnectionInfo> ConnectionInfo;

private:
  void BuildCredentials();
  SECURITY_STATUS AcquireCredentials(const PCCERT_CONTEXT& aCertificate);
  TBytes ApplicationProtocols() const;
  // 0 when the handshake finished, else the failed result (error text set).
  int SChannelHandshakeLoop(bool aRead);
  bool ObtainClientCredentials();
  bool TryClientCertificate(const PCCERT_CONTEXT& aCertificate);
  bool VerifyServerCertificate();
  bool Fail(std::string aText);

  // Socket reads and writes: the count, 0 when the peer closed, or -1
  // (LastSocketError set); a wait that runs out gives -1 with 10060.
  int ReceiveRecords(int aWaitMilliseconds);
  bool SendAll(const uint8_t* aData, size_t aSize);
  bool SendToken(SecBuffer& aToken);

  const SecurityFunctionTable* FTable;
  TIdStackSocketHandle FSocket;
  std::string FHostName;
  CredHandle FCredentials;
  CtxtHandle FContext;
  SCH_CREDENTIALS FCredentialData{};
  TLS_PARAMETERS FTlsParameters{};
  std::vector<ALG_ID> FSupportedAlgorithms;
  PCCERT_CONTEXT FClientCertificate;
  SECURITY_STATUS FLastStatus = SEC_E_OK;
  bool FEstablished = false;
  TReadEnd FReadEnd = TReadEnd::None;
  int FLastSocketError = 0;

  // Ciphertext received and not yet decrypted.
  TBytes FReceived;
  size_t FReceivedCount = 0;
  // Plaintext not yet handed out.
  TBytes FData;
  size_t FDataStart = 0;
  size_t FDataCount = 0;
  TBytes FSendBuffer;
  SecPkgContext_StreamSizes FSizes{};
};

}  // namespace qtx
