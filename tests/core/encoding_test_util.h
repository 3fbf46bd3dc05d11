#pragma once
// Small helpers shared by the text-encoding tests.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/qtxException.h"
#include "platform/qtxTypes.h"
#include "support/qtxTestHelpers.h"

namespace qtx::test {

// The message of the qtx::Exception that aCall raises, or "(no exception)".
inline std::string MessageOf(const std::function<void()>& aCall) {
  try {
    aCall();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no exception)";
}

}  // namespace qtx::test
