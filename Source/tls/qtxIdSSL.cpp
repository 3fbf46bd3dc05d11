#include "tls/qtxIdSSL.h"

#include "platform/qtxScopeExit.h"

namespace qtx {
namespace {

// The host of a URL: between "//" (and any user info) and the port or path;
// an IPv6 literal loses its brackets.
std::string HostOfURI(const std::string& aURI) {
  size_t start = aURI.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  const size_t end = aURI.find_first_of("/?#", start);
  std::string authority = aURI.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    return authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return authority.substr(0, authority.find(':'));
}

}  // namespace

void TIdSSLIOHandlerSocketBase::ConnectInTheClear() {
  const TRestoreOnExit restorePassThrough(fPassThrough);
  fPassThrough = true;
  TIdIOHandlerStack::ConnectToPeer();
}

std::string TIdSSLIOHandlerSocketBase::TLSPeerHost() const {
  return FURIToCheck.empty() ? Host() : HostOfURI(FURIToCheck);
}

}  // namespace qtx
