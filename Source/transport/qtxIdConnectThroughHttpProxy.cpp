#include "transport/qtxIdConnectThroughHttpProxy.h"

#include <utility>
#include <vector>

#include "core/qtxIdCoderMIME.h"
#include "platform/qtxScopeExit.h"
#include "platform/qtxSysUtils.h"
#include "transport/qtxIdIOHandler.h"

namespace qtx {

namespace {

const char* const RSConnectLine = "CONNECT %s:%d HTTP/1.0";
const char* const RSProxyAuthorization = "Proxy-Authorization: Basic ";
const char* const RSHeaderProxyConnection = "Proxy-Connection";
const char* const RSHeaderConnection = "Connection";
const char* const RSHeaderContentLength = "Content-Length";
const char* const RSClose = "close";
constexpr int kStatusOK = 200;
constexpr int kStatusProxyAuthenticationRequired = 407;

// The header lines of the proxy's answer: names compared without regard to
// case, values trimmed; a line without a colon is kept as a name alone.
class TProxyAnswerHeaders {
public:
  void Add(const std::string& aLine) {
    size_t colon = aLine.find(':');
    if (colon == std::string::npos) {
      FLines.emplace_back(Trim(aLine), std::string());
    } else {
      FLines.emplace_back(Trim(aLine.substr(0, colon)), Trim(aLine.substr(colon + 1)));
    }
  }
  std::string Value(std::string_view aName) const {
    for (const auto& [name, value] : FLines) {
      if (SameText(name, aName)) return value;
    }
    return {};
  }

private:
  std::vector<std::pair<std::string, std::string>> FLines;
};

// The second space-separated word of the status line; a word that is not a
// number counts as success.
int StatusCode(const std::string& aStatusLine) {
  size_t start = aStatusLine.find(' ');
  if (start == std::string::npos) return kStatusOK;
  start = aStatusLine.find_first_not_of(' ', start);
  if (start == std::string::npos) return kStatusOK;
  size_t end = aStatusLine.find(' ', start);
  return StrToIntDef(aStatusLine.substr(start, end == std::string::npos ? std::string::npos : end - start), kStatusOK);
}

}  // namespace

TIdConnectThroughHttpProxy::TIdConnectThroughHttpProxy(TComponent* aOwner) : TIdCustomTransparentProxy(aOwner) {}

std::unique_ptr<TIdCustomTransparentProxy> TIdConnectThroughHttpProxy::Clone(TComponent* aOwner) const {
  auto copy = std::make_unique<TIdConnectThroughHttpProxy>(aOwner);
  copy->Assign(*this);
  return copy;
}

void TIdConnectThroughHttpProxy::Assign(const TIdCustomTransparentProxy& aSource) {
  TIdCustomTransparentProxy::Assign(aSource);
  if (auto* http = dynamic_cast<const TIdConnectThroughHttpProxy*>(&aSource)) FEnabled = http->FEnabled;
}

void TIdConnectThroughHttpProxy::OpenTunnel(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort,
                                            TIdIPVersion) {
  SendHttpConnect(aIOHandler, aHost, aPort, FAuthorizationRequired);
}

void TIdConnectThroughHttpProxy::SendHttpConnect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort,
                                                 bool aWithCredentials) {
  aIOHandler.WriteLn(Format(RSConnectLine, {aHost, aPort}));
  if (aWithCredentials) {
    aIOHandler.WriteLn(RSProxyAuthorization + TIdEncoderMIME::EncodeString(FUsername + ":" + FPassword));
  }
  aIOHandler.WriteLn();

  std::string statusLine = aIOHandler.ReadLn();
  if (statusLine.empty()) return;
  TProxyAnswerHeaders headers;
  for (std::string line = aIOHandler.ReadLn(); !line.empty(); line = aIOHandler.ReadLn()) headers.Add(line);
  int64_t contentLength = StrToInt64Def(headers.Value(RSHeaderContentLength), -1);
  if (contentLength > 0) aIOHandler.Discard(contentLength);

  int status = StatusCode(statusLine);
  if (status == kStatusProxyAuthenticationRequired && !aWithCredentials && (!FUsername.empty() || !FPassword.empty())) {
    if (SameText(headers.Value(RSHeaderProxyConnection), RSClose) || SameText(headers.Value(RSHeaderConnection), RSClose)) {
      // The proxy ends this connection: connect again, and the proxy step
      // of the new connection sends the credentials.
      aIOHandler.Close();
      FAuthorizationRequired = true;
      const TScopeExit authorized([this] { FAuthorizationRequired = false; });
      aIOHandler.Open();
    } else {
      SendHttpConnect(aIOHandler, aHost, aPort, true);
    }
    return;
  }
  if (status != kStatusOK) throw EIdHttpProxyError(statusLine);
}

}  // namespace qtx
