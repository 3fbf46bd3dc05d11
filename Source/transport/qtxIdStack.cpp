#include "transport/qtxIdStack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <charconv>
#include <mutex>

#include "platform/qtxSysUtils.h"
#include "transport/qtxIdSocketError.h"
#include "transport/qtxIdStackPosix.h"

namespace qtx {

namespace {

const char* const RSStackAlreadyCreated = "Stack already created.";
const char* const RSStackClassUndefined = "Stack Class is undefined.";
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
