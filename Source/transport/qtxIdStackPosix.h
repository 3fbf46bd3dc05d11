#pragma once
// The socket stack over the POSIX socket interface: errno mapped to the
// Winsock codes, getaddrinfo with international names, poll-based waits, a
// non-blocking connect bounded by its time-out, and sends that never raise
// SIGPIPE.

#include "transport/qtxIdStackBSDBase.h"

namespace qtx {

// The Winsock code for an errno value; values without one pass unchanged.
int WinsockCodeForErrno(int aErrno);
// The Winsock code for a getaddrinfo result (aErrno is read for EAI_SYSTEM).
int WinsockCodeForResolverError(int aResolverError, int aErrno);

class TIdStackPosix : public TIdStackBSDBase {
public:
  int WSGetLastError() override;
  TIdStackSocketHandle NewSocketHandle(int aSocketType, int aProtocol, TIdIPVersion aIPVersion) override;
  bool Connect(TIdStackSocketHandle aHandle, const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion,
               int aTimeout = -2, int aSlice = -2, const std::function<void()>& aOnSlice = {}) override;
  int WSRecv(TIdStackSocketHandle aHandle, uint8_t* aBuffer, int aLength) override;
  int WSSend(TIdStackSocketHandle aHandle, const uint8_t* aBuffer, int aLength) override;
  bool Readable(TIdStackSocketHandle aHandle, int aTimeout) override;

protected:
  std::string HostByName(const std::string& aHostName, TIdIPVersion aIPVersion) override;
};

}  // namespace qtx
