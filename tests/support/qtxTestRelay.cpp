#include "qtxTestRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace qtx::test {
namespace {

constexpr size_t kRecordHeader = 5;
// How long a single record waits for a second one to share its segment,
// and the pause between the two halves of a split record.
constexpr int kMergeWaitMs = 50;
constexpr auto kSplitPause = std::chrono::milliseconds(20);

int ConnectLoopback(uint16_t aPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    throw std::runtime_error("relay: cannot reach the server");
  }
  return fd;
}

bool SendAll(int aFd, const uint8_t* aData, size_t aSize) {
  while (aSize > 0) {
    const ssize_t sent = ::send(aFd, aData, aSize, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    aData += sent;
    aSize -= static_cast<size_t>(sent);
  }
  return true;
}

// The length of the whole record at aFrom, or 0 when it is not all there.
size_t WholeRecord(const TBytes& aBytes, size_t aFrom) {
  if (aBytes.size() < aFrom + kRecordHeader) return 0;
  const size_t length = kRecordHeader + (size_t{aBytes[aFrom + 3]} << 8 | aBytes[aFrom + 4]);
  return aBytes.size() >= aFrom + length ? length : 0;
}

}  // namespace

TTlsRecordRelay::TTlsRecordRelay(uint16_t aServerPort, TMode aMode) : FServerPort(aServerPort), FMode(aMode) {
  FThread = std::thread([this] { Run(); });
}

TTlsRecordRelay::~TTlsRecordRelay() {
  FStop = true;
  FThread.join();
}

void TTlsRecordRelay::CutAfter(int aRecords, TCut aCut) {
  std::lock_guard guard(FLock);
  FRecordsBeforeCut = aRecords;
  FCut = aCut;
}

void TTlsRecordRelay::Run() {
  std::unique_ptr<TTestPeer> client;
  while (!FStop && !client) client = FListener.Accept(kMergeWaitMs);
  if (!client) return;
  const int server = ConnectLoopback(FServerPort);
  const int noDelay = 1;
  ::setsockopt(client->Fd(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));
  bool clientOpen = true;
  bool serverOpen = true;
  bool forwarding = true;
  uint8_t block[65536];
  while (!FStop && (clientOpen || serverOpen)) {
    pollfd waiters[2] = {{clientOpen ? client->Fd() : -1, POLLIN, 0}, {serverOpen ? server : -1, POLLIN, 0}};
    const int ready = ::poll(waiters, 2, kMergeWaitMs);
    if (ready < 0 && errno != EINTR) break;
    if (waiters[0].revents) {
      const ssize_t got = ::recv(client->Fd(), block, sizeof(block), 0);
      if (got > 0) {
        SendAll(server, block, static_cast<size_t>(got));
      } else {
        clientOpen = false;
        ::shutdown(server, SHUT_WR);
      }
    }
    if (waiters[1].revents) {
      const ssize_t got = ::recv(server, block, sizeof(block), 0);
      if (got > 0) {
        FFromServer.insert(FFromServer.end(), block, block + got);
      } else {
        serverOpen = false;
      }
    }
    // A lone record waits for a partner only while the server may still send one.
    if (forwarding) forwarding = ForwardRecords(client->Fd(), ready == 0 || !serverOpen);
    if (forwarding && !serverOpen && WholeRecord(FFromServer, 0) == 0) {
      ::shutdown(client->Fd(), SHUT_WR);
      forwarding = false;
    }
  }
  ::close(server);
}

bool TTlsRecordRelay::ForwardRecords(int aClient, bool aFlushSingle) {
  while (const size_t first = WholeRecord(FFromServer, 0)) {
    std::unique_lock guard(FLock);
    if (FRecordsBeforeCut == 0) {
      if (FCut != TCut::AtRecordBoundary) SendAll(aClient, FFromServer.data(), first / 2);
      if (FCut != TCut::MidRecordStall) ::shutdown(aClient, SHUT_WR);
      return false;
    }
    size_t length = first;
    if (FMode == TMode::Merge && FRecordsBeforeCut != 1) {
      const size_t second = WholeRecord(FFromServer, first);
      if (second == 0 && !aFlushSingle) return true;
      if (second != 0) {
        length += second;
        ++FMerged;
        if (FRecordsBeforeCut > 0) --FRecordsBeforeCut;
      }
    }
    if (FRecordsBeforeCut > 0) --FRecordsBeforeCut;
    guard.unlock();
    if (!SendRecords(aClient, length, FMode == TMode::Split)) return false;
    FFromServer.erase(FFromServer.begin(), FFromServer.begin() + static_cast<std::ptrdiff_t>(length));
  }
  return true;
}

bool TTlsRecordRelay::SendRecords(int aClient, size_t aLength, bool aSplit) {
  if (!aSplit) return SendAll(aClient, FFromServer.data(), aLength);
  const size_t half = aLength / 2;
  if (!SendAll(aClient, FFromServer.data(), half)) return false;
  std::this_thread::sleep_for(kSplitPause);
  ++FSplit;
  return SendAll(aClient, FFromServer.data() + half, aLength - half);
}

}  // namespace qtx::test
