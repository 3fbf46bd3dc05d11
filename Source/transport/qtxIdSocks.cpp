#include "transport/qtxIdSocks.h"

#include <arpa/inet.h>

#include <algorithm>

#include "transport/qtxIdIOHandler.h"

namespace qtx {

namespace {

constexpr uint8_t kSocks4Version = 4;
constexpr uint8_t kSocks5Version = 5;
constexpr uint8_t kCommandConnect = 1;
constexpr uint8_t kSocks4Granted = 90;
constexpr uint8_t kMethodNone = 0;
constexpr uint8_t kMethodUsernamePassword = 2;
constexpr uint8_t kMethodNoneAcceptable = 255;
constexpr uint8_t kAddressIPv4 = 1;
constexpr uint8_t kAddressDomainName = 3;
constexpr uint8_t kAddressIPv6 = 4;
constexpr size_t kMaxSocksField = 255;

// Text in the handler's default encoding.
TIdBytes TextBytes(TIdIOHandler& aIOHandler, const std::string& aText) {
  IIdTextEncoding encoding = aIOHandler.DefStringEncoding() ? aIOHandler.DefStringEncoding()
                                                            : IdTextEncoding_ASCII();
  return encoding->GetBytes(aText);
}

// A credential, cut to the 255 bytes a SOCKS length byte can count.
TIdBytes FieldBytes(TIdIOHandler& aIOHandler, const std::string& aText) {
  TIdBytes bytes = TextBytes(aIOHandler, aText);
  if (bytes.size() > kMaxSocksField) bytes.resize(kMaxSocksField);
  return bytes;
}

void AppendField(TIdBytes& aTarget, const TIdBytes& aField) {
  aTarget.push_back(static_cast<uint8_t>(aField.size()));
  aTarget.insert(aTarget.end(), aField.begin(), aField.end());
}

// A SOCKS 5 reply of aCount bytes; a failure to read it means the server
// did not answer.
TIdBytes ReadSocks5Reply(TIdIOHandler& aIOHandler, int aCount) {
  TIdBytes reply;
  try {
    aIOHandler.ReadBytes(reply, aCount, false);
  } catch (const EIdException&) {
    throw EIdSocksServerRespondError();
  }
  return reply;
}

[[noreturn]] void RaiseSocks4Reply(uint8_t aCode) {
  switch (aCode) {
    case 91: throw EIdSocksRequestFailed();
    case 92: throw EIdSocksRequestServerFailed();
    case 93: throw EIdSocksRequestIdentFailed();
    default: throw EIdSocksUnknownError();
  }
}

[[noreturn]] void RaiseSocks5Reply(uint8_t aCode) {
  switch (aCode) {
    case 1: throw EIdSocksServerGeneralError();
    case 2: throw EIdSocksServerPermissionError();
    case 3: throw EIdSocksServerNetUnreachableError();
    case 4: throw EIdSocksServerHostUnreachableError();
    case 5: throw EIdSocksServerConnectionRefusedError();
    case 6: throw EIdSocksServerTTLExpiredError();
    case 7: throw EIdSocksServerCommandError();
    case 8: throw EIdSocksServerAddressError();
    default: throw EIdSocksUnknownError();
  }
}

}  // namespace

TIdSocksInfo::TIdSocksInfo(TComponent* aOwner) : TIdCustomTransparentProxy(aOwner) { FPort = IdSocksDefaultPort; }

std::unique_ptr<TIdCustomTransparentProxy> TIdSocksInfo::Clone(TComponent* aOwner) const {
  auto copy = std::make_unique<TIdSocksInfo>(aOwner);
  copy->Assign(*this);
  return copy;
}

void TIdSocksInfo::Assign(const TIdCustomTransparentProxy& aSource) {
  TIdCustomTransparentProxy::Assign(aSource);
  if (auto* socks = dynamic_cast<const TIdSocksInfo*>(&aSource)) {
    FAuthentication = socks->FAuthentication;
    FVersion = socks->FVersion;
  }
}

bool TIdSocksInfo::Enabled() const {
  return FVersion == svSocks4 || FVersion == svSocks4A || FVersion == svSocks5;
}

void TIdSocksInfo::OpenTunnel(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort, TIdIPVersion) {
  switch (FVersion) {
    case svSocks4:
    case svSocks4A: Socks4Connect(aIOHandler, aHost, aPort); break;
    case svSocks5: Socks5Connect(aIOHandler, aHost, aPort); break;
    case svNoSocks: break;
  }
}

void TIdSocksInfo::Socks4Connect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort) {
  // SOCKS 4 needs the address up front, so the name is resolved here first;
  // SOCKS 4A sends 0.0.0.1 and leaves the name to the proxy.
  in_addr address{};
  if (FVersion == svSocks4) {
    inet_pton(AF_INET, GStack()->ResolveHost(aHost, Id_IPv4).c_str(), &address);
  } else {
    address.s_addr = htonl(1);
  }
  TIdBytes addressBytes(4);
  std::copy_n(reinterpret_cast<const uint8_t*>(&address.s_addr), 4, addressBytes.begin());

  aIOHandler.WriteBufferOpen();
  try {
    aIOHandler.Write(kSocks4Version);
    aIOHandler.Write(kCommandConnect);
    aIOHandler.Write(aPort);
    aIOHandler.Write(addressBytes);
    aIOHandler.Write(FUsername);
    aIOHandler.Write(uint8_t(0));
    if (FVersion == svSocks4A) {
      aIOHandler.Write(aHost);
      aIOHandler.Write(uint8_t(0));
    }
    aIOHandler.WriteBufferClose();
  } catch (...) {
    aIOHandler.WriteBufferCancel();
    throw;
  }

  TIdBytes reply;
  aIOHandler.ReadBytes(reply, 8, false);
  if (reply[1] != kSocks4Granted) RaiseSocks4Reply(reply[1]);
}

