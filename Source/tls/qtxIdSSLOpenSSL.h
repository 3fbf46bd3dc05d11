#pragma once
// TLS over OpenSSL: the options, the context built from them, the session on
// a connected socket, and their exceptions. The IO handler that puts them
// under the IO handler's primitives is at the end of this header.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/qtxIdException.h"
#include "core/qtxIdSet.h"
#include "core/qtxIdTextEncoding.h"
#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "platform/qtxStrings.h"
#include "tls/qtxIdSSL.h"
#include "tls/qtxIdSSLOpenSSLX509.h"

namespace qtx {

// ---------------------------------------------------------------- options

enum TIdSSLVersion { sslvSSLv2, sslvSSLv23, sslvSSLv3, sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2, sslvTLSv1_3 };
enum TIdSSLMode { sslmUnassigned, sslmClient, sslmServer, sslmBoth };
enum TIdSSLVerifyMode { sslvrfPeer, sslvrfFailIfNoPeerCert, sslvrfClientOnce };
enum TIdSSLCtxMode { sslCtxClient, sslCtxServer };

using TIdSSLVersions = TIdSet<TIdSSLVersion>;
using TIdSSLVerifyModeSet = TIdSet<TIdSSLVerifyMode>;

// Every version except the flexible "SSLv23" one (set value 125).
constexpr TIdSSLVersions kAllSSLVersions =
    TIdSSLVersions{sslvSSLv2, sslvSSLv3, sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2, sslvTLSv1_3};

// The TLS settings of a handler. Method and SSLVersions follow each other:
// a single version is also the method; several versions use the flexible
// method sslvSSLv23.
class TIdSSLOptions {
public:
  const std::string& RootCertFile() const noexcept { return fsRootCertFile; }
  void SetRootCertFile(const std::string& aValue) { fsRootCertFile = aValue; }
  const std::string& CertFile() const noexcept { return fsCertFile; }
  void SetCertFile(const std::string& aValue) { fsCertFile = aValue; }
  const std::string& KeyFile() const noexcept { return fsKeyFile; }
  void SetKeyFile(const std::string& aValue) { fsKeyFile = aValue; }
  const std::string& DHParamsFile() const noexcept { return fsDHParamsFile; }
  void SetDHParamsFile(const std::string& aValue) { fsDHParamsFile = aValue; }
  TIdSSLVersion Method() const noexcept { return fMethod; }
  void SetMethod(TIdSSLVersion aValue);
  TIdSSLVersions SSLVersions() const noexcept { return fSSLVersions; }
  void SetSSLVersions(TIdSSLVersions aValue);
  TIdSSLMode Mode() const noexcept { return fMode; }
  void SetMode(TIdSSLMode aValue) { fMode = aValue; }
  int32_t VerifyDepth() const noexcept { return fVerifyDepth; }
  void SetVerifyDepth(int32_t aValue) { fVerifyDepth = aValue; }
  TIdSSLVerifyModeSet VerifyMode() const noexcept { return fVerifyMode; }
  void SetVerifyMode(TIdSSLVerifyModeSet aValue) { fVerifyMode = aValue; }
  const std::string& VerifyDirs() const noexcept { return fVerifyDirs; }
  void SetVerifyDirs(const std::string& aValue) { fVerifyDirs = aValue; }
  const std::string& CipherList() const noexcept { return fCipherList; }
  void SetCipherList(const std::string& aValue) { fCipherList = aValue; }

private:
  std::string fsRootCertFile;
  std::string fsCertFile;
  std::string fsKeyFile;
  std::string fsDHParamsFile;
  // TLS 1.2 and 1.3 through the flexible method: what current servers offer
  // (TLS 1.0 and 1.1 are deprecated and refused by most).
  TIdSSLVersion fMethod = sslvSSLv23;
  TIdSSLVersions fSSLVersions{sslvTLSv1_2, sslvTLSv1_3};
  TIdSSLMode fMode = sslmUnassigned;
  int32_t fVerifyDepth = 0;
  TIdSSLVerifyModeSet fVerifyMode;
  std::string fVerifyDirs;
  std::string fCipherList;
};

// ---------------------------------------------------------------- exceptions

// A failure with a code from OpenSSL's error queue.
class EIdOpenSSLAPICryptoError : public EIdOpenSSLError {
public:
  EIdOpenSSLAPICryptoError(std::string aMessage, unsigned long aErrorCode = 0)
      : EIdOpenSSLError(std::move(aMessage)), FErrorCode(aErrorCode) {}
  unsigned long ErrorCode() const noexcept { return FErrorCode; }

private:
  unsigned long FErrorCode;
};

// A failed session call: SSL_get_error's code and the call's return value.
class EIdOpenSSLAPISSLError : public EIdOpenSSLError {
public:
  EIdOpenSSLAPISSLError(std::string aMessage, int aErrorCode = 0, int aRetCode = 0)
      : EIdOpenSSLError(std::move(aMessage)), FErrorCode(aErrorCode), FRetCode(aRetCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }
  int RetCode() const noexcept { return FRetCode; }

private:
  int FErrorCode;
  int FRetCode;
};

class EIdOSSLModeNotSet : public EIdOpenSSLError {
public:
  EIdOSSLModeNotSet() : EIdOpenSSLError("Mode has not been set.") {}
  using EIdOpenSSLError::EIdOpenSSLError;
};
class EIdOSSLGetMethodError : public EIdOpenSSLError {
public:
  EIdOSSLGetMethodError() : EIdOpenSSLError("Error getting SSL method.") {}
  using EIdOpenSSLError::EIdOpenSSLError;
};
class EIdOSSLCreatingSessionError : public EIdOpenSSLError {
public:
  EIdOSSLCreatingSessionError() : EIdOpenSSLError("Error creating SSL session.") {}
  using EIdOpenSSLError::EIdOpenSSLError;
};
class EIdOSSLSettingCipherError : public EIdOpenSSLError {
public:
  EIdOSSLSettingCipherError() : EIdOpenSSLError("SetCipher failed.") {}
  using EIdOpenSSLError::EIdOpenSSLError;
};
class EIdOSSLCreatingContextError : public EIdOpenSSLAPICryptoError { using EIdOpenSSLAPICryptoError::EIdOpenSSLAPICryptoError; };
class EIdOSSLLoadingRootCertError : public EIdOpenSSLAPICryptoError { using EIdOpenSSLAPICryptoError::EIdOpenSSLAPICryptoError; };
class EIdOSSLLoadingCertError : public EIdOpenSSLAPICryptoError { using EIdOpenSSLAPICryptoError::EIdOpenSSLAPICryptoError; };
class EIdOSSLLoadingKeyError : public EIdOpenSSLAPICryptoError { using EIdOpenSSLAPICryptoError::EIdOpenSSLAPICryptoError; };
class EIdOSSLLoadingDHParamsError : public EIdOpenSSLAPICryptoError { using EIdOpenSSLAPICryptoError::EIdOpenSSLAPICryptoError; };
class EIdOSSLSettingALPNError : public EIdOpenSSLAPICryptoError {
public:
  EIdOSSLSettingALPNError() : EIdOpenSSLAPICryptoError("Error Updating ALPN Protocols") {}
  using EIdOpenSSLAPICryptoError::EIdOpenSSLAPICryptoError;
};
class EIdOSSLUnderlyingCryptoError : public EIdOpenSSLAPISSLError { using EIdOpenSSLAPISSLError::EIdOpenSSLAPISSLError; };
class EIdOSSLFDSetError : public EIdOpenSSLAPISSLError { using EIdOpenSSLAPISSLError::EIdOpenSSLAPISSLError; };
class EIdOSSLDataBindingError : public EIdOpenSSLAPISSLError { using EIdOpenSSLAPISSLError::EIdOpenSSLAPISSLError; };
class EIdOSSLAcceptError : public EIdOpenSSLAPISSLError { using EIdOpenSSLAPISSLError::EIdOpenSSLAPISSLError; };
class EIdOSSLConnectError : public EIdOpenSSLAPISSLError { using EIdOpenSSLAPISSLError::EIdOpenSSLAPISSLError; };

// The text of the first entry of OpenSSL's error queue (which is emptied).
std::string OpenSSLErrorText();

// ---------------------------------------------------------------- context

// What a TLS context and session ask of the handler that owns them.
class IIdSSLEvents {
public:
  virtual void FireStatusInfo(const std::string& aMsg) = 0;
  virtual void FireStatusInfoEx(PSSL aSSL, int aWhere, int aRet, const std::string& aType,
                                const std::string& aMsg) = 0;
  virtual void FireGetPassword(std::string& aPassword) = 0;
  virtual void FireGetPasswordEx(std::string& aPassword, bool aIsWrite) = 0;
  // True when the certificate is accepted; called for every certificate of the chain.
  virtual bool FireVerifyPeer(TIdX509& aCertificate, bool aOk, int aDepth, int aError) = 0;

protected:
  ~IIdSSLEvents() = default;
};

// One SSL_CTX set up from a copy of the options.
class TIdSSLContext {
public:
  // Loads the OpenSSL libraries (EIdOSSLCouldNotLoadSSLLibrary when it cannot).
  TIdSSLContext();
  ~TIdSSLContext();
  TIdSSLContext(const TIdSSLContext&) = delete;
  TIdSSLContext& operator=(const TIdSSLContext&) = delete;

