// The TLS session on a socket (TIdSSLSocket) and the raising of session errors.

#include "tls/qtxIdSSLOpenSSL.h"

#include <arpa/inet.h>

#include <cerrno>

#include "platform/qtxSysUtils.h"
#include "tls/qtxIdSigPipeGuard.h"
#include "transport/qtxIdSocketError.h"
#include "transport/qtxIdStackPosix.h"

namespace qtx {
namespace {

// Message texts.
constexpr const char* RSSSLDataBindingError = "Error binding data to SSL socket.";
constexpr const char* RSSSLFDSetError = "Error setting File Descriptor for SSL";
constexpr const char* RSSSLConnectError = "Error connecting with SSL.";
constexpr const char* RSSSLEOFViolation = "EOF was observed that violates the protocol";
constexpr const char* RSSSLCipherStatus = "Cipher: name = %s; description = %s; bits = %d; version = %s; ";
constexpr const char* CRLF = "\r\n";

constexpr size_t kErrorTextSize = 160;
constexpr int kCipherDescriptionSize = 256;

std::string JoinLines(const std::string& aPrefix, const std::string& aText) {
  return aPrefix.empty() ? aText : aPrefix + CRLF + aText;
}

// OpenSSL's text for an error number.
std::string ErrorCodeText(unsigned long aCode) {
  char buffer[kErrorTextSize + 1] = {};
  OpenSSLAPI().ERR_error_string_n(aCode, buffer, kErrorTextSize);
  return buffer;
}

[[noreturn]] void ThrowSSLError(TIdSSLErrorClass aClass, std::string aMessage, int aErrorCode, int aRetCode) {
  switch (aClass) {
    case TIdSSLErrorClass::ConnectError: throw EIdOSSLConnectError(std::move(aMessage), aErrorCode, aRetCode);
    case TIdSSLErrorClass::FDSetError: throw EIdOSSLFDSetError(std::move(aMessage), aErrorCode, aRetCode);
    case TIdSSLErrorClass::DataBindingError: throw EIdOSSLDataBindingError(std::move(aMessage), aErrorCode, aRetCode);
    case TIdSSLErrorClass::APISSLError: break;
  }
  throw EIdOpenSSLAPISSLError(std::move(aMessage), aErrorCode, aRetCode);
}

// Where the session's failure is more specific than a plain session call
// (a failed handshake), OpenSSL's crypto text stays with that class.
[[noreturn]] void ThrowCryptoError(TIdSSLErrorClass aClass, std::string aMessage, int aErrorCode, int aRetCode) {
  if (aClass == TIdSSLErrorClass::APISSLError)
    throw EIdOSSLUnderlyingCryptoError(std::move(aMessage), aErrorCode, aRetCode);
  ThrowSSLError(aClass, std::move(aMessage), aErrorCode, aRetCode);
}

// A failed system call under the session: the socket error for errno.
[[noreturn]] void RaiseLastSocketErrorOfSession() { RaiseSocketError(WinsockCodeForErrno(errno)); }

// An IPv4 or IPv6 address in text form.
bool IsIPLiteral(const std::string& aHost) {
  in_addr ipv4;
  in6_addr ipv6;
  return inet_pton(AF_INET, aHost.c_str(), &ipv4) == 1 || inet_pton(AF_INET6, aHost.c_str(), &ipv6) == 1;
}

}  // namespace

void RaiseSSLError(TIdSSLErrorClass aClass, int aErrorCode, int aRetCode, const std::string& aPrefix) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  switch (aErrorCode) {
    case SSL_ERROR_SSL:
      ThrowCryptoError(aClass, JoinLines(aPrefix, OpenSSLErrorText()), aErrorCode, aRetCode);
    case SSL_ERROR_SYSCALL:
      if (api.ERR_peek_error() != 0)
        ThrowCryptoError(aClass, JoinLines(aPrefix, OpenSSLErrorText()), aErrorCode, aRetCode);
      if (aRetCode == 0) ThrowSSLError(aClass, JoinLines(aPrefix, RSSSLEOFViolation), aErrorCode, aRetCode);
      RaiseLastSocketErrorOfSession();
    default:
      ThrowSSLError(aClass, JoinLines(aPrefix, ErrorCodeText(static_cast<unsigned long>(aErrorCode))), aErrorCode,
                    aRetCode);
  }
}

