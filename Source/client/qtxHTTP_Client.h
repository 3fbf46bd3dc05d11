#pragma once
// TqtxIdHTTP: the ready-to-use HTTP/1.1 client. In front of every request it
// chooses the transport (a TLS IO handler built from TLSOptions, over
// OpenSSL or the SChannel channel, for https; none for plain http), a proxy
// tunnel (HTTP CONNECT or SOCKS 4, 4A, 5), a traffic log file, and a bearer
// token from a token source. GetSSE hands a server-sent event stream to
// OnSSEMessage block by block as it arrives. Without a proxy of its own
// the client takes the one the environment names (https_proxy, http_proxy,
// all_proxy, no_proxy; see qtxHTTP_ProxyEnvironment.h).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "client/qtxBase_Classes.h"
#include "client/qtxHTTP_AuthToken.h"
#include "client/qtxHTTP_ProxyEnvironment.h"
#include "client/qtxIdLogFileClient.h"
#include "client/qtxSocket_Options.h"
#include "core/qtxIdEventStream.h"
#include "http/qtxIdHTTP.h"
#include "tls/qtxIdSSL.h"
#include "transport/qtxIdConnectThroughHttpProxy.h"
#include "transport/qtxIdIOHandlerStack.h"
#include "transport/qtxIdSocks.h"

namespace qtx {

class TqtxIdHTTPTLS_Options : public TqtxSocketTLS_Options {
public:
  // Takes every setting of a TCP component's TLS options but VerifyDepth.
  void Assign(const TqtxTCPTLS_Options& aSource);
};

class TqtxHttpLogFile {
public:
  const std::string& FileName() const noexcept { return FFileName; }
  void SetFileName(const std::string& aValue) { FFileName = aValue; }

private:
  std::string FFileName;
};

class TqtxHTTPProxy_Options : public TqtxTCPProxy_Options {};

// Where the client's bearer token comes from: an OAuth 2 source, else a JWT
// source (neither: no token). The sources are referenced, not owned, and
// forgotten when freed.
class TqtxHTTPAuthentication_Token {
public:
  TqtxHTTPComponentClient_OAuth* OAuth() const noexcept { return FOAuth.Get(); }
  void SetOAuth(TqtxHTTPComponentClient_OAuth* aValue) { FOAuth.Set(aValue); }
  TqtxHTTPComponentClient_JWT* JWT() const noexcept { return FJWT.Get(); }
  void SetJWT(TqtxHTTPComponentClient_JWT* aValue) { FJWT.Set(aValue); }
  // How long a request waits for a token, in milliseconds.
  uint32_t ReadTimeout() const noexcept { return FReadTimeout; }
  void SetReadTimeout(uint32_t aValue) noexcept { FReadTimeout = aValue; }

private:
  TqtxComponentReference<TqtxHTTPComponentClient_OAuth> FOAuth;
  TqtxComponentReference<TqtxHTTPComponentClient_JWT> FJWT;
  uint32_t FReadTimeout = 60000;
};

class TqtxIdHTTPAuthentication_Options {
public:
  TqtxHTTPAuthentication_Token& Token() noexcept { return FToken; }
  const TqtxHTTPAuthentication_Token& Token() const noexcept { return FToken; }
  void SetToken(const TqtxHTTPAuthentication_Token& aValue) { FToken = aValue; }

private:
  TqtxHTTPAuthentication_Token FToken;
};

// A token source reported that it has no token: "Error <error>. <description>".
class EqtxHTTPAuthTokenError : public Exception { using Exception::Exception; };
// The proxy's port does not fit in 16 bits.
class EqtxHTTPProxyPortError : public EIdException { using EIdException::EIdException; };

class TqtxIdHTTP;
using TqtxHTTPSSEMessageEvent = std::function<void(TqtxIdHTTP& aSender, const std::string& aMessage, bool& aCancel)>;

class TqtxIdHTTP : public TIdHTTP {
public:
  // Sends the User-Agent "Mozilla/5.0 (qtxWebSockets 2023.3.0)".
  explicit TqtxIdHTTP(TComponent* aOwner = nullptr);
  ~TqtxIdHTTP() override;

  // A GET of a text/event-stream ("...;charset=UTF-8" when aCharset is not
  // empty): each block of the body goes to OnSSEMessage as it arrives, as
  // raw text (one character per byte). Returns normally when the server
  // ends the stream or OnSSEMessage cancels it.
  void GetSSE(const std::string& aURL, const std::string& aCharset = "");

  // Writes the traffic to LogOptions.FileName. Switching it off closes the
  // log at once; switching it on opens it at the next request.
  bool Log() const noexcept { return FLog; }
  void SetLog(bool aValue);
  TqtxHttpLogFile& LogOptions() noexcept { return FLogOptions; }
  void SetLogOptions(const TqtxHttpLogFile& aValue) { FLogOptions = aValue; }
  // Read when a TLS handler is built: at the first https request, and again
  // after a plain request.
  TqtxIdHTTPTLS_Options& TLSOptions() noexcept { return FTLSOptions; }
  void SetTLSOptions(const TqtxIdHTTPTLS_Options& aValue) { FTLSOptions = aValue; }
  TqtxIdHTTPAuthentication_Options& Authentication() noexcept { return FAuthentication; }
  void SetAuthentication(const TqtxIdHTTPAuthentication_Options& aValue) { FAuthentication = aValue; }
  TqtxHTTPProxy_Options& Proxy() noexcept { return FProxy; }
  void SetProxy(const TqtxHTTPProxy_Options& aValue) { FProxy = aValue; }
  // Whether a request that has no proxy (neither Proxy nor ProxyParams)
  // takes the one the environment names for its URL; on by default.
  bool UseProxyEnvironment() const noexcept { return FUseProxyEnvironment; }
  void SetUseProxyEnvironment(bool aValue) noexcept { FUseProxyEnvironment = aValue; }
  std::string Version() const { return std::string(qtxLibraryVersion); }

