#pragma once
// The second TLS channel: a TLS client driven through the security
// provider (tls/provider: the SSPI and CryptoAPI shapes over GnuTLS) on the
// raw socket of the stack handler. The TCP connection (and any proxy
// tunnel) is made in the clear; then credentials are acquired, the
// InitializeSecurityContext handshake runs, the server's certificate is
// checked against the certificate stores, and reads and writes go through
// DecryptMessage and EncryptMessage.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/qtxIdException.h"
#include "platform/qtxStrings.h"
#include "tls/provider/qtxSecurityProvider.h"
#include "tls/qtxIdSSL.h"

namespace qtx {

enum TwsTLSVersions { tlsUndefined, tls1_0, tls1_1, tls1_2, tls1_3 };

enum TqtxSChannelCertStoreName { scsnMY, scsnRoot, scsnTrust, scsnCA };
enum TqtxSChannelCertStorePath { scspStoreCurrentUser, scspStoreLocalMachine };

// "MY", "Root", "Trust", "CA".
const char* CertStoreNameText(TqtxSChannelCertStoreName aName);
// CERT_SYSTEM_STORE_CURRENT_USER or CERT_SYSTEM_STORE_LOCAL_MACHINE.
uint32_t CertStoreLocation(TqtxSChannelCertStorePath aPath);

// The certificate settings: the client certificate (by thumbprint in a
// store, or from a PFX file) and whether the server's is verified.
class TqtxSChannelCertificate {
public:
  const std::string& CertFilePassword() const noexcept { return FCertFilePassword; }
  void SetCertFilePassword(const std::string& aValue) { FCertFilePassword = aValue; }
  // Hexadecimal SHA-1 thumbprint, 40 characters.
  const std::string& CertHash() const noexcept { return FCertHash; }
  void SetCertHash(const std::string& aValue) { FCertHash = aValue; }
  // A PFX (PKCS#12) file.
  const std::string& CertFile() const noexcept { return FCertFile; }
  void SetCertFile(const std::string& aValue) { FCertFile = aValue; }
  TqtxSChannelCertStoreName CertStoreName() const noexcept { return FCertStoreName; }
  void SetCertStoreName(TqtxSChannelCertStoreName aValue) { FCertStoreName = aValue; }
  TqtxSChannelCertStorePath CertStorePath() const noexcept { return FCertStorePath; }
  void SetCertStorePath(TqtxSChannelCertStorePath aValue) { FCertStorePath = aValue; }
  bool VerifyCertificate() const noexcept { return FVerifyCertificate; }
  void SetVerifyCertificate(bool aValue) { FVerifyCertificate = aValue; }

private:
  std::string FCertFilePassword;
  std::string FCertHash;
  std::string FCertFile;
  TqtxSChannelCertStoreName FCertStoreName = scsnMY;
  TqtxSChannelCertStorePath FCertStorePath = scspStoreCurrentUser;
  bool FVerifyCertificate = false;
};

// What a connection negotiated. Protocol: 1 TLS 1.0, 2 TLS 1.1, 3 TLS 1.2,
// 4 TLS 1.3, 0 anything else; the algorithm names are those of the
// algorithm table ("" for an algorithm without an identifier).
struct TqtxSChannelConnectionInfo {
  int Protocol = 0;
  std::string Cipher;
  int CiperStrength = 0;
  std::string Hash;
  int HashStrength = 0;
  std::string Exchange;
  int ExchangeStrength = 0;
};

// The algorithm table: a "CALG_..." name for an identifier ("" when the
// table has none) and the identifier for a name (0 when unknown).
std::string AlgorithmName(ALG_ID aAlgorithm);
ALG_ID AlgorithmId(const std::string& aName);
TqtxSChannelConnectionInfo ConnectionInfoOf(const SecPkgContext_ConnectionInfo& aInfo);

// A failed start, read or write; CertStatus is the certificate's policy
// status when verification failed.
class SChannelError : public EIdException {
public:
  SChannelError(std::string aMessage, uint32_t aCertStatus = 0)
      : EIdException(std::move(aMessage)), FCertStatus(aCertStatus) {}
  uint32_t CertStatus() const noexcept { return FCertStatus; }

private:
  uint32_t FCertStatus;
};

// The last failure inside the channel on this thread.
struct TSChannelLastError {
  std::string Text;
  SECURITY_STATUS Code = 0;
  uint32_t CertStatus = 0;
};
TSChannelLastError& SChannelLastError();

class TSSLInfo;

class TqtxIdSSLIOHandlerSocketSChannel : public TIdSSLIOHandlerSocketBase {
public:
  using TCredentialsCallBack = std::function<void(TqtxIdSSLIOHandlerSocketSChannel& aSender)>;

  explicit TqtxIdSSLIOHandlerSocketSChannel(TComponent* aOwner = nullptr);
  ~TqtxIdSSLIOHandlerSocketSChannel() override;

  TwsTLSVersions TLSVersion() const noexcept { return FTLSVersion; }
  void SetTLSVersion(TwsTLSVersions aValue) { FTLSVersion = aValue; }
  TqtxSChannelCertificate& Certificate() noexcept { return FCertificate; }
  void SetCertificate(const TqtxSChannelCertificate& aValue) { FCertificate = aValue; }
  // "CALG_..." names separated by ":"; the bulk ciphers among them are the
  // only ones offered.
  const std::string& CipherList() const noexcept { return FCipherList; }
  void SetCipherList(const std::string& aValue) { FCipherList = aValue; }
  // The protocols offered by ALPN, by preference.
  TStrings& ALPNProtocols() noexcept { return FALPNProtocols; }

  // The protocol the server chose by ALPN ("" when none).
  std::string GetALPNProtocol();
  // What the connection negotiated (empty without a TLS connection).
  TqtxSChannelConnectionInfo GetInfo();

  void SetPassThrough(bool aValue) override;
  void StartSSL() override;
  // Sends close_notify when TLS is up, closes the socket, then releases the
  // TLS state.
  void Close() override;
  bool Connected() override;
  // Decrypted bytes waiting count at once; otherwise waits for a record.
  bool Readable(int aMSec = IdTimeoutDefault) override;
  // A handler with the same settings.
  std::unique_ptr<TIdSSLIOHandlerSocketBase> Clone() override;

  // Called before a client certificate is looked for in the "MY" store
  // (at the start and when the server asks for one), so that one can be
  // put there first.
  TCredentialsCallBack OnCredentials;

protected:
  void ConnectToPeer() override;
  int ReadSecure(std::span<uint8_t> aBuffer) override;
  int WriteSecure(const TIdBytes& aBuffer, int aOffset, int aLength) override;
  // Socket failures of a TLS read or write follow the socket rule; TLS
  // failures raise SChannelError.
  int FilterSocketError(int aResult) override;

private:
  void StartSChannelConnection();
  // The server name and the name its certificate must carry.
  std::string TLSHostName() const;
  void ReleaseState(bool aSendCloseNotify);

  // The system's default range, so that a default handler reaches current
  // servers (TLS 1.0 alone is refused by most).
  TwsTLSVersions FTLSVersion = tlsUndefined;
  TqtxSChannelCertificate FCertificate;
  std::string FCipherList;
  TStringList FALPNProtocols;
  std::unique_ptr<TSSLInfo> FSSLInfo;
  // The socket error of the last failed TLS read or write (0: a TLS failure).
  int FLastSocketError = 0;
};

}  // namespace qtx
