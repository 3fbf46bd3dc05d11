#pragma once
// Cleanup that must run however a scope ends, written once instead of after
// a try block and again in its catch (...).

#include <exception>
#include <utility>

namespace qtx {

// Runs the action when the scope ends. When the scope ends by an exception,
// a failure of the action itself is dropped so that the first one travels on;
// otherwise it propagates as from any statement at the end of the scope.
template <typename F>
class [[nodiscard]] TScopeExit {
public:
  explicit TScopeExit(F aAction) : FAction(std::move(aAction)), FUncaught(std::uncaught_exceptions()) {}
  ~TScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() == FUncaught) {
      FAction();
      return;
    }
    try {
      FAction();
    } catch (...) {
    }
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  F FAction;
  int FUncaught;
};

// Gives a variable back, when the scope ends, the value it had when the
// restorer was made.
template <typename T>
class [[nodiscard]] TRestoreOnExit {
public:
  explicit TRestoreOnExit(T& aVariable) : FVariable(aVariable), FSaved(aVariable) {}
  ~TRestoreOnExit() { FVariable = std::move(FSaved); }
  TRestoreOnExit(const TRestoreOnExit&) = delete;
  TRestoreOnExit& operator=(const TRestoreOnExit&) = delete;

private:
  T& FVariable;
  T FSaved;
};

}  // namespace qtx