  TqtxHTTPSSEMessageEvent OnSSEMessage;

protected:
  // The token, the log, the transport and the proxy, then the engine's request.
  void ExecuteRequest(const std::string& aMethod, const std::string& aURL, TStream* aSource,
                      TStream* aResponseContent, const TIdHTTPIgnoreReplies& aIgnoreReplies) override;

  // The OpenSSL handler's password request: TLSOptions.Password.
  virtual void OnGetPasswordEvent(std::string& aPassword);
  // A token source's answer, on any thread. A JWT token expires after the
  // source's RefreshTokenAfter seconds.
  virtual void OnAuthTokenEvent(TComponent& aSender, const std::string& aTokenType, const std::string& aToken,
                                const std::string& aData);
  // Raises EqtxHTTPAuthTokenError where the source fires it; a request
  // waiting for the token raises it too.
  virtual void OnAuthTokenErrorEvent(TComponent& aSender, const std::string& aError,
                                     const std::string& aErrorDescription, const std::string& aData);
  // Publishes the token, its type and expiry together.
  virtual void SetAuthToken(const std::string& aToken, const std::string& aTokenType, TDateTime aExpiry);
  // Obtains a token when there is none (waiting at most
  // Authentication.Token.ReadTimeout) and puts it in the request's
  // "Authorization" line.
  virtual void DoAuthToken();
  // The event stream's write: one block of an event stream's body.
  virtual void OnSSEWriteEvent(const TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult);

private:
  struct TAuthTokenSink;

  TIdEventStream& GetEventStream();
  void CreateTLSHandler();
  std::unique_ptr<TIdSSLIOHandlerSocketBase> CreateOpenSSLHandler();
  std::unique_ptr<TIdSSLIOHandlerSocketBase> CreateSChannelHandler();
  // Makes aHandler the connection's IO handler, closing a connection made
  // on another one first.
  void InstallIOHandler(TIdIOHandler* aHandler);
  void ReleaseIOHandler();
  void StartLog();
  void StopLog();
  // The proxy aURL's request goes through: Proxy when enabled, else the
  // environment's; none for a direct request.
  std::optional<TqtxSocketProxy_Options> ProxyFor(const std::string& aURL);
  // Hands an HTTP proxy to the engine, which sends requests in absolute
  // form and opens a CONNECT tunnel for https.
  void ForwardThrough(const TqtxSocketProxy_Options& aProxy);
  void StopForwarding();
  void ApplyProxy(bool aTLS, const TqtxSocketProxy_Options& aProxy);
  // Takes the proxy off the TLS handler (and closes a tunnel through it)
  // once Proxy is disabled.
  void DropTLSProxy();
  TIdConnectThroughHttpProxy& GetProxyHTTP(const TqtxSocketProxy_Options& aProxy);
  TIdSocksInfo& GetProxySocks(const TqtxSocketProxy_Options& aProxy);
  TIdIOHandlerSocket& GetProxyIOHandler(bool aTLS);

  std::unique_ptr<TIdSSLIOHandlerSocketBase> FTLSHandler;
  // The proxy settings the TLS handler's tunnel was built with; empty
  // without a proxy.
  std::string FTLSProxyKey;
  std::unique_ptr<TqtxIdLogFileClient> FLogIntercept;
  bool FLog = false;
  TqtxHttpLogFile FLogOptions;
  TqtxIdHTTPTLS_Options FTLSOptions;
  // The token pair and its expiry, published together under the lock.
  std::mutex FAuthTokenLock;
  std::condition_variable FAuthTokenArrived;
  std::string FAuthToken;
  std::string FAuthTokenType;
  TDateTime FAuthTokenExpiry = 0;
  std::optional<std::string> FAuthTokenError;
  // What the token sources' events call into; outlives the client, so that
  // a source answering late finds it gone instead of freed.
  std::shared_ptr<TAuthTokenSink> FAuthTokenSink;
  TqtxIdHTTPAuthentication_Options FAuthentication;
  TqtxHTTPProxy_Options FProxy;
  bool FUseProxyEnvironment = true;
  std::unique_ptr<TIdIOHandlerStack> FProxyIOHandler;
  std::unique_ptr<TIdConnectThroughHttpProxy> FProxyHTTP;
  std::unique_ptr<TIdSocksInfo> FProxySocks;
  std::unique_ptr<TIdEventStream> FEventStream;
  // OnSSEMessage cancelled the stream being read.
  bool FSSECancelled = false;
};

}  // namespace qtx
