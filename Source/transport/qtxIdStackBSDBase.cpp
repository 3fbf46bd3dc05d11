#include "transport/qtxIdStackBSDBase.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>

#include "transport/qtxIdSocketError.h"

namespace qtx {

socklen_t TIdStackBSDBase::FillSockAddr(const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion,
                                        sockaddr_storage& aAddress) {
  std::memset(&aAddress, 0, sizeof aAddress);
  if (aIPVersion == Id_IPv4) {
    auto& address = reinterpret_cast<sockaddr_in&>(aAddress);
    address.sin_family = AF_INET;
    address.sin_port = htons(aPort);
    if (aIP.empty()) {
      address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, aIP.c_str(), &address.sin_addr) != 1) {
      RaiseSocketError(Id_WSAEINVAL);
    }
    return sizeof(sockaddr_in);
  }
  auto& address = reinterpret_cast<sockaddr_in6&>(aAddress);
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(aPort);
  if (aIP.empty()) {
    address.sin6_addr = in6addr_any;
  } else if (inet_pton(AF_INET6, aIP.c_str(), &address.sin6_addr) != 1) {
    RaiseSocketError(Id_WSAEINVAL);
  }
  return sizeof(sockaddr_in6);
}

void TIdStackBSDBase::ReadSockAddr(const sockaddr_storage& aAddress, std::string& aIP, TIdPort& aPort,
                                   TIdIPVersion& aIPVersion) {
  char text[INET6_ADDRSTRLEN] = {};
  if (aAddress.ss_family == AF_INET6) {
    const auto& address = reinterpret_cast<const sockaddr_in6&>(aAddress);
    inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text);
    aPort = ntohs(address.sin6_port);
    aIPVersion = Id_IPv6;
  } else {
    const auto& address = reinterpret_cast<const sockaddr_in&>(aAddress);
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    aPort = ntohs(address.sin_port);
    aIPVersion = Id_IPv4;
  }
  aIP = text;
}

void TIdStackBSDBase::Bind(TIdStackSocketHandle aHandle, const std::string& aIP, TIdPort aPort,
                           TIdIPVersion aIPVersion) {
  sockaddr_storage address;
  socklen_t length = FillSockAddr(aIP, aPort, aIPVersion, address);
  CheckForSocketError(::bind(aHandle, reinterpret_cast<sockaddr*>(&address), length));
}

void TIdStackBSDBase::Disconnect(TIdStackSocketHandle aHandle, int aLingerSeconds) {
  // Failures here are of no use to anyone: the socket goes away regardless.
  if (aLingerSeconds < 0) {
    ::shutdown(aHandle, SHUT_WR);
  } else {
    linger value{1, aLingerSeconds};
    ::setsockopt(aHandle, SOL_SOCKET, SO_LINGER, &value, sizeof value);
  }
  ::close(aHandle);
}

void TIdStackBSDBase::GetSocketName(TIdStackSocketHandle aHandle, std::string& aIP, TIdPort& aPort,
                                    TIdIPVersion& aIPVersion) {
  sockaddr_storage address;
  socklen_t length = sizeof address;
  CheckForSocketError(::getsockname(aHandle, reinterpret_cast<sockaddr*>(&address), &length));
  ReadSockAddr(address, aIP, aPort, aIPVersion);
}

void TIdStackBSDBase::GetPeerName(TIdStackSocketHandle aHandle, std::string& aIP, TIdPort& aPort,
                                  TIdIPVersion& aIPVersion) {
  sockaddr_storage address;
  socklen_t length = sizeof address;
  CheckForSocketError(::getpeername(aHandle, reinterpret_cast<sockaddr*>(&address), &length));
  ReadSockAddr(address, aIP, aPort, aIPVersion);
}

void TIdStackBSDBase::SetSocketOption(TIdStackSocketHandle aHandle, int aLevel, int aOptName, int aOptVal) {
  CheckForSocketError(::setsockopt(aHandle, aLevel, aOptName, &aOptVal, sizeof aOptVal));
}

int TIdStackBSDBase::GetSocketOption(TIdStackSocketHandle aHandle, int aLevel, int aOptName) {
  int value = 0;
  socklen_t length = sizeof value;
  CheckForSocketError(::getsockopt(aHandle, aLevel, aOptName, &value, &length));
  return value;
}

}  // namespace qtx
