// The exchange: the request and response objects, the protocol object's
// steps, and ExecuteRequest's loop with the target, the connection, the
// tunnel, authentication, redirects and cookies.

#include "http/qtxIdHTTP.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "http/qtxIdHeaderItems.h"
#include "platform/qtxScopeExit.h"
#include "platform/qtxSysUtils.h"
#include "tls/qtxIdSSLOpenSSL.h"
#include "transport/qtxIdStack.h"

namespace qtx {

namespace {
const char* const RSHTTPNotAcceptable = "Not Acceptable";
const char* const RSHTTPUnknownProtocol = "Unknown Protocol";
const char* const RSHTTPMethodRequiresVersion = "Request method requires HTTP version 1.1";
const char* const RSIOHandlerPropInvalid = "IOHandler value is not valid";
const char* const RSHTTPHeaderTruncated =
    "Response header truncated: the connection closed before the end of the header block.";
const char* const RSHTTPTooManyHeaderLines = "Response header too long: more than %d lines.";

// HTTPS without an IO handler of the caller's gets an OpenSSL one: naming
// its class here registers it in every program with an HTTP client.
[[maybe_unused]] const bool gOpenSSLHandlerRegistered = (RegisterIOHandler(IdSSLIOHandlerSocketOpenSSLClass()), true);

// Request lines and headers are text, written and read as UTF-8.
const IIdTextEncoding& HeaderEncoding() {
  static const IIdTextEncoding kUTF8 = IdTextEncoding_UTF8();
  return kUTF8;
}

bool IsTrimmedText(std::string_view aValue, std::string_view aWord) { return SameText(TrimView(aValue), aWord); }

// The methods that need HTTP/1.1.
bool NeedsVersion11(std::string_view aMethod) {
  static constexpr std::array<std::string_view, 5> kMethods{"TRACE", "PUT", "OPTIONS", "DELETE", "PATCH"};
  return std::any_of(kMethods.begin(), kMethods.end(), [aMethod](std::string_view m) { return SameText(m, aMethod); });
}

bool IsIgnored(const TIdHTTPIgnoreReplies& aIgnoreReplies, int aCode) {
  return std::find(aIgnoreReplies.begin(), aIgnoreReplies.end(), aCode) != aIgnoreReplies.end();
}

// The scheme, host and port a request goes to, compared without regard to case.
struct TOrigin {
  std::string Protocol;
  std::string Host;
  std::string Port;
  explicit TOrigin(const TIdURI& aURI)
      : Protocol(LowerCase(aURI.Protocol())), Host(LowerCase(aURI.Host())), Port(aURI.Port()) {}
  bool operator==(const TOrigin&) const = default;
};
}  // namespace

EIdUnknownProtocol::EIdUnknownProtocol() : EIdException(RSHTTPUnknownProtocol) {}
EIdIOHandlerPropInvalid::EIdIOHandlerPropInvalid() : EIdException(RSIOHandlerPropInvalid) {}

// ---- request and response --------------------------------------------------------

TIdHTTPRequest::TIdHTTPRequest(TIdCustomHTTP* aHTTP) : TIdRequestHeaderInfo(aHTTP), FHTTP(aHTTP) {}

void TIdHTTPRequest::Assign(const TIdEntityHeaderInfo& aSource) {
  if (&aSource == this) return;
  TIdRequestHeaderInfo::Assign(aSource);
  const auto* source = dynamic_cast<const TIdHTTPRequest*>(&aSource);
  if (!source) return;
  FURL = source->FURL;
  FMethod = source->FMethod;
  FSourceStream = source->FSourceStream;
  FUseProxy = source->FUseProxy;
  FIPVersion = source->FIPVersion;
  FDestination = source->FDestination;
}

TIdHTTPResponse::TIdHTTPResponse(TIdCustomHTTP* aHTTP, const TIdHTTPRequest& aRequest)
    : TIdResponseHeaderInfo(aHTTP), FHTTP(aHTTP), FRequest(aRequest), FMetaHTTPEquiv(aHTTP) {}

void TIdHTTPResponse::Clear() {
  TIdResponseHeaderInfo::Clear();
  FMetaHTTPEquiv.Clear();
}

int TIdHTTPResponse::ResponseCode() {
  if (FResponseCode != -1) return FResponseCode;
  // "HTTP/1.1 200 OK": the word after the first space, before any ".".
  const size_t space = FResponseText.find(' ');
  if (space == std::string::npos) return -1;
  std::string_view code = TrimView(std::string_view(FResponseText).substr(space + 1));
  code = code.substr(0, code.find(' '));
  code = code.substr(0, code.find('.'));
  int value = 0;
  const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
  if (error == std::errc() && end == code.data() + code.size() && !code.empty()) FResponseCode = value;
  return FResponseCode;
}

void TIdHTTPResponse::SetResponseText(const std::string& aValue) {
  FResponseText = aValue;
  FResponseCode = -1;
  const std::string_view version = std::string_view(aValue).substr(std::min<size_t>(aValue.size(), 5), 3);
  FResponseVersion = SameText(version, "1.1") ? pv1_1 : pv1_0;
}

bool TIdHTTPResponse::IsChunked() const {
  return LowerCase(TransferEncoding()).find("chunked") != std::string::npos;
}

bool TIdHTTPResponse::KeepAlive() {
  TIdCustomHTTP& http = *FHTTP;
  // Connected notices a peer's close on the way.
  if (!http.Connected()) return false;
  const bool viaProxy = FRequest.UseProxy() == ctProxy || FRequest.UseProxy() == ctSSLProxy;
  if (IsTrimmedText(FRequest.Connection(), "close") ||
      (viaProxy && IsTrimmedText(FRequest.ProxyConnection(), "close"))) {
    return false;
  }
  // After switching protocols the connection belongs to the new protocol.
  if (ResponseCode() == 101) return true;
  if (http.ProtocolVersion() == pv1_0) {
    return IsTrimmedText(Connection(), "keep-alive") && (!viaProxy || IsTrimmedText(ProxyConnection(), "keep-alive"));
  }
  return !IsTrimmedText(Connection(), "close") && !(viaProxy && IsTrimmedText(ProxyConnection(), "close"));
}

// ---- the protocol object -----------------------------------------------------------

TIdHTTPProtocol::TIdHTTPProtocol(TIdCustomHTTP& aHTTP)
    : FHTTP(aHTTP), FRequest(&aHTTP), FResponse(&aHTTP, FRequest) {}

void TIdHTTPProtocol::BuildAndSendRequest(TIdURI* aURI) {
  if (TIdAuthentication* authentication = FRequest.Authentication()) {
    authentication->SetRequest(FRequest.Method(), FRequest.URL());
  }
  FRequest.SetHeaders();
  // Only the proxy reads its credentials: a CONNECT, or a request it
  // forwards. Through a tunnel they would reach the origin server.
  if (SameText(FRequest.Method(), "CONNECT") || (FRequest.UseProxy() == ctProxy && !FHTTP.FTunnelled)) {
    FHTTP.ProxyParams().SetHeaders(FRequest.RawHeaders());
  }
  if (aURI) FHTTP.AddClientCookieHeader(*aURI, FRequest);

  // Request line and headers go out in one write; the body follows apart.
  std::string head = FRequest.Method() + " " + FRequest.URL() +
                     (FHTTP.ProtocolVersion() == pv1_0 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
  const TIdHeaderList& headers = FRequest.RawHeaders();
  for (int i = 0; i < headers.Count(); ++i) {
    if (headers[i].empty()) continue;
    head += headers[i];
    head += "\r\n";
  }
  head += "\r\n";
  FHTTP.IOHandler()->Write(head, HeaderEncoding());
}

void TIdHTTPProtocol::RetrieveHeaders(int aMaxHeaderCount) {
  FResponse.Clear();
  TIdHeaderList& headers = FResponse.RawHeaders();
  try {
    for (std::string line = FHTTP.ReadHeaderLine(); !line.empty(); line = FHTTP.ReadHeaderLine()) {
      if (aMaxHeaderCount > 0 && headers.Count() >= aMaxHeaderCount) {
        throw EIdHTTPMalformedResponse(Format(RSHTTPTooManyHeaderLines, {aMaxHeaderCount}));
      }
      headers.Add(line);
    }
  } catch (const EIdConnClosedGracefully&) {
    // Without the empty line nothing says how the body is framed.
    FHTTP.DisconnectQuietly();
    throw EIdHTTPResponseTruncated(RSHTTPHeaderTruncated);
  } catch (...) {
    FHTTP.DisconnectQuietly();
    throw;
  }
  FResponse.ProcessHeaders();
}

TIdHTTPWhatsNext TIdHTTPProtocol::ProcessResponse(const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  if (FHTTP.OnHeadersAvailable) {
    bool proceed = true;
    FHTTP.OnHeadersAvailable(FHTTP, FResponse.RawHeaders(), proceed);
    if (!proceed) {
      FResponse.SetConnection("close");
      return wnJustExit;
    }
  }
  const int code = FResponse.ResponseCode();
  if (code / 100 == 3 && code != 304) return ProcessRedirect(code, aIgnoreReplies);
  if (code / 100 == 2) {
    if (SameText(FRequest.Method(), "HEAD") || SameText(FRequest.MethodOverride(), "HEAD") || code == 204) {
      DiscardResponseBody();
    } else {
      FHTTP.ReadResponseBody(FRequest, FResponse);
    }
    return wnJustExit;
  }
  if (code == 101) return wnJustExit;
  if (code == 401 || code == 407) return ProcessAuthChallenge(code, aIgnoreReplies);
  RaiseProtocolError(code, aIgnoreReplies);
  return wnJustExit;
}

TIdHTTPWhatsNext TIdHTTPProtocol::ProcessRedirect(int aCode, const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  std::string location = FResponse.Location();
  if (location.empty()) {
    RaiseProtocolError(aCode, aIgnoreReplies);
    return wnJustExit;
  }
  ++FHTTP.FRedirectCount;
  std::string method = FRequest.Method();
  if (!FHTTP.AskRedirect(location, method, FHTTP.FRedirectCount)) {
    RaiseProtocolError(aCode, aIgnoreReplies);
    return wnJustExit;
  }
  if (FHTTP.HandleRedirects() && FHTTP.RedirectCount() < FHTTP.RedirectMaximum()) {
    FRequest.SetURL(location);
    if (aCode == 303 || (aCode == 302 && FHTTP.HTTPOptions().Contains(hoTreat302Like303))) {
      FRequest.SetSourceStream(nullptr);
      FRequest.SetMethod("GET");
    } else {
      FRequest.SetMethod(method);
    }
    FRequest.SetMethodOverride("");
    if (FHTTP.Connected()) DiscardResponseBody();
    return wnGoToURL;
  }
  FResponse.SetLocation(location);
  if (FHTTP.Connected()) DiscardResponseBody();
  return wnJustExit;
}

TIdHTTPWhatsNext TIdHTTPProtocol::ProcessAuthChallenge(int aCode, const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  const bool proxy = aCode == 407;
  const int retries = proxy ? FHTTP.AuthProxyRetries() : FHTTP.AuthRetries();
  if (retries < FHTTP.MaxAuthRetries() && (proxy ? FHTTP.HandleProxyAuthChallenge(FRequest, FResponse)
                                                 : FHTTP.HandleAuthChallenge(FRequest, FResponse))) {
    if (FHTTP.HTTPOptions().Contains(hoInProcessAuth)) {
      DiscardResponseBody();
      return wnAuthRequest;
    }
    FHTTP.ReadResponseBody(FRequest, FResponse);
    return wnJustExit;
  }
  TIdAuthentication* authentication = proxy ? FHTTP.ProxyParams().Authentication() : FRequest.Authentication();
  if (authentication) authentication->Reset();
  RaiseProtocolError(aCode, aIgnoreReplies);
  return wnJustExit;
}

void TIdHTTPProtocol::RaiseProtocolError(int aCode, const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  if (FHTTP.HTTPOptions().Contains(hoNoProtocolErrorException) || IsIgnored(aIgnoreReplies, aCode)) {
    ReadBodyInto(FHTTP.HTTPOptions().Contains(hoWantProtocolErrorContent) ? FResponse.ContentStream() : nullptr);
    return;
  }
  TMemoryStream body;
  ReadBodyInto(&body);
  throw EIdHTTPProtocolException(aCode, FResponse.ResponseText(),
                                 ResponseTextEncoding(FResponse)->GetString(body.Bytes()));
}

void TIdHTTPProtocol::ReadBodyInto(TStream* aStream) {
  const TScopeExit restoreCallers(
      [this, callers = FResponse.ContentStream()] { FResponse.SetContentStream(callers); });
  FResponse.SetContentStream(aStream);
  try {
    FHTTP.ReadResponseBody(FRequest, FResponse);
  } catch (const EIdConnClosedGracefully&) {
  }
}

// ---- construction and collaborators ---------------------------------------------------

TIdCustomHTTP::TIdCustomHTTP(TComponent* aOwner)
    : TIdTCPClientCustom(aOwner), FHTTPProto(TIdCustomHTTP::CreateProtocolObject()) {}

TIdCustomHTTP::~TIdCustomHTTP() {
  Destroying();
  SetCookieManager(nullptr);
}

std::unique_ptr<TIdHTTPProtocol> TIdCustomHTTP::CreateProtocolObject() {
  return std::make_unique<TIdHTTPProtocol>(*this);
}

void TIdCustomHTTP::SetCookieManager(TIdCookieManager* aValue) {
  if (aValue == FCookieManager) return;
  if (FImplicitCookieManager) {
    FImplicitCookieManager.reset();
  } else if (FCookieManager) {
    RemoveFreeNotification(FCookieManager);
  }
  FCookieManager = aValue;
  if (FCookieManager) FreeNotification(FCookieManager);
}

void TIdCustomHTTP::SetCompressor(TIdZLibCompressorBase* aValue) {
  if (aValue == FCompressor) return;
  if (FCompressor) RemoveFreeNotification(FCompressor);
  FCompressor = aValue;
  if (FCompressor) FreeNotification(FCompressor);
}

void TIdCustomHTTP::SetAuthenticationManager(TIdAuthenticationManager* aValue) {
  if (aValue == FAuthenticationManager) return;
  if (FAuthenticationManager) RemoveFreeNotification(FAuthenticationManager);
  FAuthenticationManager = aValue;
  if (FAuthenticationManager) FreeNotification(FAuthenticationManager);
}

void TIdCustomHTTP::Notification(TComponent* aComponent, TOperation aOperation) {
  if (aOperation == TOperation::opRemove) {
    if (aComponent == FCookieManager) FCookieManager = nullptr;
    if (aComponent == FCompressor) FCompressor = nullptr;
    if (aComponent == FAuthenticationManager) FAuthenticationManager = nullptr;
  }
  TIdTCPClientCustom::Notification(aComponent, aOperation);
}

void TIdCustomHTTP::DoOnDisconnected() {
  TIdTCPClientCustom::DoOnDisconnected();
  FTunnelled = false;
  TIdHTTPRequest& request = Request();
  if (TIdAuthentication* authentication = request.Authentication();
      authentication && authentication->Steps() == authentication->CurrentStep()) {
    if (FAuthenticationManager) FAuthenticationManager->AddAuthentication(*authentication, FURI);
    request.SetAuthentication(nullptr);
  }
  if (TIdAuthentication* proxy = FProxyParameters.Authentication(); proxy && proxy->Steps() == proxy->CurrentStep()) {
    proxy->Reset();
  }
}

void TIdCustomHTTP::DisconnectQuietly() {
  try {
    Disconnect();
  } catch (...) {
  }
  // Bytes of a connection given up on belong to no answer.
  if (IOHandler()) IOHandler()->InputBuffer().Clear();
}

// ---- the exchange --------------------------------------------------------------------

// What a request carries for its own origin only: the credentials, the
// authentication object and the custom "Authorization" and "Cookie" lines.
// They are held back while a redirect chain is away from the origin of the
// call, and put back when it returns there or the call ends.
struct TIdCustomHTTP::TCredentialStash {
  explicit TCredentialStash(TIdHTTPRequest& aRequest) : Request(aRequest) {}
  ~TCredentialStash() { Restore(); }
  TCredentialStash(const TCredentialStash&) = delete;
  TCredentialStash& operator=(const TCredentialStash&) = delete;

  void Withhold() {
    if (Withheld) return;
    Withheld = true;
    Authentication = Request.TakeAuthentication();
    Username = Request.Username();
    Password = Request.Password();
    BasicAuthentication = Request.BasicAuthentication();
    Request.SetUsername("");
    Request.SetPassword("");
    Request.SetBasicAuthentication(false);
    TIdHeaderList& custom = Request.CustomHeaders();
    for (int i = 0; i < custom.Count();) {
      const std::string name = Trim(custom.Names(i));
      if (SameText(name, "Authorization") || SameText(name, "Cookie")) {
        Lines.emplace_back(i + static_cast<int>(Lines.size()), custom[i]);
        custom.Delete(i);
      } else {
        ++i;
      }
    }
  }

  void Restore() {
    if (!Withheld) return;
    Withheld = false;
    Request.SetAuthentication(std::move(Authentication));
    Request.SetUsername(Username);
    Request.SetPassword(Password);
    Request.SetBasicAuthentication(BasicAuthentication);
    TIdHeaderList& custom = Request.CustomHeaders();
    for (const auto& [index, line] : Lines) custom.Insert(std::min(index, custom.Count()), line);
    Lines.clear();
  }

  TIdHTTPRequest& Request;
  bool Withheld = false;
  std::unique_ptr<TIdAuthentication> Authentication;
  std::string Username;
  std::string Password;
  bool BasicAuthentication = false;
  std::vector<std::pair<int, std::string>> Lines;  // position in CustomHeaders, line
};

void TIdCustomHTTP::ExecuteRequest(const std::string& aMethod, const std::string& aURL, TStream* aSource,
                                   TStream* aResponseContent, const TIdHTTPIgnoreReplies& aIgnoreReplies) {
  FRedirectCount = 0;
  FAuthRetries = 0;
  FAuthProxyRetries = 0;
  const int64_t contentStart = aResponseContent ? aResponseContent->Position() : 0;
  auto rewindContent = [&] {
    if (!aResponseContent) return;
    aResponseContent->SetSize(contentStart);
    aResponseContent->SetPosition(contentStart);
  };
  TIdHTTPRequest& request = Request();
  TIdHTTPResponse& response = Response();
  request.SetURL(aURL);
  request.SetMethod(aMethod);
  request.SetSourceStream(aSource);
  response.SetContentStream(aResponseContent);

  // Whatever happens, a connection that cannot be kept is closed.
  const TScopeExit closeUnlessKept([this] { CloseUnlessKeptAlive(); });
  TCredentialStash stash(request);
  std::optional<TOrigin> origin;
  while (true) {
    ResolveRequestTarget(request);
    const TOrigin target(FURI);
    if (!origin) origin = target;
    if (target == *origin) {
      stash.Restore();
    } else {
      stash.Withhold();
      // Credentials in the redirect's own URL are meant for its origin.
      if (FURLHadCredentials) {
        request.SetUsername(FURI.Username());
        request.SetPassword(FURI.Password());
      }
    }
    if (auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler())) tls->SetURIToCheck(FURI.URI());
    if (!EstablishConnection(request, response)) break;
    ReadStatusAndHeaders(*FHTTPProto);
    const TIdHTTPWhatsNext next = FHTTPProto->ProcessResponse(aIgnoreReplies);
    if (next == wnJustExit) break;
    switch (next) {
      case wnDontKnow:
        throw EIdException(RSHTTPNotAcceptable);
      case wnReadAndGo:
        ReadResponseBody(request, response);
        [[fallthrough]];
      case wnGoToURL:
        rewindContent();
        FAuthRetries = 0;
        FAuthProxyRetries = 0;
        break;
      case wnAuthRequest:
        // Again to where the challenge came from (after redirects too).
        request.SetURL(FURI.URI());
        break;
      case wnJustExit:
        break;
    }
  }
}

void TIdCustomHTTP::CloseUnlessKeptAlive() {
  TIdHTTPResponse& response = Response();
  if (response.KeepAlive()) return;
  // A body left unread on purpose stays for the caller.
  if (FOptions.Contains(hoNoReadMultipartMIME) && IsHeaderMediaType(response.ContentType(), "multipart")) return;
  if (FOptions.Contains(hoNoReadChunked) && response.IsChunked()) return;
  Disconnect();
}

void TIdCustomHTTP::ResolveRequestTarget(TIdHTTPRequest& aRequest) {
  const TIdURI uri(aRequest.URL());
  FURLHadCredentials = !uri.Username().empty();
  if (FURLHadCredentials) {
    aRequest.SetUsername(uri.Username());
    aRequest.SetPassword(uri.Password());
  }
  FURI.SetUsername(aRequest.Username());
  FURI.SetPassword(aRequest.Password());

  FURI.SetPath(TIdURI::MergePath(FURI.Path(), uri.Path()));
  FURI.SetDocument(uri.Document());
  FURI.SetParams(uri.Params());
  if (!uri.Host().empty()) {
    FURI.SetHost(uri.Host());
    // A relative URL keeps the address family of the current host.
    FURI.SetIPVersion(uri.IPVersion());
  }
  if (!uri.Protocol().empty()) {
    FURI.SetProtocol(uri.Protocol());
  } else {
    FURI.SetProtocol(SameText(FURI.Protocol(), "https") ? "https" : "http");
  }
  if (!uri.Port().empty()) {
    FURI.SetPort(uri.Port());
  } else if (SameText(uri.Protocol(), "http")) {
    FURI.SetPort("80");
  } else if (SameText(uri.Protocol(), "https")) {
    FURI.SetPort("443");
  } else if (FURI.Port().empty()) {
    throw EIdUnknownProtocol();
  }

  const std::string& method = aRequest.Method();
  const std::string& override = aRequest.MethodOverride();
  if ((SameText(method, "OPTIONS") || SameText(override, "OPTIONS")) && FURI.Document() == "*") {
    aRequest.SetURL("*");
  } else {
    aRequest.SetURL(FURI.GetPathAndParams());
  }
  aRequest.SetIPVersion(FURI.IPVersion());

  if (FProtocolVersion != pv1_1 && (NeedsVersion11(method) || NeedsVersion11(override))) {
    throw EIdException(RSHTTPMethodRequiresVersion);
  }

  if (aRequest.SourceStream()) {
    aRequest.SetContentLength(aRequest.SourceStream()->Size());
  } else {
    aRequest.SetContentLength(SameText(method, "POST") || SameText(method, "PUT") ? 0 : -1);
  }

  std::string host = FURI.Host();
  if (FURI.IPVersion() == Id_IPv6 && TIdStack::IsValidIPv6(host)) host = "[" + host + "]";
  const bool defaultPort = (SameText(FURI.Protocol(), "http") && FURI.Port() == "80") ||
                           (SameText(FURI.Protocol(), "https") && FURI.Port() == "443");
  if (!defaultPort) host += ":" + FURI.Port();
  aRequest.SetHost(host);
}

TIdHTTPConnectionType TIdCustomHTTP::SelectHostAndPort() {
  const bool https = SameText(FURI.Protocol(), "HTTPS");
  if (FProxyParameters.ProxyServer().empty()) {
    if (IPVersion() != FURI.IPVersion() && Connected()) Disconnect();
    const int port = StrToIntDef(FURI.Port(), 80);
    if ((!SameText(FURI.Host(), Host()) || port != Port()) && Connected()) Disconnect();
    SetHost(FURI.Host());
    SetPort(port);
    return https ? ctSSL : ctNormal;
  }
  if ((!SameText(FProxyParameters.ProxyServer(), Host()) || FProxyParameters.ProxyPort() != Port()) && Connected()) {
    Disconnect();
  }
  SetHost(FProxyParameters.ProxyServer());
  SetPort(FProxyParameters.ProxyPort());
  return https ? ctSSLProxy : ctProxy;
}

bool TIdCustomHTTP::EstablishConnection(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse) {
  if (IOHandler()) IOHandler()->InputBuffer().Clear();
  const bool literalIPv6 = FURI.IPVersion() == Id_IPv6 && TIdStack::IsValidIPv6(FURI.Host());
  const std::string destination = (literalIPv6 ? "[" + FURI.Host() + "]" : FURI.Host()) + ":" + FURI.Port();

  const TIdHTTPConnectionType previous = aRequest.UseProxy();
  const TIdHTTPConnectionType type = SelectHostAndPort();
  aRequest.SetUseProxy(type);
  if (type != previous || (type == ctSSLProxy && !SameText(aRequest.Destination(), destination))) Disconnect();
  aRequest.SetDestination(destination);

  bool tunnel = false;
  switch (type) {
    case ctNormal:
    case ctSSL:
      if (FProtocolVersion == pv1_0 && aRequest.Connection().empty()) aRequest.SetConnection("keep-alive");
      break;
    case ctProxy:
      aRequest.SetURL(FURI.URI());
      if (FProtocolVersion == pv1_0 && aRequest.ProxyConnection().empty()) aRequest.SetProxyConnection("keep-alive");
      tunnel = FOptions.Contains(hoNonSSLProxyUseConnectVerb) && !aResponse.KeepAlive();
      break;
    case ctSSLProxy:
      tunnel = !aResponse.KeepAlive();
      break;
  }
  // A connection that cannot carry this request is given up before the
  // tunnel is built, so that the new one gets a tunnel too.
  if (tunnel) Disconnect();
  AddAcceptEncodings(aRequest);

  if (tunnel) {
    if (!OpenTunnel(aRequest)) return false;
  } else {
    OpenTransport(aRequest, aResponse);
  }
  FHTTPProto->BuildAndSendRequest(&FURI);
  if (aRequest.SourceStream()) IOHandler()->Write(*aRequest.SourceStream(), 0);
  return true;
}

void TIdCustomHTTP::AddAcceptEncodings(TIdHTTPRequest& aRequest) {
  std::string encodings = aRequest.AcceptEncoding();
  if (FCompressor && FCompressor->IsReady()) {
    for (const char* coding : {"deflate", "gzip"}) {
      if (encodings.find(coding) != std::string::npos) continue;
      encodings += encodings.empty() ? coding : std::string(", ") + coding;
    }
  }
  if (!encodings.empty() && encodings.find("identity") == std::string::npos) encodings += ", identity";
  aRequest.SetAcceptEncoding(encodings);
}

void TIdCustomHTTP::OpenTransport(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse) {
  // KeepAlive has just asked the connection whether the peer is still
  // there; a close it noticed has closed the handler.
  const bool reusable = aResponse.KeepAlive();
  if (!reusable) Disconnect();
  if (IOHandler()) {
    IOHandler()->InputBuffer().Clear();
    CheckForGracefulDisconnect(false);
    if (reusable && IOHandler()->Opened()) return;
  }

  // The connection goes to the proxy when there is one, in its address family.
  const std::string& proxy = FProxyParameters.ProxyServer();
  SetIPVersion(proxy.empty() ? FURI.IPVersion() : TIdStack::IsValidIPv6(proxy) ? Id_IPv6 : Id_IPv4);
  const TIdHTTPConnectionType type = aRequest.UseProxy();
  if (type == ctSSL || type == ctSSLProxy) {
    if (!IOHandler()) {
      CreateIOHandler(&IdSSLIOHandlerSocketBaseClass());
      IOHandler()->OnStatus = OnStatus;
    }
    auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler());
    if (!tls) throw EIdIOHandlerPropInvalid();
    tls->SetURIToCheck(FURI.URI());
    // Through a proxy, TLS starts once the tunnel stands.
    tls->SetPassThrough(type == ctSSLProxy);
  } else if (auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler())) {
    tls->SetPassThrough(true);
    tls->SetURIToCheck(FURI.URI());
  }
  Connect();
}