// ---------------------------------------------------------------- cipher

std::string TIdSSLCipher::Name() const {
  PSSL_CIPHER cipher = OpenSSLAPI().SSL_get_current_cipher(FSSL);
  return cipher ? std::string(OpenSSLAPI().SSL_CIPHER_get_name(cipher)) : std::string();
}

std::string TIdSSLCipher::Description() const {
  PSSL_CIPHER cipher = OpenSSLAPI().SSL_get_current_cipher(FSSL);
  if (!cipher) return std::string();
  char buffer[kCipherDescriptionSize] = {};
  OpenSSLAPI().SSL_CIPHER_description(cipher, buffer, kCipherDescriptionSize - 1);
  std::string text = buffer;
  // OpenSSL ends the line with a line break.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

int TIdSSLCipher::Bits() const {
  PSSL_CIPHER cipher = OpenSSLAPI().SSL_get_current_cipher(FSSL);
  return cipher ? OpenSSLAPI().SSL_CIPHER_get_bits(cipher, nullptr) : 0;
}

std::string TIdSSLCipher::Version() const {
  PSSL_CIPHER cipher = OpenSSLAPI().SSL_get_current_cipher(FSSL);
  return cipher ? std::string(OpenSSLAPI().SSL_CIPHER_get_version(cipher)) : std::string();
}

// ---------------------------------------------------------------- session

TIdSSLSocket::~TIdSSLSocket() {
  if (fSSL) {
    Shutdown();
    OpenSSLAPI().SSL_free(fSSL);
  }
}

void TIdSSLSocket::Connect(int aHandle) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  api.ERR_clear_error();
  fSSL = api.SSL_new(fSSLContext->Context());
  if (!fSSL) throw EIdOSSLCreatingSessionError();
  if (api.SSL_set_ex_data(fSSL, 0, this) <= 0)
    throw EIdOSSLDataBindingError(JoinLines(RSSSLDataBindingError, OpenSSLErrorText()));
  if (!AttachSocket(aHandle)) throw EIdOSSLFDSetError(JoinLines(RSSSLFDSetError, OpenSSLErrorText()));
  if (!fHostName.empty()) {
    // A server name is a DNS name: an address literal is not sent (RFC 6066).
    if (!IsIPLiteral(fHostName))
      api.SSL_ctrl(fSSL, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(fHostName.c_str()));
    // Chain verification alone would accept a valid certificate of any host.
    if (fSSLContext->Options().VerifyMode().Contains(sslvrfPeer)) CheckHostName();
  }
  int ret;
  {
    TIdSigPipeGuard guard(FNeedsSigPipeGuard);
    ret = api.SSL_connect(fSSL);
  }
  if (ret < 1) {
    FLastErrno = errno;
    const int code = SSLErrorOf(ret);
    errno = FLastErrno;  // a system error is reported from errno
    RaiseSSLError(TIdSSLErrorClass::ConnectError, code, ret, RSSSLConnectError);
  }

  TIdSSLCipher& cipher = Cipher();
  if (fParent)
    fParent->FireStatusInfo(
        Format(RSSSLCipherStatus, {cipher.Name(), cipher.Description(), cipher.Bits(), cipher.Version()}));
}

bool TIdSSLSocket::AttachSocket(int aHandle) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  const PBIO_METHOD noSignal = NoSignalSocketMethod();
  FNeedsSigPipeGuard = noSignal == nullptr;
  if (FNeedsSigPipeGuard) return api.SSL_set_fd(fSSL, aHandle) > 0;
  PBIO bio = api.BIO_new(noSignal);
  if (!bio) return false;
  api.BIO_int_ctrl(bio, BIO_C_SET_FD, BIO_NOCLOSE, aHandle);
  api.SSL_set_bio(fSSL, bio, bio);  // the session owns the BIO now
  return true;
}

