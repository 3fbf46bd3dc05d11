#pragma once
// The HTTP/1.1 client engine. A verb call (Get, Post, ...) becomes one or
// more request/response exchanges on a connection, through an HTTP proxy or
// TLS when the URL or the settings ask for them: redirects are followed,
// authentication challenges answered, cookies kept and sent, and the
// response body read into the caller's stream as it arrives.
//
// The exchange is in qtxIdHTTP.cpp, the verbs (with form encoding and
// string results) in qtxIdHTTPVerbs.cpp, and reading a response body (its
// framing, decompression and charset sniffing) in qtxIdHTTPBody.cpp.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/qtxIdException.h"
#include "core/qtxIdIPVersion.h"
#include "core/qtxIdSet.h"
#include "core/qtxIdTextEncoding.h"
#include "http/qtxIdAuthentication.h"
#include "http/qtxIdAuthenticationManager.h"
#include "http/qtxIdCookieManager.h"
#include "http/qtxIdHTTPHeaderInfo.h"
#include "http/qtxIdMultipartFormData.h"
#include "http/qtxIdURI.h"
#include "http/qtxIdZLibCompressorBase.h"
#include "platform/qtxStreams.h"
#include "platform/qtxStrings.h"
#include "transport/qtxIdTCPClient.h"

namespace qtx {

class TIdCustomHTTP;

// Behaviour switches; the order fixes the bit of each.
enum TIdHTTPOption {
  hoInProcessAuth,              // after a 401/407 was answered, the engine sends the request again itself
  hoKeepOrigProtocol,           // Post keeps ProtocolVersion and the open connection
  hoForceEncodeParams,          // form fields posted from a string list are percent-encoded
  hoNonSSLProxyUseConnectVerb,  // plain HTTP through a proxy opens a CONNECT tunnel too
  hoNoParseMetaHTTPEquiv,       // HTML bodies are not scanned for meta http-equiv tags
  hoWaitForUnexpectedData,      // bodiless answers wait 100 ms for stray body bytes
  hoTreat302Like303,            // a 302 redirect switches to GET without body
  hoNoProtocolErrorException,   // error statuses do not raise
  hoNoReadMultipartMIME,        // a multipart body without length is left on the connection
  hoNoParseXmlCharset,          // XML bodies are not sniffed for their charset
  hoWantProtocolErrorContent,   // a non-raising error status still delivers its body
  hoNoReadChunked,              // a chunked body is left on the connection
};
using TIdHTTPOptions = TIdSet<TIdHTTPOption>;

enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };
enum TIdHTTPConnectionType { ctNormal, ctSSL, ctProxy, ctSSLProxy };
enum TIdHTTPWhatsNext { wnGoToURL, wnJustExit, wnDontKnow, wnReadAndGo, wnAuthRequest };

// Status codes a call returns normally instead of raising.
using TIdHTTPIgnoreReplies = std::vector<int16_t>;

// A reply carrying an error code: the code, and the reply text as message.
class EIdReplyRFCError : public EIdException {
public:
  EIdReplyRFCError(int aErrorCode, std::string aReplyMessage)
      : EIdException(std::move(aReplyMessage)), FErrorCode(aErrorCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }

private:
  int FErrorCode;
};

// An error status: the code, the status line as message and the response
// body, decoded as text, in ErrorMessage.
class EIdHTTPProtocolException : public EIdReplyRFCError {
public:
  EIdHTTPProtocolException(int aErrorCode, std::string aReplyMessage, std::string aErrorMessage)
      : EIdReplyRFCError(aErrorCode, std::move(aReplyMessage)), FErrorMessage(std::move(aErrorMessage)) {}
  const std::string& ErrorMessage() const noexcept { return FErrorMessage; }

private:
  std::string FErrorMessage;
};

// "Unknown Protocol": a URL whose port cannot be told from its protocol.
class EIdUnknownProtocol : public EIdException {
public:
  EIdUnknownProtocol();
};
// "IOHandler value is not valid": HTTPS over a handler that cannot do TLS.
class EIdIOHandlerPropInvalid : public EIdException {
public:
  EIdIOHandlerPropInvalid();
};
// A response that breaks off or breaks its framing. The connection is
// closed before it propagates; what arrived of the body stays in the stream.
class EIdHTTPResponseError : public EIdException { using EIdException::EIdException; };
// The connection closed inside the header block or before the body's end.
class EIdHTTPResponseTruncated : public EIdHTTPResponseError { using EIdHTTPResponseError::EIdHTTPResponseError; };
// A chunk-size line that is no size, or a header block over MaxHeaderLines.
class EIdHTTPMalformedResponse : public EIdHTTPResponseError { using EIdHTTPResponseError::EIdHTTPResponseError; };

