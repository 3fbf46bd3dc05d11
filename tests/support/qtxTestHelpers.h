#pragma once
// Small helpers the test programs share: bytes from text and back, the
// exception a call raises, elapsed time, and environment settings that last
// for one scope.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/qtxTypes.h"

namespace qtx::test {

// The bytes of the text, one per char.
inline TBytes Bytes(std::string_view aText) { return TBytes(aText.begin(), aText.end()); }
inline TBytes Bytes(std::initializer_list<int> aValues) {
  TBytes bytes;
  for (const int v : aValues) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}
// The bytes as chars, for comparing with expected text.
inline std::string Text(const TBytes& aBytes) { return std::string(aBytes.begin(), aBytes.end()); }
// The bytes as lower-case hexadecimal digits.
inline std::string Hex(const TBytes& aBytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t b : aBytes) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

// The exception of type E that aCall raises; fails the test by throwing
// std::runtime_error when it raises nothing.
template <typename E, typename F>
E Raised(F&& aCall) {
  try {
    aCall();
  } catch (const E& e) {
    return e;
  }
  throw std::runtime_error("expected exception was not raised");
}

using TClock = std::chrono::steady_clock;

inline long ElapsedMs(TClock::time_point aStart) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - aStart).count());
}

// Sets (or, with nullptr, removes) an environment variable until the end of
// the scope, then puts back what was there.
class ScopedEnvironment {
public:
  ScopedEnvironment(const char* aName, const char* aValue) : FName(aName) {
    if (const char* old = std::getenv(aName)) FOld = old;
    if (aValue) {
      setenv(aName, aValue, 1);
    } else {
      unsetenv(aName);
    }
  }
  ~ScopedEnvironment() {
    if (FOld) {
      setenv(FName.c_str(), FOld->c_str(), 1);
    } else {
      unsetenv(FName.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
  std::string FName;
  std::optional<std::string> FOld;
};

// The time-zone rules of aZone ("Europe/Berlin") for the scope.
class ScopedTimeZone {
public:
  explicit ScopedTimeZone(const char* aZone) {
    FTZ.emplace("TZ", aZone);
    tzset();
  }
  ~ScopedTimeZone() {
    FTZ.reset();  // the old setting is back before the rules are read again
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
  std::optional<ScopedEnvironment> FTZ;
};

}  // namespace qtx::test