void TIdSSLSocket::CheckHostName() {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  bool set = false;
  if (IsIPLiteral(fHostName) && api.SSL_get0_param && api.X509_VERIFY_PARAM_set1_ip_asc)
    set = api.X509_VERIFY_PARAM_set1_ip_asc(api.SSL_get0_param(fSSL), fHostName.c_str()) == 1;  // the IP SAN
  else if (api.SSL_set1_host)
    set = api.SSL_set1_host(fSSL, fHostName.c_str()) == 1;
  else if (api.SSL_get0_param && api.X509_VERIFY_PARAM_set1_host)
    set = api.X509_VERIFY_PARAM_set1_host(api.SSL_get0_param(fSSL), fHostName.c_str(), 0) == 1;
  if (!set) throw EIdOSSLConnectError(JoinLines(RSSSLConnectError, OpenSSLErrorText()));
}

int TIdSSLSocket::SSLErrorOf(int aRet) const { return OpenSSLAPI().SSL_get_error(fSSL, aRet); }

int TIdSSLSocket::Recv(std::span<uint8_t> aBuffer) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  TIdSigPipeGuard guard(FNeedsSigPipeGuard);  // a read may answer the peer (key update, alert)
  for (;;) {
    errno = 0;
    const int ret = api.SSL_read(fSSL, aBuffer.data(), static_cast<int>(aBuffer.size()));
    if (ret > 0) return ret;
    int result;
    if (!RetryAfter(ret, errno, result)) return result;
  }
}

int TIdSSLSocket::Send(const TIdBytes& aBuffer, int aOffset, int aLength) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  TIdSigPipeGuard guard(FNeedsSigPipeGuard);
  int written = 0;
  while (written < aLength) {
    errno = 0;
    const int ret = api.SSL_write(fSSL, aBuffer.data() + aOffset + written, aLength - written);
    if (ret > 0) {
      written += ret;
      continue;
    }
    int result;
    if (!RetryAfter(ret, errno, result)) return result;
  }
  return written;
}

bool TIdSSLSocket::RetryAfter(int aRet, int aErrno, int& aResult) {
  const int code = SSLErrorOf(aRet);
  if (code == SSL_ERROR_ZERO_RETURN) {
    aResult = 0;
    return false;
  }
  // On a blocking socket OpenSSL wants to read or write again only when the
  // call was interrupted, or when the socket's time-out fired inside a
  // record: that is a time-out like any other, not a reason to wait again.
  const bool timedOut = aErrno == EAGAIN || aErrno == EWOULDBLOCK;
  if ((code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) && !timedOut) return true;
  FLastError = code;
  FLastErrno = aErrno;
  FFailed = !timedOut;
  // A failure is negative even where OpenSSL returned 0 (an end of the TCP
  // stream without close_notify), so that it is never taken for a close.
  aResult = aRet < 0 ? aRet : -1;
  return false;
}

int TIdSSLSocket::Shutdown() {
  // OpenSSL forbids a shutdown after a fatal error on the session.
  if (!fSSL || FFailed) return -1;
  TIdSigPipeGuard guard(FNeedsSigPipeGuard);
  const int result = OpenSSLAPI().SSL_shutdown(fSSL);
  if (result < 0) FFailed = true;
  OpenSSLAPI().ERR_clear_error();
  return result;
}

int TIdSSLSocket::Pending() const {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  if (!fSSL) return 0;
  // Bytes read ahead from the socket but not yet decrypted count too.
  if (api.SSL_has_pending && api.SSL_has_pending(fSSL)) return 1;
  return api.SSL_pending ? api.SSL_pending(fSSL) : 0;
}

TIdX509* TIdSSLSocket::PeerCert() {
  if (!fPeerCert && fSSL)
    if (PX509 certificate = OpenSSLAPI().SSL_get_peer_certificate(fSSL))
      fPeerCert = std::make_unique<TIdX509>(certificate);
  return fPeerCert.get();
}

TIdSSLCipher& TIdSSLSocket::Cipher() {
  if (!fSSLCipher) fSSLCipher = std::make_unique<TIdSSLCipher>(fSSL);
  return *fSSLCipher;
}

std::string TIdSSLSocket::ALPNProtocol() const {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  if (!fSSL || !api.SSL_get0_alpn_selected) return std::string();
  const unsigned char* data = nullptr;
  unsigned length = 0;
  api.SSL_get0_alpn_selected(fSSL, &data, &length);
  return data ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
}

std::string TIdSSLSocket::SSLVersion() const {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  return fSSL && api.SSL_get_version ? std::string(api.SSL_get_version(fSSL)) : std::string();
}

}  // namespace qtx