class TIdHTTPRequest : public TIdRequestHeaderInfo {
public:
  explicit TIdHTTPRequest(TIdCustomHTTP* aHTTP);

  // Copies the header fields and, from another HTTP request, the exchange
  // fields as well (URL, method, source stream, connection type, IP version,
  // destination).
  void Assign(const TIdEntityHeaderInfo& aSource) override;

  TIdCustomHTTP* HTTP() const noexcept { return FHTTP; }
  // The request target actually written: a path, an absolute URL for a
  // proxy, "*" or "host:port".
  const std::string& URL() const noexcept { return FURL; }
  void SetURL(std::string aValue) { FURL = std::move(aValue); }
  const std::string& Method() const noexcept { return FMethod; }
  void SetMethod(std::string aValue) { FMethod = std::move(aValue); }
  // The body to send (not owned), or none.
  TStream* SourceStream() const noexcept { return FSourceStream; }
  void SetSourceStream(TStream* aValue) noexcept { FSourceStream = aValue; }
  TIdHTTPConnectionType UseProxy() const noexcept { return FUseProxy; }
  void SetUseProxy(TIdHTTPConnectionType aValue) noexcept { FUseProxy = aValue; }
  TIdIPVersion IPVersion() const noexcept { return FIPVersion; }
  void SetIPVersion(TIdIPVersion aValue) noexcept { FIPVersion = aValue; }
  // The target's "host:port", named in a CONNECT.
  const std::string& Destination() const noexcept { return FDestination; }
  void SetDestination(std::string aValue) { FDestination = std::move(aValue); }
  // Hands the authentication object over, leaving the request without one.
  std::unique_ptr<TIdAuthentication> TakeAuthentication() noexcept { return std::move(FAuthentication); }

private:
  TIdCustomHTTP* FHTTP;
  std::string FURL;
  std::string FMethod;
  TStream* FSourceStream = nullptr;
  TIdHTTPConnectionType FUseProxy = ctNormal;
  TIdIPVersion FIPVersion = Id_IPv4;
  std::string FDestination;
};

class TIdHTTPResponse : public TIdResponseHeaderInfo {
public:
  // aRequest is the request this response answers, read by KeepAlive.
  TIdHTTPResponse(TIdCustomHTTP* aHTTP, const TIdHTTPRequest& aRequest);

  // Clears the headers and MetaHTTPEquiv; the status line stays.
  void Clear() override;

  TIdCustomHTTP* HTTP() const noexcept { return FHTTP; }
  // The status code of the status line, -1 when it has none.
  int ResponseCode();
  // The whole status line. Setting it takes the version from it and makes
  // ResponseCode parse it again.
  const std::string& ResponseText() const noexcept { return FResponseText; }
  void SetResponseText(const std::string& aValue);
  TIdHTTPProtocolVersion ResponseVersion() const noexcept { return FResponseVersion; }
  void SetResponseVersion(TIdHTTPProtocolVersion aValue) noexcept { FResponseVersion = aValue; }
  // Whether the connection may carry the next request, judged now from the
  // connection, the client's protocol version and both messages' headers.
  bool KeepAlive();
  // Where the body goes (not owned), or none: then it is read and dropped.
  TStream* ContentStream() const noexcept { return FContentStream; }
  void SetContentStream(TStream* aValue) noexcept { FContentStream = aValue; }
  TIdMetaHTTPEquiv& MetaHTTPEquiv() noexcept { return FMetaHTTPEquiv; }
  // Transfer-Encoding names "chunked" (in any letter case).
  bool IsChunked() const;

private:
  TIdCustomHTTP* FHTTP;
  const TIdHTTPRequest& FRequest;
  std::string FResponseText;
  int FResponseCode = -1;
  TIdHTTPProtocolVersion FResponseVersion = pv1_1;
  TStream* FContentStream = nullptr;
  TIdMetaHTTPEquiv FMetaHTTPEquiv;
};

// One exchange's request and response, and the steps that act on both.
class TIdHTTPProtocol {
public:
  explicit TIdHTTPProtocol(TIdCustomHTTP& aHTTP);
  virtual ~TIdHTTPProtocol() = default;
  TIdHTTPProtocol(const TIdHTTPProtocol&) = delete;
  TIdHTTPProtocol& operator=(const TIdHTTPProtocol&) = delete;