  // Builds the SSL_CTX: method, protocol range, files, callbacks, verify
  // mode, ALPN. Raises the EIdOSSL... exception of the failing step.
  void InitContext(TIdSSLCtxMode aCtxMode);
  void DestroyContext();

  PSSL_CTX Context() const noexcept { return fContext; }
  TIdSSLOptions& Options() noexcept { return FOptions; }
  const TIdSSLOptions& Options() const noexcept { return FOptions; }
  bool StatusInfoOn() const noexcept { return fStatusInfoOn; }
  void SetStatusInfoOn(bool aValue) { fStatusInfoOn = aValue; }
  bool VerifyOn() const noexcept { return fVerifyOn; }
  void SetVerifyOn(bool aValue) { fVerifyOn = aValue; }
  TIdSSLCtxMode CtxMode() const noexcept { return fCtxMode; }
  TStringList& ALPNProtocols() noexcept { return FALPNProtocols; }
  IIdSSLEvents* Parent() const noexcept { return FParent; }
  void SetParent(IIdSSLEvents* aParent) { FParent = aParent; }

private:
  PSSL_METHOD SelectMethod() const;
  void ApplyProtocolSwitches();
  void LoadFiles();
  void LoadCertificate();
  void LoadKey();
  void LoadDHParams();
  void ApplyALPN();