bool TIdCustomHTTP::OpenTunnel(TIdHTTPRequest& aRequest) {
  const std::unique_ptr<TIdHTTPProtocol> tunnel = CreateProtocolObject();
  TIdHTTPRequest& connect = tunnel->Request();
  TIdHTTPResponse& answer = tunnel->Response();
  connect.SetUserAgent(aRequest.UserAgent());
  connect.SetHost(aRequest.Host());
  connect.SetPragma("no-cache");
  connect.SetURL(aRequest.Destination());
  connect.SetMethod("CONNECT");
  connect.SetProxyConnection("keep-alive");
  connect.SetUseProxy(aRequest.UseProxy());

  while (true) {
    OpenTransport(connect, answer);
    tunnel->BuildAndSendRequest(nullptr);
    const std::string status = ReadHeaderLine();
    if (status.empty()) {
      // Some proxies answer a CONNECT with nothing but the open tunnel.
      answer.Clear();
      answer.SetResponseText("HTTP/1.0 200 OK");
      answer.SetConnection("close");
    } else {
      answer.SetResponseText(status);
      tunnel->RetrieveHeaders(FMaxHeaderLines);
      StoreServerCookies(answer);
    }
    if (answer.ResponseCode() / 100 == 2) {
      if (auto* tls = dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler()); tls && aRequest.UseProxy() == ctSSLProxy) {
        tls->SetPassThrough(false);
      }
      FTunnelled = true;
      return true;
    }
    const TIdHTTPWhatsNext next = tunnel->ProcessResponse({});
    if (next == wnJustExit) break;
    switch (next) {
      case wnDontKnow:
        throw EIdException(RSHTTPNotAcceptable);
      case wnReadAndGo:
        ReadResponseBody(connect, answer);
        [[fallthrough]];
      case wnGoToURL:
        FAuthRetries = 0;
        FAuthProxyRetries = 0;
        break;
      case wnAuthRequest:
        connect.SetURL(aRequest.Destination());
        break;
      case wnJustExit:
        break;
    }
  }
  // No tunnel: the request must not go out over this connection (in the
  // clear, to the proxy). The proxy's answer is the caller's answer.
  TIdHTTPResponse& response = Response();
  response.SetResponseText(answer.ResponseText());
  response.RawHeaders().Assign(answer.RawHeaders());
  response.ProcessHeaders();
  DisconnectQuietly();
  return false;
}