  TIdHTTPRequest& Request() noexcept { return FRequest; }
  TIdHTTPResponse& Response() noexcept { return FResponse; }

  // Writes the request line and headers in one write; with a URI the
  // cookies for it are added.
  void BuildAndSendRequest(TIdURI* aURI);
  // Reads the header block after the status line into the response (at
  // most aMaxHeaderCount lines when it is positive) and processes it.
  void RetrieveHeaders(int aMaxHeaderCount);
  // Decides what follows the status and headers just read, reading or
  // dropping the body on the way.
  virtual TIdHTTPWhatsNext ProcessResponse(const TIdHTTPIgnoreReplies& aIgnoreReplies);

protected:
  TIdCustomHTTP& FHTTP;

private:
  TIdHTTPWhatsNext ProcessRedirect(int aCode, const TIdHTTPIgnoreReplies& aIgnoreReplies);
  TIdHTTPWhatsNext ProcessAuthChallenge(int aCode, const TIdHTTPIgnoreReplies& aIgnoreReplies);
  // Raises EIdHTTPProtocolException with the body, unless the code is
  // ignored or hoNoProtocolErrorException is set; the body is read either way.
  void RaiseProtocolError(int aCode, const TIdHTTPIgnoreReplies& aIgnoreReplies);
  // Reads the body into aStream in place of ContentStream; a peer close ends
  // it quietly, any other failure closes the connection.
  void ReadBodyInto(TStream* aStream);
  void DiscardResponseBody() { ReadBodyInto(nullptr); }

  TIdHTTPRequest FRequest;
  TIdHTTPResponse FResponse;
};

class TIdCustomHTTP : public TIdTCPClientCustom {
public:
  using TIdHTTPOnHeadersAvailable =
      std::function<void(TIdCustomHTTP& aSender, TIdHeaderList& aHeaders, bool& VContinue)>;
  using TIdHTTPOnRedirectEvent = std::function<void(TIdCustomHTTP& aSender, std::string& dest, int& NumRedirect,
                                                    bool& Handled, std::string& VMethod)>;
  using TIdOnSelectAuthorization = std::function<void(TIdCustomHTTP& aSender,
                                                      TIdAuthenticationClass& AuthenticationClass,
                                                      TIdHeaderList& AuthInfo)>;
  using TIdOnAuthorization =
      std::function<void(TIdCustomHTTP& aSender, TIdAuthentication& Authentication, bool& Handled)>;
  using TIdOnChunkReceived = std::function<void(TIdCustomHTTP& aSender, TIdBytes& Chunk)>;

  explicit TIdCustomHTTP(TComponent* aOwner = nullptr);
  ~TIdCustomHTTP() override;

  // ---- verbs. A null response stream drops the body; a string result is
  // the body decoded by the response's charset (JSON without one as UTF-8,
  // anything else without one byte for byte).
  void Get(const std::string& aURL, TStream* aResponseContent, const TIdHTTPIgnoreReplies& aIgnoreReplies = {});
  std::string Get(const std::string& aURL, const TIdHTTPIgnoreReplies& aIgnoreReplies = {});
  void Head(const std::string& aURL);
  // Unless hoKeepOrigProtocol is set, a Post goes out as HTTP/1.0 on a new
  // connection; ProtocolVersion is restored afterwards.
  void Post(const std::string& aURL, TStream* aSource, TStream* aResponseContent);
  std::string Post(const std::string& aURL, TStream* aSource);
  // The file, opened for reading with writers shut out.
  void Post(const std::string& aURL, const std::string& aSourceFile, TStream* aResponseContent);
  std::string Post(const std::string& aURL, const std::string& aSourceFile);
  // The lines as an urlencoded form (aByteEncoding: UTF-8 when none).
  void Post(const std::string& aURL, const TStrings& aSource, TStream* aResponseContent,
            IIdTextEncoding aByteEncoding = nullptr);
  std::string Post(const std::string& aURL, const TStrings& aSource, IIdTextEncoding aByteEncoding = nullptr);
  // A multipart/form-data body with the stream's content type.
  void Post(const std::string& aURL, TIdMultiPartFormDataStream& aSource, TStream* aResponseContent);
  std::string Post(const std::string& aURL, TIdMultiPartFormDataStream& aSource);
  void Put(const std::string& aURL, TStream* aSource, TStream* aResponseContent);
  std::string Put(const std::string& aURL, TStream* aSource);
  void Patch(const std::string& aURL, TStream* aSource, TStream* aResponseContent);
  std::string Patch(const std::string& aURL, TStream* aSource);
  void Delete(const std::string& aURL, TStream* aResponseContent);
  std::string Delete(const std::string& aURL);
  // DELETE with a body: aBody sent as UTF-8.
  std::string Delete(const std::string& aURL, const std::string& aBody);
  void Options(const std::string& aURL, TStream* aResponseContent);
  std::string Options(const std::string& aURL);
  void Trace(const std::string& aURL, TStream* aResponseContent);
  std::string Trace(const std::string& aURL);

