#include "platform/qtxRandom.h"

#include <sys/random.h>

#include <cerrno>

#include "platform/qtxException.h"

namespace qtx {

void FillRandom(std::span<uint8_t> aBytes) {
  size_t filled = 0;
  while (filled < aBytes.size()) {
    const ssize_t got = getrandom(aBytes.data() + filled, aBytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError("getrandom");
    }
    filled += static_cast<size_t>(got);
  }
}

}  // namespace qtx
