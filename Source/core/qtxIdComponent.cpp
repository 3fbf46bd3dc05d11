#include "core/qtxIdComponent.h"

#include <array>

#include "platform/qtxSysUtils.h"

namespace qtx {

const std::string& StatusText(TIdStatus aStatus) {
  static const std::array<std::string, 9> kTexts = {
      "Resolving hostname %s.", "Connecting to %s.", "Connected.",
      "Disconnecting.",         "Disconnected.",     "%s",
      "Transferring",           "Ready",             "Aborted",
  };
  return kTexts[static_cast<size_t>(aStatus)];
}

void TIdComponent::BeginWork(TWorkMode aWorkMode, int64_t aSize) {
  if (FWorkTarget != nullptr) {
    FWorkTarget->BeginWork(aWorkMode, aSize);
    return;
  }
  TWorkInfo& info = FWorkInfos[aWorkMode];
  if (++info.Level == 1) {
    info.Size = aSize;
    info.Count = 0;
    if (OnWorkBegin) OnWorkBegin(*this, aWorkMode, aSize);
  }
}

void TIdComponent::CountWork(TWorkMode aWorkMode, int64_t aCount) {
  if (FWorkTarget != nullptr) {
    FWorkTarget->DoWork(aWorkMode, aCount);
    return;
  }
  TWorkInfo& info = FWorkInfos[aWorkMode];
  if (info.Level > 0) {
    info.Count += aCount;
    if (OnWork) OnWork(*this, aWorkMode, info.Count);
  }
}

void TIdComponent::EndWork(TWorkMode aWorkMode) {
  if (FWorkTarget != nullptr) {
    FWorkTarget->EndWork(aWorkMode);
    return;
  }
  TWorkInfo& info = FWorkInfos[aWorkMode];
  if (info.Level == 1 && OnWorkEnd) OnWorkEnd(*this, aWorkMode);
  if (info.Level > 0) --info.Level;
}

void TIdComponent::DoStatus(TIdStatus aStatus, const std::string& aArgument) {
  if (OnStatus) OnStatus(*this, aStatus, Format(StatusText(aStatus), {aArgument}));
}

}  // namespace qtx