  // ---- the current exchange
  TIdHTTPRequest& Request() noexcept { return FHTTPProto->Request(); }
  void SetRequest(const TIdHTTPRequest& aValue) { FHTTPProto->Request().Assign(aValue); }
  TIdHTTPResponse& Response() noexcept { return FHTTPProto->Response(); }
  int ResponseCode() { return Response().ResponseCode(); }
  const std::string& ResponseText() noexcept { return Response().ResponseText(); }
  TIdMetaHTTPEquiv& MetaHTTPEquiv() noexcept { return Response().MetaHTTPEquiv(); }
  // The current target URL, updated by every request and redirect.
  const TIdURI& URL() const noexcept { return FURI; }

  // ---- settings and counters
  int AuthRetries() const noexcept { return FAuthRetries; }
  int AuthProxyRetries() const noexcept { return FAuthProxyRetries; }
  int MaxAuthRetries() const noexcept { return FMaxAuthRetries; }
  void SetMaxAuthRetries(int aValue) noexcept { FMaxAuthRetries = aValue; }
  // Response header lines read at most; 0 or less: no limit.
  int MaxHeaderLines() const noexcept { return FMaxHeaderLines; }
  void SetMaxHeaderLines(int aValue) noexcept { FMaxHeaderLines = aValue; }
  bool AllowCookies() const noexcept { return FAllowCookies; }
  void SetAllowCookies(bool aValue) noexcept { FAllowCookies = aValue; }
  TIdHTTPProtocolVersion ProtocolVersion() const noexcept { return FProtocolVersion; }
  void SetProtocolVersion(TIdHTTPProtocolVersion aValue) noexcept { FProtocolVersion = aValue; }
  int RedirectCount() const noexcept { return FRedirectCount; }
  int RedirectMaximum() const noexcept { return FRedirectMax; }
  void SetRedirectMaximum(int aValue) noexcept { FRedirectMax = aValue; }
  bool HandleRedirects() const noexcept { return FHandleRedirects; }
  void SetHandleRedirects(bool aValue) noexcept { FHandleRedirects = aValue; }
  TIdHTTPOptions HTTPOptions() const noexcept { return FOptions; }
  void SetHTTPOptions(TIdHTTPOptions aValue) noexcept { FOptions = aValue; }
  TIdProxyConnectionInfo& ProxyParams() noexcept { return FProxyParameters; }
  void SetProxyParams(const TIdProxyConnectionInfo& aValue) { FProxyParameters.Assign(aValue); }

  // ---- collaborators, referenced and not owned (an implicit cookie manager
  // excepted); each reference clears itself when its object is freed.
  // Without a cookie manager the first stored cookie creates one.
  TIdCookieManager* CookieManager() const noexcept { return FCookieManager; }
  void SetCookieManager(TIdCookieManager* aValue);
  TIdZLibCompressorBase* Compressor() const noexcept { return FCompressor; }
  void SetCompressor(TIdZLibCompressorBase* aValue);
  TIdAuthenticationManager* AuthenticationManager() const noexcept { return FAuthenticationManager; }
  void SetAuthenticationManager(TIdAuthenticationManager* aValue);

  // ---- events
  TIdHTTPOnHeadersAvailable OnHeadersAvailable;
  TIdHTTPOnRedirectEvent OnRedirect;
  TIdOnSelectAuthorization OnSelectAuthorization;
  TIdOnSelectAuthorization OnSelectProxyAuthorization;
  TIdOnAuthorization OnAuthorization;
  TIdOnAuthorization OnProxyAuthorization;
  TIdOnChunkReceived OnChunkReceived;

protected:
  friend class TIdHTTPProtocol;

  // Runs a request and everything it leads to (redirects, authentication
  // retries) until there is an answer for the caller.
  virtual void ExecuteRequest(const std::string& aMethod, const std::string& aURL, TStream* aSource,
                              TStream* aResponseContent, const TIdHTTPIgnoreReplies& aIgnoreReplies);
  virtual std::unique_ptr<TIdHTTPProtocol> CreateProtocolObject();
  // Prepare the request's (or the proxy's) authentication for a 401 (407);
  // true when the request can go again.
  virtual bool HandleAuthChallenge(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse);
  virtual bool HandleProxyAuthChallenge(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse);
  // Whether to follow a redirect; OnRedirect may change the location, the
  // count and the method.
  virtual bool AskRedirect(std::string& aLocation, std::string& aMethod, int& aRedirectCount);
  // Hands a completed authentication to the AuthenticationManager.
  void DoOnDisconnected() override;
  void Notification(TComponent* aComponent, TOperation aOperation) override;

