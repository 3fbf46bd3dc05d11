#pragma once
// The process-wide socket stack. It exists from the first IncUsage to the
// last DecUsage; every buffer and socket component holds one use.

#include <memory>

namespace qtx {

class TIdStack {
public:
  virtual ~TIdStack() = default;

  // Register and release one use of the stack, under a global lock.
  static void IncUsage();
  static void DecUsage();
  // The current number of uses.
  static int Usage();
};

}  // namespace qtx
