#pragma once
// The base of the transport objects: status and work-progress notifications.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "platform/qtxComponent.h"

namespace qtx {

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted,
};

enum TWorkMode { wmRead, wmWrite };

// The texts reported with each status; "%s" takes the argument of DoStatus.
const std::string& StatusText(TIdStatus aStatus);

class TIdComponent : public TComponent {
public:
  using TIdStatusEvent = std::function<void(TIdComponent& aSender, TIdStatus aStatus, const std::string& aStatusText)>;
  using TWorkEvent = std::function<void(TIdComponent& aSender, TWorkMode aWorkMode, int64_t aWorkCount)>;
  using TWorkBeginEvent = std::function<void(TIdComponent& aSender, TWorkMode aWorkMode, int64_t aWorkCountMax)>;
  using TWorkEndEvent = std::function<void(TIdComponent& aSender, TWorkMode aWorkMode)>;

  explicit TIdComponent(TComponent* aOwner = nullptr) : TComponent(aOwner) {}

  TIdStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

  // Work brackets nest; only the outermost BeginWork / EndWork are reported,
  // and OnWork reports the running total of the outermost bracket.
  void BeginWork(TWorkMode aWorkMode, int64_t aSize = 0);
  void DoWork(TWorkMode aWorkMode, int64_t aCount) {
    // Outside a bracket, with nowhere to forward to, there is nothing to
    // count or report: the per-line and per-block calls of a plain read
    // return here without leaving the caller.
    if (FWorkTarget == nullptr && FWorkInfos[aWorkMode].Level == 0) return;
    CountWork(aWorkMode, aCount);
  }
  void EndWork(TWorkMode aWorkMode);

  // Reports a status with its text, formatted with aArgument where the text
  // has a place for it ("Resolving hostname %s.", hsStatusText's "%s").
  void DoStatus(TIdStatus aStatus, const std::string& aArgument = std::string());

  // Another component whose work notifications this one forwards instead of
  // reporting itself (a connection forwards its IO handler's work).
  TIdComponent* WorkTarget() const noexcept { return FWorkTarget; }
  void SetWorkTarget(TIdComponent* aTarget) { FWorkTarget = aTarget; }

private:
  struct TWorkInfo {
    int64_t Count = 0;
    int64_t Size = 0;
    int Level = 0;
  };
  // DoWork inside a bracket or through the work target.
  void CountWork(TWorkMode aWorkMode, int64_t aCount);

  TWorkInfo FWorkInfos[2];
  TIdComponent* FWorkTarget = nullptr;
};

// BeginWork now, EndWork on leaving the scope. An EndWork failure while an
// exception is already on its way is dropped in favour of that exception.
class TIdWorkBracket {
public:
  TIdWorkBracket(TIdComponent& aComponent, TWorkMode aMode, int64_t aSize = 0)
      : FComponent(aComponent), FMode(aMode), FUncaught(std::uncaught_exceptions()) {
    FComponent.BeginWork(aMode, aSize);
  }
  ~TIdWorkBracket() noexcept(false) {
    if (std::uncaught_exceptions() == FUncaught) {
      FComponent.EndWork(FMode);
      return;
    }
    try {
      FComponent.EndWork(FMode);
    } catch (...) {
    }
  }
  TIdWorkBracket(const TIdWorkBracket&) = delete;
  TIdWorkBracket& operator=(const TIdWorkBracket&) = delete;

private:
  TIdComponent& FComponent;
  TWorkMode FMode;
  int FUncaught;
};

}  // namespace qtx