std::string TIdCustomHTTP::ReadHeaderLine() {
  std::string line = IOHandler()->ReadLn(HeaderEncoding());
  if (IOHandler()->ReadLnTimedout()) throw EIdReadTimeout();
  return line;
}

void TIdCustomHTTP::ReadStatusAndHeaders(TIdHTTPProtocol& aProtocol) {
  TIdHTTPResponse& response = aProtocol.Response();
  do {
    response.SetResponseText(ReadHeaderLine());
    aProtocol.RetrieveHeaders(FMaxHeaderLines);
    StoreServerCookies(response);
  } while (response.ResponseCode() / 100 == 1 && response.ResponseCode() != 101);
}

// ---- authentication, redirects, cookies ----------------------------------------------

bool TIdCustomHTTP::AskRedirect(std::string& aLocation, std::string& aMethod, int& aRedirectCount) {
  bool handled = FHandleRedirects;
  if (OnRedirect) OnRedirect(*this, aLocation, aRedirectCount, handled, aMethod);
  return handled;
}

bool TIdCustomHTTP::HandleAuthChallenge(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse) {
  return HandleChallenge(aRequest, aResponse, false);
}

bool TIdCustomHTTP::HandleProxyAuthChallenge(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse) {
  return HandleChallenge(aRequest, aResponse, true);
}

