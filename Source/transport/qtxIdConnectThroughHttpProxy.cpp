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
const char* const RSProxyHeaderTooLarge = "The proxy's answer has too large a header.";
const char* const RSHeaderProxyConnection = "Proxy-Connection";
const char* const RSHeaderConnection = "Connection";
const char* const RSHeaderContentLength = "Content-Length";
const char* const RSClose = "close";
constexpr int kStatusOK = 200;
constexpr int kStatusProxyAuthenticationRequired = 407;
// The header of the proxy's answer is held to what the HTTP engine accepts.
constexpr int kMaxHeaderLines = 255;
constexpr size_t kMaxHeaderBytes = 64 * 1024;

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

// One line of the proxy's answer; a proxy that falls silent times out.
std::string ReadAnswerLine(TIdIOHandler& aIOHandler) {
  std::string line = aIOHandler.ReadLn();
  if (aIOHandler.ReadLnTimedout()) throw EIdReadTimeout();
  return line;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The status code of "HTTP/<major>.<minor> <3 digits>[ <reason>]", or -1 for
// a line of another form (a server that speaks no HTTP).
int StatusCode(std::string_view aLine) {
  if (!aLine.starts_with("HTTP/")) return -1;
  size_t pos = 5;
  for (int part = 0; part < 2; ++part) {
    const size_t start = pos;
    while (pos < aLine.size() && IsDigit(aLine[pos])) ++pos;
    if (pos == start || pos >= aLine.size() || aLine[pos] != (part == 0 ? '.' : ' ')) return -1;
    ++pos;
  }
  if (aLine.size() < pos + 3 || !IsDigit(aLine[pos]) || !IsDigit(aLine[pos + 1]) || !IsDigit(aLine[pos + 2]) ||
      (aLine.size() > pos + 3 && aLine[pos + 3] != ' '))
    return -1;
  return (aLine[pos] - '0') * 100 + (aLine[pos + 1] - '0') * 10 + (aLine[pos + 2] - '0');
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

  const std::string statusLine = ReadAnswerLine(aIOHandler);
  if (statusLine.empty()) return;
  const int status = StatusCode(statusLine);
  if (status < 0) throw EIdHttpProxyError(statusLine);
  TProxyAnswerHeaders headers;
  int lines = 0;
  size_t bytes = 0;
  for (std::string line = ReadAnswerLine(aIOHandler); !line.empty(); line = ReadAnswerLine(aIOHandler)) {
    bytes += line.size();
    if (++lines > kMaxHeaderLines || bytes > kMaxHeaderBytes) throw EIdHttpProxyError(RSProxyHeaderTooLarge);
    headers.Add(line);
  }
  // A body belongs to a refusal; after the tunnel's 200 the bytes are the
  // target's, whatever length the proxy claims (RFC 9110 has it ignored).
  const int64_t contentLength = StrToInt64Def(headers.Value(RSHeaderContentLength), -1);
  if (status != kStatusOK && contentLength > 0) aIOHandler.Discard(contentLength);

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
