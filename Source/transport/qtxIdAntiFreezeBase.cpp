#include "transport/qtxIdAntiFreezeBase.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string_view>

namespace qtx {

namespace {
constexpr std::string_view RSOnlyOneAntiFreeze = "Only one TIdAntiFreeze can exist per application.";

std::mutex& InstanceLock() {
  static std::mutex lock;
  return lock;
}
std::atomic<TIdAntiFreezeBase*> gAntiFreeze{nullptr};
}  // namespace

bool InMainThread() noexcept { return syscall(SYS_gettid) == getpid(); }

TIdAntiFreezeBase::TIdAntiFreezeBase(TComponent* aOwner) : TComponent(aOwner) {
  std::lock_guard guard(InstanceLock());
  if (gAntiFreeze.load() != nullptr) throw EIdException(std::string(RSOnlyOneAntiFreeze));
  gAntiFreeze.store(this);
}

TIdAntiFreezeBase::~TIdAntiFreezeBase() {
  std::lock_guard guard(InstanceLock());
  if (gAntiFreeze.load() == this) gAntiFreeze.store(nullptr);
}

TIdAntiFreezeBase* TIdAntiFreezeBase::Instance() { return gAntiFreeze.load(); }

bool TIdAntiFreezeBase::ShouldUse() {
  TIdAntiFreezeBase* hook = gAntiFreeze.load();
  return hook != nullptr && hook->FActive && InMainThread();
}

void TIdAntiFreezeBase::DoProcess(bool aIdle, bool aOverride) {
  if (!ShouldUse()) return;
  TIdAntiFreezeBase* hook = gAntiFreeze.load();
  if (!hook->FOnlyWhenIdle || aIdle || aOverride) hook->Process();
}

}  // namespace qtx
