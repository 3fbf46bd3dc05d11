#pragma once
// Small helpers shared by the text-encoding tests.

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "platform/qtxException.h"
#include "platform/qtxTypes.h"

namespace qtx::test {

inline TBytes Bytes(std::initializer_list<int> aValues) {
  TBytes bytes;
  for (const int v : aValues) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

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
