#include "transport/qtxIdStack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <charconv>
#include <mutex>

#include "platform/qtxSysUtils.h"
#include "transport/qtxIdStackPosix.h"

namespace qtx {

namespace {

const char* const RSStackAlreadyCreated = "Stack already created.";
const char* const RSStackClassUndefined = "Stack Class is undefined.";
const char* const RSStackError = "Socket Error # %d\r\n%s";

struct TSocketErrorText {
  int Code;
  const char* Text;
};

const TSocketErrorText SocketErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

// Creation and release of the stack object are serialised by this lock.
std::mutex& StackLock() {
  static std::mutex lock;
  return lock;
}
int gStackUsage = 0;
std::atomic<TIdStack*> gStack{nullptr};
std::unique_ptr<TIdStack> gOwnedStack;

TIdStack::TIdStackClass& StackClass() {
  static TIdStack::TIdStackClass stackClass = [] { return std::make_unique<TIdStackPosix>(); };
  return stackClass;
}

}  // namespace

const int Id_SOCK_STREAM = SOCK_STREAM;
const int Id_IPPROTO_IP = IPPROTO_IP;
const int Id_SOL_SOCKET = SOL_SOCKET;
const int Id_SO_REUSEADDR = SO_REUSEADDR;
const int Id_SO_TYPE = SO_TYPE;
const int Id_SO_LINGER = SO_LINGER;
const int Id_IPPROTO_TCP = IPPROTO_TCP;
const int Id_TCP_NODELAY = TCP_NODELAY;

TIdStack::TIdStack() {
  TIdStack* none = nullptr;
  if (!gStack.compare_exchange_strong(none, this)) throw EIdStackError(RSStackAlreadyCreated);
}

TIdStack::~TIdStack() {
  TIdStack* self = this;
  gStack.compare_exchange_strong(self, nullptr);
}

TIdStack* GStack() { return gStack.load(); }

void TIdStack::IncUsage() {
  std::lock_guard guard(StackLock());
  if (gStackUsage == 0) {
    if (!StackClass()) throw EIdStackError(RSStackClassUndefined);
    gOwnedStack = StackClass()();
  }
  ++gStackUsage;
}

void TIdStack::DecUsage() {
  std::lock_guard guard(StackLock());
  if (gStackUsage == 0) return;
  if (--gStackUsage == 0) gOwnedStack.reset();
}

int TIdStack::Usage() {
  std::lock_guard guard(StackLock());
  return gStackUsage;
}

void TIdStack::SetStackClass(TIdStackClass aStackClass) {
  std::lock_guard guard(StackLock());
  StackClass() = std::move(aStackClass);
}

std::string TIdStack::WSTranslateSocketErrorMsg(int aErr) {
  for (const auto& entry : SocketErrorTexts) {
    if (entry.Code == aErr) return Format(RSStackError, {aErr, entry.Text});
  }
  return Format(RSStackError, {aErr, ""});
}

void TIdStack::RaiseSocketError(int aErr) {
  if (aErr == Id_WSAENOTSOCK) throw EIdNotASocket(aErr, WSTranslateSocketErrorMsg(aErr));
  throw EIdSocketError(aErr, WSTranslateSocketErrorMsg(aErr));
}

void TIdStack::RaiseLastSocketError() { RaiseSocketError(WSGetLastError()); }

int TIdStack::CheckForSocketError(int aResult) {
  if (aResult == Id_SOCKET_ERROR) RaiseLastSocketError();
  return aResult;
}

bool TIdStack::IsIP(std::string_view aIP) {
  int parts = 0;
  size_t pos = 0;
  while (true) {
    size_t dot = aIP.find('.', pos);
    std::string_view part = aIP.substr(pos, dot == std::string_view::npos ? std::string_view::npos : dot - pos);
    if (part.empty() || part.size() > 3) return false;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size() || value > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    pos = dot + 1;
  }
  return parts == 4;
}

bool TIdStack::IsValidIPv6(std::string_view aIP) {
  in6_addr address;
  return inet_pton(AF_INET6, std::string(aIP).c_str(), &address) == 1;
}

std::string TIdStack::CompressIPv6(std::string_view aIP) {
  in6_addr address;
  if (inet_pton(AF_INET6, std::string(aIP).c_str(), &address) != 1) return std::string(aIP);
  char text[INET6_ADDRSTRLEN];
  inet_ntop(AF_INET6, &address, text, sizeof text);
  return text;
}

std::string TIdStack::ResolveHost(const std::string& aHost, TIdIPVersion aIPVersion) {
  if (SameText(aHost, "LOCALHOST")) return aIPVersion == Id_IPv4 ? "127.0.0.1" : "::1";
  if (aIPVersion == Id_IPv4 && IsIP(aHost)) return aHost;
  return HostByName(aHost, aIPVersion);
}

}  // namespace qtx
