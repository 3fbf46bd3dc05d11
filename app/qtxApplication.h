#pragma once
// The application's default exception handler: an exception that leaves an
// event handler of the window shows its message in a message box, and the
// window stays usable.

#include <exception>
#include <utility>

class QWidget;

namespace qtx {

// Shows aException's message in a modal message box over aParent.
void ShowException(QWidget* aParent, const std::exception& aException);

// Runs an event handler, handing an exception that leaves it to
// ShowException. Qt's event loop does not carry exceptions, so none may
// leave a handler that Qt calls.
template <typename THandler>
void RunEventHandler(QWidget* aParent, THandler&& aHandler) noexcept {
  try {
    std::forward<THandler>(aHandler)();
  } catch (const std::exception& e) {
    ShowException(aParent, e);
  }
}

}  // namespace qtx
