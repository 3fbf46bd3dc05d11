#pragma once
// The part of the socket stack that is the same on every system with BSD
// sockets: socket addresses from and to text, bind, address read-back, socket
// options, and the close with linger or shutdown.

#include <sys/socket.h>

#include "transport/qtxIdStack.h"

namespace qtx {

class TIdStackBSDBase : public TIdStack {
public:
  void Bind(TIdStackSocketHandle aHandle, const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion) override;
  void Disconnect(TIdStackSocketHandle aHandle, int aLingerSeconds) override;
  void GetSocketName(TIdStackSocketHandle aHandle, std::string& aIP, TIdPort& aPort,
                     TIdIPVersion& aIPVersion) override;
  void GetPeerName(TIdStackSocketHandle aHandle, std::string& aIP, TIdPort& aPort, TIdIPVersion& aIPVersion) override;
  void SetSocketOption(TIdStackSocketHandle aHandle, int aLevel, int aOptName, int aOptVal) override;
  int GetSocketOption(TIdStackSocketHandle aHandle, int aLevel, int aOptName) override;

protected:
  // The socket address for an address text (empty: any address) and port;
  // text that is no address of the version raises socket error 10022.
  static socklen_t FillSockAddr(const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion,
                                sockaddr_storage& aAddress);
  static void ReadSockAddr(const sockaddr_storage& aAddress, std::string& aIP, TIdPort& aPort,
                           TIdIPVersion& aIPVersion);
};

}  // namespace qtx