  // ---- response bodies (qtxIdHTTPBody.cpp)
  // Reads the body of aResponse into its ContentStream, or drops it.
  void ReadResponseBody(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse);
  bool BodyExpected(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse);

  // One line of a status line, header block or chunk framing;
  // EIdReadTimeout when it does not come in time.
  std::string ReadHeaderLine();

private:
  struct TCredentialStash;

  void ResolveRequestTarget(TIdHTTPRequest& aRequest);
  TIdHTTPConnectionType SelectHostAndPort();
  // Connects when needed and sends the request; false when a proxy refused
  // the tunnel, whose answer is then in Response.
  bool EstablishConnection(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse);
  void OpenTransport(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse);
  bool OpenTunnel(TIdHTTPRequest& aRequest);
  void AddAcceptEncodings(TIdHTTPRequest& aRequest);
  // The status line and headers of the next final response (1xx skipped).
  void ReadStatusAndHeaders(TIdHTTPProtocol& aProtocol);
  void AddClientCookieHeader(TIdURI& aURI, TIdHTTPRequest& aRequest);
  void StoreServerCookies(TIdHTTPResponse& aResponse);
  bool HandleChallenge(TIdHTTPRequest& aRequest, TIdHTTPResponse& aResponse, bool aProxy);
  // Keeps the connection when it may carry the next request (or holds a
  // body left for the caller), closes it otherwise.
  void CloseUnlessKeptAlive();
  // Closes after a failure, dropping what was left unread.
  void DisconnectQuietly();
  // The stream variant of a verb, its body decoded as text.
  std::string ExecuteToString(const std::string& aMethod, const std::string& aURL, TStream* aSource,
                              const TIdHTTPIgnoreReplies& aIgnoreReplies = {});
  std::string PostToString(const std::string& aURL, TStream* aSource);
  // Post's protocol rule around ExecuteRequest.
  void PostStream(const std::string& aURL, TStream* aSource, TStream* aResponseContent);
  std::unique_ptr<TStream> EncodeForm(const TStrings& aSource, IIdTextEncoding aByteEncoding);

  // ---- body reading steps (qtxIdHTTPBody.cpp)
  bool DataArrivesWithin(int aMSec);
  void ReadBodyFraming(TIdHTTPResponse& aResponse, TStream* aStream);
  void ReadCountedBody(TStream* aStream, int64_t aLength);
  void ReadChunkedBody(TIdHTTPResponse& aResponse, TStream* aStream);
  void ReadChunk(TStream* aStream, int64_t aSize);
  void ReadMultipartBody(TIdHTTPResponse& aResponse, TStream* aStream);

  int FAuthRetries = 0;
  int FAuthProxyRetries = 0;
  TIdCookieManager* FCookieManager = nullptr;
  std::unique_ptr<TIdCookieManager> FImplicitCookieManager;
  TIdZLibCompressorBase* FCompressor = nullptr;
  int FMaxAuthRetries = 3;
  int FMaxHeaderLines = 255;
  bool FAllowCookies = true;
  TIdAuthenticationManager* FAuthenticationManager = nullptr;
  TIdHTTPProtocolVersion FProtocolVersion = pv1_1;
  int FRedirectCount = 0;
  int FRedirectMax = 15;
  bool FHandleRedirects = false;
  TIdHTTPOptions FOptions{hoForceEncodeParams};
  TIdURI FURI;
  TIdProxyConnectionInfo FProxyParameters;
  std::unique_ptr<TIdHTTPProtocol> FHTTPProto;
  // The URL of the current call had credentials of its own.
  bool FURLHadCredentials = false;
  // The connection is a CONNECT tunnel through the proxy.
  bool FTunnelled = false;
};

// The engine with its settings public, as applications use it.
class TIdHTTP : public TIdCustomHTTP {
public:
  using TIdCustomHTTP::TIdCustomHTTP;
};

// The encoding a response body is decoded with as text: its charset's,
// UTF-8 for a JSON type without one, byte for byte otherwise.
IIdTextEncoding ResponseTextEncoding(const TIdHTTPResponse& aResponse);

}  // namespace qtx