  TIdSSLOptions FOptions;
  PSSL_CTX fContext = nullptr;
  bool fStatusInfoOn = false;
  bool fVerifyOn = false;
  TIdSSLCtxMode fCtxMode = sslCtxClient;
  TStringList FALPNProtocols;
  IIdSSLEvents* FParent = nullptr;
};

// The cipher the session negotiated.
class TIdSSLCipher {
public:
  explicit TIdSSLCipher(PSSL aSSL) : FSSL(aSSL) {}
  std::string Name() const;
  std::string Description() const;
  int Bits() const;
  std::string Version() const;

private:
  PSSL FSSL;
};

// One TLS session over a connected socket.
class TIdSSLSocket {
public:
  explicit TIdSSLSocket(IIdSSLEvents* aParent) : fParent(aParent) {}
  ~TIdSSLSocket();
  TIdSSLSocket(const TIdSSLSocket&) = delete;
  TIdSSLSocket& operator=(const TIdSSLSocket&) = delete;

  TIdSSLContext* SSLContext() const noexcept { return fSSLContext; }
  void SetSSLContext(TIdSSLContext* aContext) { fSSLContext = aContext; }
  // The SNI name sent in the handshake (and checked against the certificate
  // when the peer is verified).
  const std::string& HostName() const noexcept { return fHostName; }
  void SetHostName(const std::string& aValue) { fHostName = aValue; }
  IIdSSLEvents* Parent() const noexcept { return fParent; }

