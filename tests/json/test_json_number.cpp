// Numbers of JSON text to doubles: the quick exact conversion against the
// general one, and every double read back from the text written for it.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "json/qtxJSONNumber.h"
#include "platform/qtxSysUtils.h"

namespace qtx {
namespace {

// The two conversions agree to the bit, on success and failure alike.
void ExpectConvertsAsStrToFloat(const std::string& aText) {
  double quick = 0, general = 0;
  const bool quickRead = TryJSONNumberToDouble(aText, quick), generalRead = TryStrToFloat(aText, general);
  EXPECT_EQ(quickRead, generalRead) << aText;
  if (quickRead && generalRead) {
    EXPECT_EQ(std::bit_cast<uint64_t>(quick), std::bit_cast<uint64_t>(general)) << aText;
  }
}

TEST(JSONNumber, EdgesOfTheQuickWayConvertAsTheGeneralConversion) {
  for (const char* text : {"0", "-0", "0.0", "-0.0", "1", "+1", "0.1", "0.3", "-2.5e-3", "1E+2", "1e-0",
                           "9007199254740991", "9007199254740992", "9007199254740993", "18014398509481985e-1",
                           "1e22", "1e23", "123456789e-22", "123456789e-23", "4.9e-324", "2.2250738585072014e-308",
                           "1.7976931348623157e308", "2e308", "1e-400", "1234567890123456789", "12345678901234567890",
                           "00000000000000000000001.5", "1.00000000000000000000000001", "0.000000000000000000000001",
                           "1e999999999999", "1e-999999999999", "7.", ".5", "1e", "-", "1x"})
    ExpectConvertsAsStrToFloat(text);
}

TEST(JSONNumber, EveryDoubleReadsBackFromItsShortestAndItsFullText) {
  uint64_t state = 0x9E3779B97F4A7C15u;
  char buffer[40];
  for (int i = 0; i < 50000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    // Any finite double, and doubles of the size embeddings hold.
    double value = std::bit_cast<double>(state);
    if (i % 2) value = (static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5) * 0.08;
    if (!std::isfinite(value)) continue;
    for (const int precision : {0, 17, 8}) {
      char* const end =
          precision ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision).ptr
                    : std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
      const std::string text(buffer, end);
      double read = 0;
      ASSERT_TRUE(TryJSONNumberToDouble(text, read)) << text;
      if (precision == 8) {
        double general = 0;
        ASSERT_TRUE(TryStrToFloat(text, general));
        ASSERT_EQ(std::bit_cast<uint64_t>(read), std::bit_cast<uint64_t>(general)) << text;
      } else {
        ASSERT_EQ(std::bit_cast<uint64_t>(read), std::bit_cast<uint64_t>(value)) << text;
      }
    }
  }
}

}  // namespace
}  // namespace qtx