bool TIdCustomHTTP::HandleChallenge(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse, bool aProxy) {
  ++(aProxy ? FAuthProxyRetries : FAuthRetries);
  TIdHeaderList& challenges = aProxy ? aResponse.ProxyAuthenticate() : aResponse.WWWAuthenticate();
  TIdAuthentication* authentication = aProxy ? FProxyParameters.Authentication() : aRequest.Authentication();
  if (!authentication) {
    TIdAuthenticationClass schemeClass = nullptr;
    for (int i = 0; i < challenges.Count() && !schemeClass; ++i) {
      const std::string& challenge = challenges[i];
      schemeClass = FindAuthClass(std::string_view(challenge).substr(0, challenge.find(' ')));
    }
    const TIdOnSelectAuthorization& select = aProxy ? OnSelectProxyAuthorization : OnSelectAuthorization;
    if (select) select(*this, schemeClass, challenges);
    if (!schemeClass) return false;
    std::unique_ptr<TIdAuthentication> created = schemeClass();
    authentication = created.get();
    if (aProxy) {
      FProxyParameters.SetAuthentication(std::move(created));
    } else {
      aRequest.SetAuthentication(std::move(created));
    }
  }

  auto giveCredentials = [&] {
    authentication->SetUsername(aProxy ? FProxyParameters.ProxyUsername() : aRequest.Username());
    authentication->SetPassword(aProxy ? FProxyParameters.ProxyPassword() : aRequest.Password());
  };
  giveCredentials();
  authentication->Params().SetValues("Authorization", authentication->Authentication());
  authentication->SetAuthParams(challenges);

  const TIdOnAuthorization& ask = aProxy ? OnProxyAuthorization : OnAuthorization;
  while (true) {
    switch (authentication->Next()) {
      case wnDoRequest:
        return true;
      case wnFail:
        return false;
      case wnAskTheProgram: {
        if (!ask) return false;
        giveCredentials();
        bool handled = false;
        ask(*this, *authentication, handled);
        if (!handled) return false;
        if (aProxy) {
          FProxyParameters.SetBasicAuthentication(true);
          FProxyParameters.SetProxyUsername(authentication->Username());
          FProxyParameters.SetProxyPassword(authentication->Password());
        } else {
          aRequest.SetBasicAuthentication(true);
          aRequest.SetUsername(authentication->Username());
          aRequest.SetPassword(authentication->Password());
        }
        break;
      }
    }
  }
}

void TIdCustomHTTP::AddClientCookieHeader(TIdURI& aURI, TIdHTTPRequest& aRequest) {
  if (!FAllowCookies || !FCookieManager) return;
  FCookieManager->GenerateClientCookies(aURI, SameText(aURI.Protocol(), "HTTPS"), aRequest.RawHeaders());
}

void TIdCustomHTTP::StoreServerCookies(TIdHTTPResponse& aResponse) {
  if (!FAllowCookies) return;
  if (!FCookieManager) {
    FImplicitCookieManager = std::make_unique<TIdCookieManager>();
    FCookieManager = FImplicitCookieManager.get();
  }
  TStringList cookies;
  aResponse.RawHeaders().Extract("Set-Cookie", cookies);
  aResponse.MetaHTTPEquiv().RawHeaders().Extract("Set-Cookie", cookies);
  if (cookies.Count() > 0) FCookieManager->AddServerCookies(cookies, FURI);
}

}  // namespace qtx
