#pragma once
// The TLS and proxy settings the library's socket components share. They are
// values: copying one copies every setting.

#include <cstdint>
#include <string>

#include "client/qtxWebSocket_Types.h"
#include "platform/qtxStrings.h"

namespace qtx {

class TqtxSocketTLS_Options_Base {
public:
  const std::string& CertFile() const noexcept { return FCertFile; }
  void SetCertFile(const std::string& aValue) { FCertFile = aValue; }
  const std::string& KeyFile() const noexcept { return FKeyFile; }
  void SetKeyFile(const std::string& aValue) { FKeyFile = aValue; }
  // The password of the key or certificate file.
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(const std::string& aValue) { FPassword = aValue; }
  // A file of trusted CA certificates, trusted beside the system's own.
  const std::string& RootCertFile() const noexcept { return FRootCertFile; }
  void SetRootCertFile(const std::string& aValue) { FRootCertFile = aValue; }
  // The server's certificate must chain to a trusted CA and name the host.
  // On by default: without it anyone on the path could pose as the server.
  bool VerifyCertificate() const noexcept { return FVerifyCertificate; }
  void SetVerifyCertificate(bool aValue) noexcept { FVerifyCertificate = aValue; }
  int32_t VerifyDepth() const noexcept { return FVerifyDepth; }
  void SetVerifyDepth(int32_t aValue) noexcept { FVerifyDepth = aValue; }
  // tlsUndefined: every version the channel allows.
  TwsTLSVersions Version() const noexcept { return FVersion; }
  void SetVersion(TwsTLSVersions aValue) noexcept { FVersion = aValue; }

private:
  std::string FCertFile;
  std::string FKeyFile;
  std::string FPassword;
  std::string FRootCertFile;
  bool FVerifyCertificate = true;
  int32_t FVerifyDepth = 0;
  TwsTLSVersions FVersion = tlsUndefined;
};

class TqtxSocketOpenSSL_Options {
public:
  TwsOpenSSLAPI APIVersion() const noexcept { return FAPIVersion; }
  void SetAPIVersion(TwsOpenSSLAPI aValue) noexcept { FAPIVersion = aValue; }
  TwsOpenSSLLibPath LibPath() const noexcept { return FLibPath; }
  void SetLibPath(TwsOpenSSLLibPath aValue) noexcept { FLibPath = aValue; }
  // The folder of oslpCustomPath.
  const std::string& LibPathCustom() const noexcept { return FLibPathCustom; }
  void SetLibPathCustom(const std::string& aValue) { FLibPathCustom = aValue; }
  TwsOpenSSLSymLinks UnixSymLinks() const noexcept { return FUnixSymLinks; }
  void SetUnixSymLinks(TwsOpenSSLSymLinks aValue) noexcept { FUnixSymLinks = aValue; }

private:
  TwsOpenSSLAPI FAPIVersion = oslAPI_1_0;
  TwsOpenSSLLibPath FLibPath = oslpNone;
  std::string FLibPathCustom;
  TwsOpenSSLSymLinks FUnixSymLinks = oslsSymLinksDefault;
};

class TqtxOpenSSLClient_Options : public TqtxSocketOpenSSL_Options {};

class TqtxSocketSChannel_Options {
public:
  // The SHA-1 thumbprint (hexadecimal) of a client certificate in the store.
  const std::string& CertHash() const noexcept { return FCertHash; }
  void SetCertHash(const std::string& aValue) { FCertHash = aValue; }
  TqtxSChannelCertStoreName CertStoreName() const noexcept { return FCertStoreName; }
  void SetCertStoreName(TqtxSChannelCertStoreName aValue) noexcept { FCertStoreName = aValue; }
  TqtxSChannelCertStorePath CertStorePath() const noexcept { return FCertStorePath; }
  void SetCertStorePath(TqtxSChannelCertStorePath aValue) noexcept { FCertStorePath = aValue; }
  // "CALG_..." names separated by ":".
  const std::string& CipherList() const noexcept { return FCipherList; }
  void SetCipherList(const std::string& aValue) { FCipherList = aValue; }

private:
  std::string FCertHash;
  TqtxSChannelCertStoreName FCertStoreName = scsnMY;
  TqtxSChannelCertStorePath FCertStorePath = scspStoreCurrentUser;
  std::string FCipherList;
};

class TqtxSChannelClient_Options : public TqtxSocketSChannel_Options {};

class TqtxSocketTLS_Options : public TqtxSocketTLS_Options_Base {
public:
  // The protocols offered by ALPN, by preference.
  TStringList& ALPNProtocols() noexcept { return FALPNProtocols; }
  const TStringList& ALPNProtocols() const noexcept { return FALPNProtocols; }
  void SetALPNProtocols(const TStrings& aValue) { FALPNProtocols.Assign(aValue); }
  TwsTLSIOHandler IOHandler() const noexcept { return FIOHandler; }
  void SetIOHandler(TwsTLSIOHandler aValue) noexcept { FIOHandler = aValue; }
  TqtxOpenSSLClient_Options& OpenSSL_Options() noexcept { return FOpenSSL_Options; }
  const TqtxOpenSSLClient_Options& OpenSSL_Options() const noexcept { return FOpenSSL_Options; }
  void SetOpenSSL_Options(const TqtxOpenSSLClient_Options& aValue) { FOpenSSL_Options = aValue; }
  TqtxSChannelClient_Options& SChannel_Options() noexcept { return FSChannel_Options; }
  const TqtxSChannelClient_Options& SChannel_Options() const noexcept { return FSChannel_Options; }
  void SetSChannel_Options(const TqtxSChannelClient_Options& aValue) { FSChannel_Options = aValue; }

private:
  TStringList FALPNProtocols;
  TwsTLSIOHandler FIOHandler = iohOpenSSL;
  TqtxOpenSSLClient_Options FOpenSSL_Options;
  TqtxSChannelClient_Options FSChannel_Options;
};

// The TLS settings of the TCP components.
class TqtxTCPTLS_Options : public TqtxSocketTLS_Options {};

class TqtxSocketProxy_Options {
public:
  bool Enabled() const noexcept { return FEnabled; }
  void SetEnabled(bool aValue) noexcept { FEnabled = aValue; }
  const std::string& Host() const noexcept { return FHost; }
  void SetHost(const std::string& aValue) { FHost = aValue; }
  const std::string& Password() const noexcept { return FPassword; }
  void SetPassword(const std::string& aValue) { FPassword = aValue; }
  uint32_t Port() const noexcept { return FPort; }
  void SetPort(uint32_t aValue) noexcept { FPort = aValue; }
  TwsProxy ProxyType() const noexcept { return FProxyType; }
  void SetProxyType(TwsProxy aValue) noexcept { FProxyType = aValue; }
  const std::string& Username() const noexcept { return FUsername; }
  void SetUsername(const std::string& aValue) { FUsername = aValue; }

private:
  bool FEnabled = false;
  std::string FHost;
  std::string FPassword;
  uint32_t FPort = 0;
  TwsProxy FProxyType = pxyHTTP;
  std::string FUsername;
};

class TqtxTCPProxy_Options : public TqtxSocketProxy_Options {};

}  // namespace qtx
