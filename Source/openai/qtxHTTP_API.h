#pragma once
// TqtxHTTPAPI_client: the base component of REST API clients. Five
// synchronous verbs take a URL, a body and the request's extra header lines
// and return the response body as text. Every failure takes one road: it
// propagates, or, with an OnHTTPAPIException handler, goes to the handler and
// the call returns "". An HTTP error status arrives as
// EIdHTTPProtocolException whose message is the status text, ". " and the
// response body.
//
// Beyond one exchange per call the component can retry failures that may be
// passing (a lost connection, a time-out, the statuses 408, 409, 429 and
// 5xx; MaxRetries, 0 by default) and keep the HTTP client and its connection
// between calls while the TLS and log settings stay the same
// (ReuseConnection, on by default). Request headers, cookies and
// authentication state never carry over from one call to the next.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "client/qtxHTTP_Classes.h"
#include "client/qtxHTTP_Client.h"
#include "http/qtxIdMultipartFormData.h"
#include "openai/qtxHTTP_API_Stream.h"
#include "platform/qtxStrings.h"

namespace qtx {

class TqtxHTTPAPI_client;
using TqtxHTTPAPIExceptionEvent = std::function<void(TqtxHTTPAPI_client& aSender, Exception& aE)>;

class TqtxHTTPAPI_client : public TqtxHTTPComponentClient_Base {
public:
  // TLSOptions.Version is tls1_2.
  explicit TqtxHTTPAPI_client(TComponent* aOwner = nullptr);
  ~TqtxHTTPAPI_client() override;

  // aHeaders: complete header lines ("Name: value"), or none. Bodies go out
  // as UTF-8; the body's content type is whatever aHeaders say.
  std::string Get(const std::string& aURL, const TStrings* aHeaders) { return DoHTTPGet(aURL, aHeaders); }
  // With aMultipartFormData its content type, boundary included, is the
  // request's and aBody is not sent.
  std::string Post(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders,
                   TIdMultiPartFormDataStream* aMultipartFormData) {
    return DoHTTPPost(aURL, aBody, aHeaders, aMultipartFormData);
  }
  // An empty aBody sends no body.
  std::string Delete(const std::string& aURL, const TStrings* aHeader, const std::string& aBody) {
    return DoHTTPDelete(aURL, aHeader, aBody);
  }
  std::string Patch(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders) {
    return DoHTTPPatch(aURL, aBody, aHeaders);
  }
  std::string Put(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders) {
    return DoHTTPPut(aURL, aBody, aHeaders);
  }

  TqtxIdHTTPTLS_Options& TLSOptions() noexcept { return FTLSOptions; }
  void SetTLSOptions(const TqtxIdHTTPTLS_Options& aValue) { FTLSOptions = aValue; }

  // How often a failure that may pass is tried again (0: never).
  int MaxRetries() const noexcept { return FMaxRetries; }
  void SetMaxRetries(int aValue) noexcept { FMaxRetries = aValue < 0 ? 0 : aValue; }
  // Milliseconds; 0: no limit.
  int ConnectTimeout() const noexcept { return FConnectTimeout; }
  void SetConnectTimeout(int aValue) noexcept { FConnectTimeout = aValue; }
  int ReadTimeout() const noexcept { return FReadTimeout; }
  void SetReadTimeout(int aValue) noexcept { FReadTimeout = aValue; }
  // Off: a client and a connection of its own for every call.
  bool ReuseConnection() const noexcept { return FReuseConnection; }
  void SetReuseConnection(bool aValue);

  TqtxHTTPAPIExceptionEvent OnHTTPAPIException;

protected:
  virtual std::string DoHTTPGet(const std::string& aURL, const TStrings* aHeaders);
  virtual std::string DoHTTPPost(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders,
                                 TIdMultiPartFormDataStream* aMultipartFormData);
  virtual std::string DoHTTPDelete(const std::string& aURL, const TStrings* aHeader, const std::string& aBody);
  virtual std::string DoHTTPPatch(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders);
  virtual std::string DoHTTPPut(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders);
  // A POST whose response body goes to aOnBlock as it arrives, asking for
  // aAccept; aOnEnd runs when the body has ended (not after a cancel).
  // Failures take the road of the other verbs, but once a block has been
  // handed over nothing is retried, and a failing connection is raised as
  // EqtxHTTPAPIStreamCut. Exceptions of aOnBlock and aOnEnd take the same road.
  void PostStreamed(const std::string& aURL, const std::string& aBody, const TStrings* aHeaders,
                    const std::string& aAccept, const TqtxHTTPAPIBodyBlockEvent& aOnBlock,
                    const std::function<void()>& aOnEnd);

  bool Log() const noexcept { return FLog; }
  void SetLog(bool aValue) noexcept { FLog = aValue; }
  const std::string& LogFileName() const noexcept { return FLogFileName; }
  void SetLogFileName(const std::string& aValue) { FLogFileName = aValue; }

private:
  using TSend = std::function<std::string(TqtxIdHTTP& aClient)>;

  // Runs aSend on a prepared client, with the retries and the error road;
  // aRewind is a body stream to read again from its start for each attempt.
  std::string Execute(const TStrings* aHeaders, const TSend& aSend, TStream* aRewind = nullptr);
  // The client for the next attempt: the kept one, its request state reset,
  // while its settings hold (aReused: and its connection is open), else a
  // new one.
  TqtxIdHTTP& PrepareClient(const TStrings* aHeaders, bool& aReused);
  // The error road, called while aE is being handled: OnHTTPAPIException
  // and "", or aE raised again.
  std::string Report(Exception& aE);
  bool KeptClientFits() const;
  void DropClient() noexcept;

  bool FLog = false;
  std::string FLogFileName;
  TqtxIdHTTPTLS_Options FTLSOptions;
  int FMaxRetries = 0;
  int FConnectTimeout = 30000;
  int FReadTimeout = 600000;
  bool FReuseConnection = true;

  // The kept client and the settings it was made with.
  std::unique_ptr<TqtxIdHTTP> FClient;
  TqtxIdHTTPTLS_Options FClientTLSOptions;
  bool FClientLog = false;
  std::string FClientLogFileName;
};

}  // namespace qtx
