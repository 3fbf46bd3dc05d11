#pragma once
// TIdAntiFreezeBase: the idle hook that blocking transport loops call between
// waits, so a user interface on the main thread stays responsive. At most one
// exists per application; it acts only on the main thread and while Active.

#include "core/qtxIdException.h"
#include "platform/qtxComponent.h"

namespace qtx {

class TIdAntiFreezeBase : public TComponent {
public:
  static constexpr int DefaultIdleTimeOut = 250;

  // Raises EIdException "Only one TIdAntiFreeze can exist per application."
  // while another one exists.
  explicit TIdAntiFreezeBase(TComponent* aOwner = nullptr);
  ~TIdAntiFreezeBase() override;

  // The processing step (pumping the user interface).
  virtual void Process() = 0;

  // Runs the installed hook's processing step when it should be used and
  // aIdle is set, OnlyWhenIdle is off, or aOverride is set. Does nothing
  // when no hook is installed.
  static void DoProcess(bool aIdle = true, bool aOverride = false);
  // A hook is installed and Active, and the caller is on the main thread.
  static bool ShouldUse();
  // The installed hook, or null.
  static TIdAntiFreezeBase* Instance();

  bool Active() const noexcept { return FActive; }
  void SetActive(bool aValue) { FActive = aValue; }
  // The wait slice of blocking loops while the hook is active, in milliseconds.
  int IdleTimeOut() const noexcept { return FIdleTimeOut; }
  void SetIdleTimeOut(int aValue) { FIdleTimeOut = aValue; }
  bool OnlyWhenIdle() const noexcept { return FOnlyWhenIdle; }
  void SetOnlyWhenIdle(bool aValue) { FOnlyWhenIdle = aValue; }

private:
  bool FActive = true;
  int FIdleTimeOut = DefaultIdleTimeOut;
  bool FOnlyWhenIdle = true;
};

// True on the thread that runs main().
bool InMainThread() noexcept;

}  // namespace qtx
