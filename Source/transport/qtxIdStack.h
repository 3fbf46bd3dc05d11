#pragma once
// The process-wide socket stack. It exists from the first IncUsage to the
// last DecUsage; every buffer and socket component holds one use. The stack
// object wraps the system's socket interface and reports every failure as an
// EIdSocketError carrying a Winsock error code and its fixed English text.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/qtxIdException.h"
#include "core/qtxIdIPVersion.h"
#include "platform/qtxTypes.h"

namespace qtx {

using TIdBytes = TBytes;
using TIdPort = uint16_t;
using TIdStackSocketHandle = int;
constexpr TIdStackSocketHandle Id_INVALID_SOCKET = -1;
constexpr int Id_SOCKET_ERROR = -1;

constexpr TIdIPVersion ID_DEFAULT_IP_VERSION = Id_IPv4;

// Socket-level constants in the system's numbering.
extern const int Id_SOCK_STREAM;
extern const int Id_IPPROTO_IP;
extern const int Id_SOL_SOCKET;
extern const int Id_SO_REUSEADDR;
extern const int Id_SO_TYPE;
extern const int Id_IPPROTO_TCP;
extern const int Id_TCP_NODELAY;

// Winsock error codes that callers test for.
constexpr int Id_WSAEINVAL = 10022;
constexpr int Id_WSAECONNABORTED = 10053;
constexpr int Id_WSAECONNRESET = 10054;
constexpr int Id_WSAENOTCONN = 10057;
constexpr int Id_WSAESHUTDOWN = 10058;
constexpr int Id_WSAETIMEDOUT = 10060;
constexpr int Id_WSAHOST_NOT_FOUND = 11001;
constexpr int Id_WSATRY_AGAIN = 11002;
constexpr int Id_WSANO_RECOVERY = 11003;
constexpr int Id_WSANO_DATA = 11004;

class EIdStackError : public EIdException { using EIdException::EIdException; };

class TIdStack {
public:
  // Raises EIdStackError "Stack already created." while another stack exists.
  TIdStack();
  virtual ~TIdStack();
  TIdStack(const TIdStack&) = delete;
  TIdStack& operator=(const TIdStack&) = delete;

  // Register and release one use of the stack, under a global lock. The first
  // use creates the stack object from the stack class, the last frees it.
  static void IncUsage();
  static void DecUsage();
  // The current number of uses.
  static int Usage();

  // The class of the stack object the first use creates. The platform's
  // stack is installed from the start; an empty factory leaves none, and the
  // first use then raises "Stack Class is undefined.".
  using TIdStackClass = std::function<std::unique_ptr<TIdStack>()>;
  static void SetStackClass(TIdStackClass aStackClass);

  // Error codes and texts.
  virtual int WSGetLastError() = 0;
  // Raises EIdSocketError (EIdNotASocket for 10038) for the last error.
  [[noreturn]] void RaiseLastSocketError();
  // A result of Id_SOCKET_ERROR raises for the last error; other results pass.
  int CheckForSocketError(int aResult);

  // Address text.
  // A dotted quad of four decimal parts 0..255.
  static bool IsIP(std::string_view aIP);
  static bool IsValidIPv6(std::string_view aIP);
  // The canonical text of an IPv6 literal ("0:0::1" gives "::1").
  static std::string CompressIPv6(std::string_view aIP);
  // "LOCALHOST" in any case gives the loopback address of the version, an
  // IPv4 literal is returned unchanged; other names go to the resolver, whose
  // first address is returned.
  std::string ResolveHost(const std::string& aHost, TIdIPVersion aIPVersion = ID_DEFAULT_IP_VERSION);

  // The socket interface.
  virtual TIdStackSocketHandle NewSocketHandle(int aSocketType, int aProtocol, TIdIPVersion aIPVersion) = 0;
  virtual void Bind(TIdStackSocketHandle aHandle, const std::string& aIP, TIdPort aPort,
                    TIdIPVersion aIPVersion) = 0;
  // Connects, waiting at most aTimeout milliseconds (-2: no limit), with
  // aOnSlice called after every expired wait slice of aSlice milliseconds.
  // Returns false when the time ran out first; the socket is then left
  // half-connected and must be closed by the caller.
  virtual bool Connect(TIdStackSocketHandle aHandle, const std::string& aIP, TIdPort aPort, TIdIPVersion aIPVersion,
                       int aTimeout = -2, int aSlice = -2, const std::function<void()>& aOnSlice = {}) = 0;
  // Closes the socket: shut down for sending first when aLingerSeconds is
  // negative, otherwise with SO_LINGER on for that many seconds.
  virtual void Disconnect(TIdStackSocketHandle aHandle, int aLingerSeconds) = 0;
  virtual void GetSocketName(TIdStackSocketHandle aHandle, std::string& aIP, TIdPort& aPort,
                             TIdIPVersion& aIPVersion) = 0;
  virtual void GetPeerName(TIdStackSocketHandle aHandle, std::string& aIP, TIdPort& aPort,
                           TIdIPVersion& aIPVersion) = 0;
  // Receive into the whole buffer / send a run; -1 on failure (see WSGetLastError).
  virtual int WSRecv(TIdStackSocketHandle aHandle, uint8_t* aBuffer, int aLength) = 0;
  virtual int WSSend(TIdStackSocketHandle aHandle, const uint8_t* aBuffer, int aLength) = 0;
  virtual void SetSocketOption(TIdStackSocketHandle aHandle, int aLevel, int aOptName, int aOptVal) = 0;
  virtual int GetSocketOption(TIdStackSocketHandle aHandle, int aLevel, int aOptName) = 0;
  // Waits at most aTimeout milliseconds (-2: no limit) for input or a close.
  virtual bool Readable(TIdStackSocketHandle aHandle, int aTimeout) = 0;

protected:
  // The resolver step of ResolveHost for names that are not literals.
  virtual std::string HostByName(const std::string& aHostName, TIdIPVersion aIPVersion) = 0;
};

// The stack object while any use is registered, else null.
TIdStack* GStack();

}  // namespace qtx
