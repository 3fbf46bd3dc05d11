#include "transport/qtxIdStackPosix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "transport/qtxIdSocketError.h"

namespace qtx {

namespace {

struct TErrnoCode {
  int Errno;
  int Code;
};

const TErrnoCode ErrnoCodes[] = {
    {EINTR, 10004},         {EBADF, 10009},          {EACCES, 10013},          {EFAULT, 10014},
    {EINVAL, 10022},        {EMFILE, 10024},         {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},
    {EALREADY, 10037},      {ENOTSOCK, 10038},       {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046},   {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},       {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053},  {ECONNRESET, 10054},     {ENOBUFS, 10055},         {EISCONN, 10056},
    {ENOTCONN, 10057},      {ESHUTDOWN, 10058},      {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},  {ELOOP, 10062},          {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},  {ENOTEMPTY, 10066},
    // A send on a connection that is closed for sending.
    {EPIPE, 10058},
};

using TClock = std::chrono::steady_clock;

// Milliseconds left until aDeadline, never negative.
int RemainingMs(TClock::time_point aDeadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void SetNonBlocking(int aHandle, bool aNonBlocking) {
  int flags = ::fcntl(aHandle, F_GETFL);
  if (flags < 0) return;
  ::fcntl(aHandle, F_SETFL, aNonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}

// One poll for aEvents, retried after signals; -1 on failure with errno set.
int PollOnce(int aHandle, short aEvents, int aTimeout) {
  TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(aTimeout < 0 ? 0 : aTimeout);
  while (true) {
    pollfd entry{aHandle, aEvents, 0};
    int result = ::poll(&entry, 1, aTimeout < 0 ? -1 : RemainingMs(deadline));
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace

int WinsockCodeForErrno(int aErrno) {
  for (const auto& entry : ErrnoCodes) {
    if (entry.Errno == aErrno) return entry.Code;
  }
  return aErrno;
}

int WinsockCodeForResolverError(int aResolverError, int aErrno) {
  switch (aResolverError) {
    case EAI_NONAME:
    case EAI_ADDRFAMILY:
    case EAI_IDN_ENCODE:
      return Id_WSAHOST_NOT_FOUND;
    case EAI_NODATA: return Id_WSANO_DATA;
    case EAI_AGAIN: return Id_WSATRY_AGAIN;
    case EAI_FAIL: return Id_WSANO_RECOVERY;
    case EAI_BADFLAGS: return 10022;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SERVICE: return 10109;
    case EAI_MEMORY: return 8;
    case EAI_SYSTEM: return WinsockCodeForErrno(aErrno);
    default: return Id_WSANO_RECOVERY;
  }
}

int TIdStackPosix::WSGetLastError() { return WinsockCodeForErrno(errno); }

TIdStackSocketHandle TIdStackPosix::NewSocketHandle(int aSocketType, int aProtocol, TIdIPVersion aIPVersion) {
  // Close-on-exec, so helper processes started later inherit no connection.
  int family = aIPVersion == Id_IPv4 ? AF_INET : AF_INET6;
  return CheckForSocketError(::socket(family, aSocketType | SOCK_CLOEXEC, aProtocol));
}

bool TIdStackPosix::Connect(TIdStackSocketHandle aHandle, const std::string& aIP, TIdPort aPort,
                            TIdIPVersion aIPVersion, int aTimeout, int aSlice, const std::function<void()>& aOnSlice) {
  sockaddr_storage address;
  socklen_t length = FillSockAddr(aIP, aPort, aIPVersion, address);
  // Non-blocking, so the wait can be bounded, sliced and survive signals.
  SetNonBlocking(aHandle, true);
  if (::connect(aHandle, reinterpret_cast<sockaddr*>(&address), length) != 0 && errno != EINPROGRESS &&
      errno != EINTR) {
    int error = errno;
    SetNonBlocking(aHandle, false);
    RaiseSocketError(WinsockCodeForErrno(error));
  }
  const bool limited = aTimeout >= 0;
  TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(limited ? aTimeout : 0);
  while (true) {
    int wait = limited ? RemainingMs(deadline) : -1;
    if (aSlice >= 0 && (wait < 0 || aSlice < wait)) wait = aSlice;
    int ready = PollOnce(aHandle, POLLOUT, wait);
    if (ready < 0) {
      int error = errno;
      SetNonBlocking(aHandle, false);
      RaiseSocketError(WinsockCodeForErrno(error));
    }
    if (ready > 0) break;
    if (limited && RemainingMs(deadline) == 0) {
      SetNonBlocking(aHandle, false);
      return false;
    }
    if (aOnSlice) aOnSlice();
  }
  SetNonBlocking(aHandle, false);
  int error = GetSocketOption(aHandle, SOL_SOCKET, SO_ERROR);
  if (error != 0) RaiseSocketError(WinsockCodeForErrno(error));
  return true;
}

int TIdStackPosix::WSRecv(TIdStackSocketHandle aHandle, uint8_t* aBuffer, int aLength) {
  while (true) {
    ssize_t result = ::recv(aHandle, aBuffer, static_cast<size_t>(aLength), 0);
    if (result >= 0 || errno != EINTR) return static_cast<int>(result);
  }
}

int TIdStackPosix::WSSend(TIdStackSocketHandle aHandle, const uint8_t* aBuffer, int aLength) {
  while (true) {
    ssize_t result = ::send(aHandle, aBuffer, static_cast<size_t>(aLength), MSG_NOSIGNAL);
    if (result >= 0 || errno != EINTR) return static_cast<int>(result);
  }
}

bool TIdStackPosix::Readable(TIdStackSocketHandle aHandle, int aTimeout) {
  return CheckForSocketError(PollOnce(aHandle, POLLIN, aTimeout)) > 0;
}

std::string TIdStackPosix::HostByName(const std::string& aHostName, TIdIPVersion aIPVersion) {
  addrinfo hints{};
  hints.ai_family = aIPVersion == Id_IPv4 ? AF_INET : AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  // International names are converted to their ASCII form by the resolver.
  hints.ai_flags = AI_IDN;
  addrinfo* found = nullptr;
  int result = ::getaddrinfo(aHostName.c_str(), nullptr, &hints, &found);
  if (result != 0) RaiseSocketError(WinsockCodeForResolverError(result, errno));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
  sockaddr_storage address{};
  std::memcpy(&address, list->ai_addr, list->ai_addrlen);
  std::string ip;
  TIdPort port;
  TIdIPVersion version;
  ReadSockAddr(address, ip, port, version);
  return ip;
}

}  // namespace qtx