  // Client handshake on the socket; EIdOSSLConnectError (or the step's own
  // exception) when it fails.
  void Connect(int aHandle);
  // SSL_read into the whole buffer: bytes read, 0 when the peer closed TLS
  // (close_notify), or a negative result for FilterSocketError (an end of
  // the TCP stream without close_notify is such a failure).
  int Recv(std::span<uint8_t> aBuffer);
  // SSL_write until all is written: the count, 0 when the peer closed TLS,
  // or the negative result.
  int Send(const TIdBytes& aBuffer, int aOffset, int aLength);
  // Sends close_notify; SSL_shutdown's result (0: the peer's is still to
  // come, and a second call waits for it), or -1 when the session failed.
  int Shutdown();

  PSSL SSL() const noexcept { return fSSL; }
  int SSLErrorOf(int aRet) const;
  // SSL_get_error's code and errno for the last failed read or write: a
  // time-out inside a record leaves SSL_ERROR_WANT_READ or _WRITE with EAGAIN.
  int LastError() const noexcept { return FLastError; }
  int LastErrno() const noexcept { return FLastErrno; }
  // More than 0 when bytes wait inside OpenSSL (decrypted or read ahead).
  int Pending() const;
  // The peer's certificate (null when it sent none).
  TIdX509* PeerCert();
  TIdSSLCipher& Cipher();
  std::string ALPNProtocol() const;
  std::string SSLVersion() const;

private:
  // The socket under the session: through the no-signal BIO where there is one.
  bool AttachSocket(int aHandle);
  void CheckHostName();
  // After a read or write that moved no bytes (aErrno: errno right after
  // it): true when it is to be tried again; otherwise aResult is what the
  // call returns, 0 for the peer's TLS close or the failed result, recorded.
  bool RetryAfter(int aRet, int aErrno, int& aResult);

  IIdSSLEvents* fParent;
  TIdSSLContext* fSSLContext = nullptr;
  PSSL fSSL = nullptr;
  std::string fHostName;
  std::unique_ptr<TIdX509> fPeerCert;
  std::unique_ptr<TIdSSLCipher> fSSLCipher;
  bool FFailed = false;  // a fatal error ended the session
  int FLastError = 0;
  int FLastErrno = 0;
  bool FNeedsSigPipeGuard = true;
};

// Raises the exception for a failed session call: SSL errors become
// EIdOSSLUnderlyingCryptoError (aClass's own type when it is more specific
// than EIdOpenSSLAPISSLError) with OpenSSL's text, a system error becomes the
// socket error, anything else aClass with the code's text.
enum class TIdSSLErrorClass { APISSLError, ConnectError, FDSetError, DataBindingError };
[[noreturn]] void RaiseSSLError(TIdSSLErrorClass aClass, int aErrorCode, int aRetCode, const std::string& aPrefix);

// ---------------------------------------------------------------- IO handler

// TLS over OpenSSL under the IO handler: the TCP connection (and any proxy
// tunnel) is made in the clear, then a client handshake runs on the socket
// and reads and writes go through the session.
class TIdSSLIOHandlerSocketOpenSSL : public TIdSSLIOHandlerSocketBase, public IIdSSLEvents {
public:
  using TStatusInfoEvent = std::function<void(const std::string& aMsg)>;
  using TStatusInfoExEvent = std::function<void(TIdSSLIOHandlerSocketOpenSSL& aSender, PSSL aSSL, int aWhere, int aRet,
                                                const std::string& aType, const std::string& aMsg)>;
  using TPasswordEvent = std::function<void(std::string& aPassword)>;
  using TPasswordExEvent =
      std::function<void(TIdSSLIOHandlerSocketOpenSSL& aSender, std::string& aPassword, bool aIsWrite)>;
  using TVerifyPeerEvent = std::function<bool(TIdX509& aCertificate, bool aOk, int aDepth, int aError)>;
  using TBeforeConnectEvent = std::function<void(TIdSSLIOHandlerSocketOpenSSL& aSender)>;

