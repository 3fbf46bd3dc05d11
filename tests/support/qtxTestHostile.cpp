#include "qtxTestHostile.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace qtx::test {

void SendHostile(TTestPeer& aPeer, std::string_view aAnswer, size_t aCut, TPeerEnd aEnd) {
  aPeer.Write(aAnswer.substr(0, aCut));
  switch (aEnd) {
    case TPeerEnd::Stall: StallUntilClientGoes(aPeer.Fd()); break;
    case TPeerEnd::Close:
      aPeer.ShutdownWrite();
      aPeer.Close();
      break;
    case TPeerEnd::Reset: aPeer.Reset(); break;
  }
}

void StallUntilClientGoes(int aFd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPeerWaitMs);
  char block[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd entry{aFd, POLLIN, 0};
    if (::poll(&entry, 1, 50) <= 0) continue;
    const ssize_t got = ::recv(aFd, block, sizeof block, 0);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}

size_t FloodHeaderLines(const std::function<void(std::string_view)>& aSend, std::string_view aHead, size_t aLimit) {
  size_t sent = 0;
  try {
    aSend(aHead);
    sent = aHead.size();
    // Lines of a few kilobytes each, numbered so that none repeats.
    const std::string filler(4000, 'x');
    for (size_t n = 0; sent < aLimit; ++n) {
      const std::string line = "X-Flood-" + std::to_string(n) + ": " + filler + "\r\n";
      aSend(line);
      sent += line.size();
    }
  } catch (const std::runtime_error&) {
    // The client stopped taking them: the flood has done its work.
  }
  return sent;
}

size_t FloodHeaderLines(TTestPeer& aPeer, std::string_view aHead, size_t aLimit) {
  const size_t sent = FloodHeaderLines([&](std::string_view aBytes) { aPeer.Write(aBytes); }, aHead, aLimit);
  aPeer.Close();
  return sent;
}

}  // namespace qtx::test
