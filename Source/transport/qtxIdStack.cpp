#include "transport/qtxIdStack.h"

#include <mutex>

namespace qtx {

namespace {
std::mutex& StackLock() {
  static std::mutex lock;
  return lock;
}
int gStackUsage = 0;
}  // namespace

void TIdStack::IncUsage() {
  std::lock_guard guard(StackLock());
  ++gStackUsage;
}

void TIdStack::DecUsage() {
  std::lock_guard guard(StackLock());
  if (gStackUsage > 0) --gStackUsage;
}

int TIdStack::Usage() {
  std::lock_guard guard(StackLock());
  return gStackUsage;
}

}  // namespace qtx