  explicit TIdSSLIOHandlerSocketOpenSSL(TComponent* aOwner = nullptr);
  ~TIdSSLIOHandlerSocketOpenSSL() override;

  TIdSSLOptions& SSLOptions() noexcept { return FxSSLOptions; }
  void SetSSLOptions(const TIdSSLOptions& aValue) { FxSSLOptions = aValue; }
  // The protocols offered by ALPN, by preference.
  TStrings& ALPNProtocols() noexcept { return FALPNProtocols; }
  TIdSSLSocket* SSLSocket() const noexcept { return fSSLSocket.get(); }
  TIdSSLContext* SSLContext() const noexcept { return fSSLContext.get(); }
  // The protocol the server chose by ALPN, and the session's TLS version.
  std::string GetALPNProtocol() const;
  std::string GetSSLVersion() const;

  void SetPassThrough(bool aValue) override;
  void StartSSL() override;
  void Close() override;
  // Decrypted bytes OpenSSL already holds count as readable at once.
  bool Readable(int aMSec = IdTimeoutDefault) override;
  std::unique_ptr<TIdSSLIOHandlerSocketBase> Clone() override;

  TStatusInfoEvent OnStatusInfo;
  TStatusInfoExEvent OnStatusInfoEx;
  TPasswordEvent OnGetPassword;
  TPasswordExEvent OnGetPasswordEx;
  TVerifyPeerEvent OnVerifyPeer;
  TBeforeConnectEvent OnBeforeConnect;

  // IIdSSLEvents: the context and session call back through these.
  void FireStatusInfo(const std::string& aMsg) override;
  void FireStatusInfoEx(PSSL aSSL, int aWhere, int aRet, const std::string& aType, const std::string& aMsg) override;
  void FireGetPassword(std::string& aPassword) override;
  void FireGetPasswordEx(std::string& aPassword, bool aIsWrite) override;
  // True when no OnVerifyPeer is assigned.
  bool FireVerifyPeer(TIdX509& aCertificate, bool aOk, int aDepth, int aError) override;

protected:
  void ConnectToPeer() override;
  int ReadSecure(std::span<uint8_t> aBuffer) override;
  int WriteSecure(const TIdBytes& aBuffer, int aOffset, int aLength) override;
  int FilterSocketError(int aResult) override;
  [[noreturn]] void RaiseSocketErrorCode(int aErrorCode) override;
  virtual void FireBeforeConnect();
  virtual void NegotiateTLS();

private:
  void EnsureContext();
  // The server name: the host of URIToCheck, else the handler's Host.
  std::string SNIHostName() const;
  // The socket's receive and send time-outs bound a read or write that
  // waits inside a record.
  void SetSocketTimeouts(int aMilliseconds);
  void SetReceiveTimeout(int aMilliseconds);
  int DefaultSocketTimeout() const;

  std::unique_ptr<TIdSSLContext> fSSLContext;
  TIdSSLOptions FxSSLOptions;
  std::unique_ptr<TIdSSLSocket> fSSLSocket;
  TStringList FALPNProtocols;
  int FLastSocketError = 0;  // of the last failed TLS read or write
  int FReceiveTimeout = 0;   // the socket's, in milliseconds
};

// The class entry of TIdSSLIOHandlerSocketOpenSSL, for the handler registry.
const TIdIOHandlerClass& IdSSLIOHandlerSocketOpenSSLClass();

}  // namespace qtx