void TIdSocksInfo::Socks5Negotiate(TIdIOHandler& aIOHandler) {
  const uint8_t method = FAuthentication == saUsernamePassword ? kMethodUsernamePassword : kMethodNone;
  aIOHandler.Write(TIdBytes{kSocks5Version, 1, method});
  TIdBytes reply = ReadSocks5Reply(aIOHandler, 2);
  if (reply[0] != kSocks5Version) throw EIdSocksVersionError();
  if (reply[1] != method || reply[1] == kMethodNoneAcceptable) throw EIdSocksAuthMethodError();
  if (FAuthentication != saUsernamePassword) return;

  TIdBytes request{1};
  AppendField(request, FieldBytes(aIOHandler, FUsername));
  AppendField(request, FieldBytes(aIOHandler, FPassword));
  aIOHandler.Write(request);
  reply = ReadSocks5Reply(aIOHandler, 2);
  if (reply[1] != 0) throw EIdSocksAuthError();
}

TIdBytes TIdSocksInfo::Socks5EncodeAddress(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort) const {
  TIdBytes request{kSocks5Version, kCommandConnect, 0};
  in_addr ipv4;
  in6_addr ipv6;
  if (TIdStack::IsIP(aHost) && inet_pton(AF_INET, aHost.c_str(), &ipv4) == 1) {
    request.push_back(kAddressIPv4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&ipv4.s_addr);
    request.insert(request.end(), bytes, bytes + 4);
  } else if (inet_pton(AF_INET6, aHost.c_str(), &ipv6) == 1) {
    request.push_back(kAddressIPv6);
    request.insert(request.end(), ipv6.s6_addr, ipv6.s6_addr + 16);
  } else {
    // No local resolution: the proxy looks the name up. A longer name cut to
    // fit would name another host.
    const TIdBytes name = TextBytes(aIOHandler, aHost);
    if (name.size() > kMaxSocksField) throw EIdSocksHostNameTooLong();
    request.push_back(kAddressDomainName);
    AppendField(request, name);
  }
  request.push_back(static_cast<uint8_t>(aPort >> 8));
  request.push_back(static_cast<uint8_t>(aPort & 0xFF));
  return request;
}

void TIdSocksInfo::Socks5Connect(TIdIOHandler& aIOHandler, const std::string& aHost, TIdPort aPort) {
  const TIdBytes request = Socks5EncodeAddress(aIOHandler, aHost, aPort);  // a name too long fails before anything is sent
  Socks5Negotiate(aIOHandler);
  aIOHandler.Write(request);
  TIdBytes reply = ReadSocks5Reply(aIOHandler, 5);
  if (reply[0] != kSocks5Version) throw EIdSocksVersionError();
  if (reply[1] != 0) RaiseSocks5Reply(reply[1]);
  // The rest of the bound address and its port, so that the next byte read
  // is the target's first. Of an address type not known, the length is not
  // known either: its bytes would pass for the target's.
  int remainder = 0;
  switch (reply[3]) {
    case kAddressIPv4: remainder = 5; break;
    case kAddressIPv6: remainder = 17; break;
    case kAddressDomainName: remainder = reply[4] + 2; break;
    default: throw EIdSocksServerAddressError();
  }
  ReadSocks5Reply(aIOHandler, remainder);
}

}  // namespace qtx
