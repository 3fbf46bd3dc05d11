#include "client/qtxHTTP_Client.h"

#include <chrono>
#include <string_view>

#include "client/qtxBase_Helpers.h"
#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "platform/qtxDateTime.h"
#include "platform/qtxScopeExit.h"
#include "platform/qtxSysUtils.h"
#include "tls/qtxIdSSLOpenSSL.h"
#include "tls/qtxSSL_SChannel.h"

namespace qtx {

namespace {
constexpr std::string_view RSUserAgent = "Mozilla/5.0 (qtxWebSockets 2023.3.0)";
constexpr std::string_view RSAuthTokenError = "Error %s. %s";
constexpr std::string_view RSProxyPortInvalid = "Invalid proxy port %d.";
constexpr std::string_view kEventStream = "text/event-stream";
constexpr std::string_view kEventStreamUTF8 = "text/event-stream;charset=UTF-8";
constexpr std::string_view kAuthorizationLine = "Authorization: ";
constexpr std::string_view kAuthorization = "authorization";
}  // namespace

void TqtxIdHTTPTLS_Options::Assign(const TqtxTCPTLS_Options& aSource) {
  const int32_t depth = VerifyDepth();
  TqtxSocketTLS_Options::operator=(aSource);
  SetVerifyDepth(depth);
}

// The client the token sources' events reach, cleared when it goes.
struct TqtxIdHTTP::TAuthTokenSink {
  explicit TAuthTokenSink(TqtxIdHTTP* aClient) : Client(aClient) {}
  std::mutex Lock;
  TqtxIdHTTP* Client;
};

TqtxIdHTTP::TqtxIdHTTP(TComponent* aOwner)
    : TIdHTTP(aOwner), FAuthTokenSink(std::make_shared<TAuthTokenSink>(this)) {
  Request().SetUserAgent(std::string(RSUserAgent));
}

TqtxIdHTTP::~TqtxIdHTTP() {
  Destroying();
  {
    // Waits for an event that is being delivered; later ones find no client.
    std::lock_guard guard(FAuthTokenSink->Lock);
    FAuthTokenSink->Client = nullptr;
  }
  // The handlers and the log are members, gone before the connection's own
  // teardown: close and detach them here.
  if (IOHandler()) {
    try {
      IOHandler()->Close();
    } catch (...) {
    }
  }
  SetIOHandler(nullptr);
  SetIntercept(nullptr);
}

// ---- properties ------------------------------------------------------------------------

void TqtxIdHTTP::SetLog(bool aValue) {
  if (FLog && !aValue) StopLog();
  FLog = aValue;
}

// ---- the request ------------------------------------------------------------------------

void TqtxIdHTTP::ExecuteRequest(const std::string& aMethod, const std::string& aURL, TStream* aSource,
                                TStream* aResponseContent, const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  DoAuthToken();
  if (FLog) {
    StartLog();
  } else {
    StopLog();
  }
  const std::optional<TqtxSocketProxy_Options> proxy = ProxyFor(aURL);
  // The environment's HTTP proxies go to the engine; the others tunnel
  // under the IO handler.
  const bool forward = proxy && !FProxy.Enabled() && proxy->ProxyType() == pxyHTTP;
  const bool tunnel = proxy && !forward;
  if (SameText(std::string_view(aURL).substr(0, 5), "HTTPS")) {
    CreateTLSHandler();
    if (tunnel) {
      ApplyProxy(true, *proxy);
    } else {
      DropTLSProxy();
    }
  } else {
    ReleaseIOHandler();
    if (tunnel) ApplyProxy(false, *proxy);
  }
  if (!forward) return TIdHTTP::ExecuteRequest(aMethod, aURL, aSource, aResponseContent, aIgnoreReplies);
  ForwardThrough(*proxy);
  const TScopeExit stop([this] { StopForwarding(); });
  TIdHTTP::ExecuteRequest(aMethod, aURL, aSource, aResponseContent, aIgnoreReplies);
}

// ---- TLS and the IO handler -----------------------------------------------------------

void TqtxIdHTTP::CreateTLSHandler() {
  if (!FTLSHandler) {
    FTLSHandler = FTLSOptions.IOHandler() == iohSChannel ? CreateSChannelHandler() : CreateOpenSSLHandler();
    FTLSHandler->OnStatus = OnStatus;
    FTLSProxyKey.clear();
  }
  InstallIOHandler(FTLSHandler.get());
}

std::unique_ptr<TIdSSLIOHandlerSocketBase> TqtxIdHTTP::CreateOpenSSLHandler() {
  auto handler = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>(this);
  handler->SetPassThrough(false);
  const TqtxOpenSSLClient_Options& openssl = FTLSOptions.OpenSSL_Options();
  SetOpenSSLGeneration(static_cast<int>(openssl.APIVersion()));
  switch (openssl.LibPath()) {
    case oslpDefaultFolder: SetOpenSSLLibFolder(GetExecutableFolder()); break;
    case oslpCustomPath: SetOpenSSLLibFolder(openssl.LibPathCustom()); break;
    case oslpNone: break;
  }
  TIdSSLOptions& ssl = handler->SSLOptions();
  switch (FTLSOptions.Version()) {
    case tlsUndefined: ssl.SetSSLVersions({sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2, sslvTLSv1_3}); break;
    case tls1_0: ssl.SetMethod(sslvTLSv1); break;
    case tls1_1: ssl.SetMethod(sslvTLSv1_1); break;
    case tls1_2: ssl.SetMethod(sslvTLSv1_2); break;
    case tls1_3: ssl.SetMethod(sslvTLSv1_3); break;
  }
  handler->ALPNProtocols().Assign(FTLSOptions.ALPNProtocols());
  ssl.SetMode(sslmClient);
  ssl.SetRootCertFile(FTLSOptions.RootCertFile());
  ssl.SetCertFile(FTLSOptions.CertFile());
  ssl.SetKeyFile(FTLSOptions.KeyFile());
  // Verifying the peer also checks that its certificate names the host, and
  // trusts the system's CAs beside RootCertFile.
  ssl.SetVerifyMode(FTLSOptions.VerifyCertificate() ? TIdSSLVerifyModeSet{sslvrfPeer} : TIdSSLVerifyModeSet{});
  handler->OnGetPassword = [this](std::string& aPassword) { OnGetPasswordEvent(aPassword); };
  return handler;
}

std::unique_ptr<TIdSSLIOHandlerSocketBase> TqtxIdHTTP::CreateSChannelHandler() {
  auto handler = std::make_unique<TqtxIdSSLIOHandlerSocketSChannel>(this);
  handler->SetTLSVersion(FTLSOptions.Version());
  const TqtxSChannelClient_Options& schannel = FTLSOptions.SChannel_Options();
  TqtxSChannelCertificate& certificate = handler->Certificate();
  // The "Root" store the server's certificate is verified against holds the
  // system's trust.
  certificate.SetVerifyCertificate(FTLSOptions.VerifyCertificate());
  certificate.SetCertHash(schannel.CertHash());
  certificate.SetCertStorePath(schannel.CertStorePath());
  certificate.SetCertStoreName(schannel.CertStoreName());
  certificate.SetCertFile(FTLSOptions.CertFile());
  certificate.SetCertFilePassword(FTLSOptions.Password());
  handler->SetCipherList(schannel.CipherList());
  handler->ALPNProtocols().Assign(FTLSOptions.ALPNProtocols());
  return handler;
}

void TqtxIdHTTP::InstallIOHandler(TIdIOHandler* aHandler) {
  if (IOHandler() == aHandler) return;
  if (IOHandler() && IOHandler()->Opened()) Disconnect();
  SetIOHandler(aHandler);
}

void TqtxIdHTTP::ReleaseIOHandler() {
  TIdIOHandler* const handler = IOHandler();
  if (!handler) return;
  if (handler->Opened()) Disconnect();
  // A handler the connection made goes with it; one of the caller's is only
  // let go, never freed here.
  SetIOHandler(nullptr);
  if (handler == FTLSHandler.get()) FTLSHandler.reset();
  if (handler == FProxyIOHandler.get()) FProxyIOHandler.reset();
}

void TqtxIdHTTP::OnGetPasswordEvent(std::string& aPassword) { aPassword = FTLSOptions.Password(); }

// ---- proxies --------------------------------------------------------------------------

namespace {
TIdPort ProxyPort(const TqtxSocketProxy_Options& aProxy) {
  if (aProxy.Port() > UINT16_MAX) throw EqtxHTTPProxyPortError(Format(RSProxyPortInvalid, {aProxy.Port()}));
  return static_cast<TIdPort>(aProxy.Port());
}
}  // namespace

std::optional<TqtxSocketProxy_Options> TqtxIdHTTP::ProxyFor(const std::string& aURL) {
  if (FProxy.Enabled()) return FProxy;
  if (!FUseProxyEnvironment || !ProxyParams().ProxyServer().empty()) return std::nullopt;
  return ProxyFromEnvironment(aURL, ProcessEnvironment);
}

void TqtxIdHTTP::ForwardThrough(const TqtxSocketProxy_Options& aProxy) {
  ProxyParams().SetProxyServer(aProxy.Host());
  ProxyParams().SetProxyPort(ProxyPort(aProxy));
  ProxyParams().SetProxyUsername(aProxy.Username());
  ProxyParams().SetProxyPassword(aProxy.Password());
  ProxyParams().SetBasicAuthentication(!aProxy.Username().empty());
}

void TqtxIdHTTP::StopForwarding() {
  ProxyParams().SetProxyServer("");
  ProxyParams().Clear();
  ProxyParams().SetBasicAuthentication(false);
}

void TqtxIdHTTP::ApplyProxy(bool aTLS, const TqtxSocketProxy_Options& aProxy) {
  const TIdPort port = ProxyPort(aProxy);
  TIdIOHandlerSocket& handler = GetProxyIOHandler(aTLS);
  InstallIOHandler(&handler);
  if (aTLS) {
    // A tunnel kept from an earlier request leads through the proxy it was
    // built with.
    const std::string key = std::to_string(aProxy.ProxyType()) + '\n' + aProxy.Host() + '\n' + std::to_string(port) +
                            '\n' + aProxy.Username() + '\n' + aProxy.Password();
    if (key != FTLSProxyKey && handler.Opened()) Disconnect();
    FTLSProxyKey = key;
  }
  if (aProxy.ProxyType() == pxyHTTP) {
    handler.SetTransparentProxy(&GetProxyHTTP(aProxy));
    FProxySocks.reset();
  } else {
    handler.SetTransparentProxy(&GetProxySocks(aProxy));
    FProxyHTTP.reset();
  }
  // The engine names the URL it requests before it connects; until then the
  // handler checks the host the client last talked to.
  if (aTLS && FTLSOptions.VerifyCertificate()) FTLSHandler->SetURIToCheck("http://" + Host());
}

void TqtxIdHTTP::DropTLSProxy() {
  if (FTLSProxyKey.empty()) return;
  if (FTLSHandler->Opened()) Disconnect();
  FTLSHandler->SetTransparentProxy(nullptr);
  FTLSProxyKey.clear();
}

TIdIOHandlerSocket& TqtxIdHTTP::GetProxyIOHandler(bool aTLS) {
  if (aTLS) return *FTLSHandler;
  if (!FProxyIOHandler) {
    FProxyIOHandler = std::make_unique<TIdIOHandlerStack>(this);
    FProxyIOHandler->OnStatus = OnStatus;
  }
  return *FProxyIOHandler;
}

TIdConnectThroughHttpProxy& TqtxIdHTTP::GetProxyHTTP(const TqtxSocketProxy_Options& aProxy) {
  if (!FProxyHTTP) FProxyHTTP = std::make_unique<TIdConnectThroughHttpProxy>(this);
  FProxyHTTP->SetHost(aProxy.Host());
  FProxyHTTP->SetPort(ProxyPort(aProxy));
  FProxyHTTP->SetUsername(aProxy.Username());
  FProxyHTTP->SetPassword(aProxy.Password());
  FProxyHTTP->SetEnabled(aProxy.Enabled());
  return *FProxyHTTP;
}

TIdSocksInfo& TqtxIdHTTP::GetProxySocks(const TqtxSocketProxy_Options& aProxy) {
  if (!FProxySocks) FProxySocks = std::make_unique<TIdSocksInfo>(this);
  FProxySocks->SetHost(aProxy.Host());
  FProxySocks->SetPort(ProxyPort(aProxy));
  FProxySocks->SetUsername(aProxy.Username());
  FProxySocks->SetPassword(aProxy.Password());
  FProxySocks->SetAuthentication(aProxy.Username().empty() ? saNoAuthentication : saUsernamePassword);
  switch (aProxy.ProxyType()) {
    case pxySocks4: FProxySocks->SetVersion(svSocks4); break;
    case pxySocks4A: FProxySocks->SetVersion(svSocks4A); break;
    case pxySocks5: FProxySocks->SetVersion(svSocks5); break;
    case pxyHTTP: break;
  }
  return *FProxySocks;
}

// ---- the traffic log ------------------------------------------------------------------

void TqtxIdHTTP::StartLog() {
  if (Intercept()) return;
  auto log = std::make_unique<TqtxIdLogFileClient>();
  log->SetFileName(FLogOptions.FileName());
  log->SetReplaceCRLF(false);
  log->SetActive(true);
  FLogIntercept = std::move(log);
  SetIntercept(FLogIntercept.get());
}

void TqtxIdHTTP::StopLog() {
  // Whatever is attached goes: the client's own log is freed (which closes
  // its file), an intercept of the caller's is let go.
  SetIntercept(nullptr);
  FLogIntercept.reset();
}

// ---- the bearer token -------------------------------------------------------------------

void TqtxIdHTTP::SetAuthToken(const std::string& aToken, const std::string& aTokenType, TDateTime aExpiry) {
  {
    std::lock_guard guard(FAuthTokenLock);
    FAuthToken = aToken;
    FAuthTokenType = aTokenType;
    FAuthTokenExpiry = aExpiry;
  }
  FAuthTokenArrived.notify_all();
}

void TqtxIdHTTP::OnAuthTokenEvent(TComponent&, const std::string& aTokenType, const std::string& aToken,
                                  const std::string&) {
  TDateTime expiry;
  {
    std::lock_guard guard(FAuthTokenLock);
    expiry = FAuthTokenExpiry;
  }
  if (TqtxHTTPComponentClient_JWT* jwt = FAuthentication.Token().JWT(); jwt && !aToken.empty()) {
    const int64_t lifetime = static_cast<int64_t>(jwt->JWTOptions().RefreshTokenAfter()) * 1000;
    expiry = Now() + static_cast<double>(lifetime) / kMSecsPerDay;
  }
  SetAuthToken(aToken, aTokenType, expiry);
}

void TqtxIdHTTP::OnAuthTokenErrorEvent(TComponent&, const std::string& aError, const std::string& aErrorDescription,
                                       const std::string&) {
  const std::string message = Format(RSAuthTokenError, {aError, aErrorDescription});
  {
    std::lock_guard guard(FAuthTokenLock);
    FAuthTokenError = message;
  }
  FAuthTokenArrived.notify_all();
  throw EqtxHTTPAuthTokenError(message);
}

void TqtxIdHTTP::DoAuthToken() {
  TqtxHTTPAuthentication_Token& options = FAuthentication.Token();
  TqtxHTTPComponentClient_JWT* const jwt = options.JWT();
  TqtxHTTPComponentClientAuthToken_Base* const source =
      options.OAuth() ? static_cast<TqtxHTTPComponentClientAuthToken_Base*>(options.OAuth()) : jwt;
  if (!source) return;

  std::unique_lock lock(FAuthTokenLock);
  if (jwt && FAuthTokenExpiry < Now()) FAuthToken.clear();
  if (FAuthToken.empty()) {
    FAuthTokenError.reset();
    lock.unlock();
    source->SetOnAuthToken([sink = FAuthTokenSink](TComponent& aSender, const std::string& aTokenType,
                                                   const std::string& aToken, const std::string& aData) {
      std::lock_guard guard(sink->Lock);
      if (sink->Client) sink->Client->OnAuthTokenEvent(aSender, aTokenType, aToken, aData);
    });
    source->SetOnAuthTokenError([sink = FAuthTokenSink](TComponent& aSender, const std::string& aError,
                                                        const std::string& aDescription, const std::string& aData) {
      std::lock_guard guard(sink->Lock);
      if (sink->Client) sink->Client->OnAuthTokenErrorEvent(aSender, aError, aDescription, aData);
    });
    source->Start();
    lock.lock();
    FAuthTokenArrived.wait_for(lock, std::chrono::milliseconds(options.ReadTimeout()),
                               [this] { return !FAuthToken.empty() || FAuthTokenError; });
    // A source that failed on its own thread fails the request too.
    if (FAuthTokenError) throw EqtxHTTPAuthTokenError(*FAuthTokenError);
  }
  if (FAuthToken.empty()) return;  // no token in time: the request goes without one
  const std::string line = std::string(kAuthorizationLine) + FAuthTokenType + " " + FAuthToken;
  lock.unlock();

  TIdHeaderList& headers = Request().CustomHeaders();
  for (int i = headers.Count() - 1; i >= 0; --i) {
    if (SameText(std::string_view(headers[i]).substr(0, kAuthorization.size()), kAuthorization)) headers.Delete(i);
  }
  headers.Add(line);
}

// ---- server-sent events -----------------------------------------------------------------

TIdEventStream& TqtxIdHTTP::GetEventStream() {
  if (!FEventStream) {
    FEventStream = std::make_unique<TIdEventStream>();
    FEventStream->OnWrite = [this](const TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult) {
      OnSSEWriteEvent(aBuffer, aOffset, aCount, aResult);
    };
  }
  return *FEventStream;
}

void TqtxIdHTTP::GetSSE(const std::string& aURL, const std::string& aCharset) {
  Request().SetAccept(std::string(aCharset.empty() ? kEventStream : kEventStreamUTF8));
  Request().SetCacheControl("no-store");
  FSSECancelled = false;
  try {
    Get(aURL, &GetEventStream());
  } catch (const EIdSilentException&) {
    // The server ended the stream.
  } catch (const Exception&) {
    // What the cancel's disconnect made the read raise ends the stream too.
    if (!FSSECancelled) throw;
  }
}

void TqtxIdHTTP::OnSSEWriteEvent(const TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult) {
  // The block is taken whole: the body reader counts a short write as a failure.
  aResult = aCount;
  if (!OnSSEMessage) return;
  const auto first = aBuffer.begin() + aOffset;
  bool cancel = false;
  OnSSEMessage(*this, BytesToRawText(TIdBytes(first, first + aCount)), cancel);
  if (cancel) {
    FSSECancelled = true;
    Disconnect();
  }
}

}  // namespace qtx
