#include "openai/qtxHTTP_API.h"

#include <random>
#include <thread>

#include "client/qtxBase_Classes.h"
#include "openai/qtxHTTP_API_Retry.h"

namespace qtx {
namespace {

constexpr std::string_view kMessageSeparator = ". ";

bool SameTLSOptions(const TqtxIdHTTPTLS_Options& aLeft, const TqtxIdHTTPTLS_Options& aRight) {
  const TqtxOpenSSLClient_Options& leftOpenSSL = aLeft.OpenSSL_Options();
  const TqtxOpenSSLClient_Options& rightOpenSSL = aRight.OpenSSL_Options();
  const TqtxSChannelClient_Options& leftSChannel = aLeft.SChannel_Options();
  const TqtxSChannelClient_Options& rightSChannel = aRight.SChannel_Options();
  return aLeft.CertFile() == aRight.CertFile() && aLeft.KeyFile() == aRight.KeyFile() &&
         aLeft.Password() == aRight.Password() && aLeft.RootCertFile() == aRight.RootCertFile() &&
         aLeft.VerifyCertificate() == aRight.VerifyCertificate() && aLeft.VerifyDepth() == aRight.VerifyDepth() &&
         aLeft.Version() == aRight.Version() && aLeft.IOHandler() == aRight.IOHandler() &&
         aLeft.ALPNProtocols().Text() == aRight.ALPNProtocols().Text() &&
         leftOpenSSL.APIVersion() == rightOpenSSL.APIVersion() && leftOpenSSL.LibPath() == rightOpenSSL.LibPath() &&
         leftOpenSSL.LibPathCustom() == rightOpenSSL.LibPathCustom() &&
         leftOpenSSL.UnixSymLinks() == rightOpenSSL.UnixSymLinks() &&
         leftSChannel.CertHash() == rightSChannel.CertHash() &&
         leftSChannel.CertStoreName() == rightSChannel.CertStoreName() &&
         leftSChannel.CertStorePath() == rightSChannel.CertStorePath() &&
         leftSChannel.CipherList() == rightSChannel.CipherList();
}

double Jitter() {
  thread_local std::minstd_rand generator{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

// The body text in a stream, as UTF-8.
TqtxStringStream BodyStream(const std::string& aBody) { return TqtxStringStream(aBody); }

}  // namespace

TqtxHTTPAPI_client::TqtxHTTPAPI_client(TComponent* aOwner) : TqtxHTTPComponentClient_Base(aOwner) {
  FTLSOptions.SetVersion(tls1_2);
}

TqtxHTTPAPI_client::~TqtxHTTPAPI_client() { DropClient(); }

void TqtxHTTPAPI_client::SetReuseConnection(bool aValue) {
  FReuseConnection = aValue;
  if (!aValue) DropClient();
}

// ---- the verbs ---------------------------------------------------------------------------

std::string TqtxHTTPAPI_client::DoHTTPGet(const std::string& aURL, const TStrings* aHeaders) {
  return Execute(aHeaders, [&](TqtxIdHTTP& aClient) { return aClient.Get(aURL); });
}

std::string TqtxHTTPAPI_client::DoHTTPPost(const std::string& aURL, const std::string& aBody,
                                           const TStrings* aHeaders, TIdMultiPartFormDataStream* aMultipartFormData) {
  if (aMultipartFormData) {
    return Execute(
        aHeaders, [&](TqtxIdHTTP& aClient) { return aClient.Post(aURL, *aMultipartFormData); }, aMultipartFormData);
  }
  return Execute(aHeaders, [&](TqtxIdHTTP& aClient) {
    TqtxStringStream body = BodyStream(aBody);
    return aClient.Post(aURL, &body);
  });
}

std::string TqtxHTTPAPI_client::DoHTTPDelete(const std::string& aURL, const TStrings* aHeader,
                                             const std::string& aBody) {
  return Execute(aHeader, [&](TqtxIdHTTP& aClient) {
    return aBody.empty() ? aClient.Delete(aURL) : aClient.Delete(aURL, aBody);
  });
}

std::string TqtxHTTPAPI_client::DoHTTPPatch(const std::string& aURL, const std::string& aBody,
                                            const TStrings* aHeaders) {
  return Execute(aHeaders, [&](TqtxIdHTTP& aClient) {
    TqtxStringStream body = BodyStream(aBody);
    return aClient.Patch(aURL, &body);
  });
}

std::string TqtxHTTPAPI_client::DoHTTPPut(const std::string& aURL, const std::string& aBody,
                                          const TStrings* aHeaders) {
  return Execute(aHeaders, [&](TqtxIdHTTP& aClient) {
    TqtxStringStream body = BodyStream(aBody);
    return aClient.Put(aURL, &body);
  });
}

// ---- one call: attempts, retries, the error road -------------------------------------------

std::string TqtxHTTPAPI_client::Execute(const TStrings* aHeaders, const TSend& aSend, TStream* aRewind) {
  int retries = 0;
  bool retriedLostConnection = false;
  while (true) {
    bool reused = false;
    std::chrono::milliseconds wait{0};
    try {
      if (aRewind) aRewind->Seek(0, TSeekOrigin::soBeginning);  // a file part is read again from its start
      TqtxIdHTTP& client = PrepareClient(aHeaders, reused);
      std::string result = aSend(client);
      if (!FReuseConnection) DropClient();
      return result;
    } catch (EIdHTTPProtocolException& e) {
      const auto serverDelay = FClient ? ServerRetryDelay(FClient->Response().RawHeaders()) : std::nullopt;
      DropClient();
      if (retries >= FMaxRetries || !IsRetryableStatus(e.ErrorCode())) {
        e.SetMessage(e.Message() + std::string(kMessageSeparator) + e.ErrorMessage());
        return Report(e);
      }
      wait = serverDelay.value_or(RetryBackoff(retries, Jitter()));
    } catch (Exception& e) {
      DropClient();
      // A kept connection the server closed as the request went out: once,
      // at once and uncounted, on a new one, as a fresh client would have.
      if (reused && !retriedLostConnection && IsLostConnection(e)) {
        retriedLostConnection = true;
        continue;
      }
      if (retries >= FMaxRetries || !IsRetryableFailure(e)) return Report(e);
      wait = RetryBackoff(retries, Jitter());
    }
    std::this_thread::sleep_for(wait);
    ++retries;
  }
}

std::string TqtxHTTPAPI_client::Report(Exception& aE) {
  if (!OnHTTPAPIException) throw;  // the exception being handled, unchanged but for the message
  OnHTTPAPIException(*this, aE);
  return {};
}

TqtxIdHTTP& TqtxHTTPAPI_client::PrepareClient(const TStrings* aHeaders, bool& aReused) {
  if (FClient && !(FReuseConnection && KeptClientFits())) DropClient();
  aReused = FClient && FClient->Connected();
  if (FClient) {
    // What the last call left in the request goes; the connection stays.
    TIdHTTPRequest& request = FClient->Request();
    const std::string agent = request.UserAgent();
    request.Clear();
    request.SetUserAgent(agent);
    request.SetAuthentication(nullptr);
    request.SetUsername({});
    request.SetPassword({});
  } else {
    FClient = std::make_unique<TqtxIdHTTP>();
    FClient->SetTLSOptions(FTLSOptions);
    FClient->SetLog(FLog);
    FClient->LogOptions().SetFileName(FLogFileName);
    // No call sends what an earlier one was given.
    FClient->SetAllowCookies(false);
    // The body follows the header block in a write of its own; with Nagle's
    // rule it would wait for the server's delayed acknowledgement of the
    // headers (tens of milliseconds per call).
    FClient->SetUseNagle(false);
    FClientTLSOptions = FTLSOptions;
    FClientLog = FLog;
    FClientLogFileName = FLogFileName;
  }
  // An HTTP/1.1 POST keeps the connection for the next call; without reuse
  // a POST goes out as the engine sends it by default.
  TIdHTTPOptions options = FClient->HTTPOptions();
  if (FReuseConnection) options.Include(hoKeepOrigProtocol);
  else options.Exclude(hoKeepOrigProtocol);
  FClient->SetHTTPOptions(options);
  FClient->SetConnectTimeout(FConnectTimeout);
  FClient->SetReadTimeout(FReadTimeout);
  TIdHeaderList& custom = FClient->Request().CustomHeaders();
  custom.Clear();
  if (aHeaders) custom.SetText(aHeaders->Text());
  return *FClient;
}

bool TqtxHTTPAPI_client::KeptClientFits() const {
  return FClientLog == FLog && FClientLogFileName == FLogFileName && SameTLSOptions(FClientTLSOptions, FTLSOptions);
}

void TqtxHTTPAPI_client::DropClient() noexcept {
  // Freeing the client closes its connection; a failure to close it cleanly
  // changes nothing for the next call.
  try {
    FClient.reset();
  } catch (...) {
  }
}

}  // namespace qtx
