// The argument checks that every encoding shares, shown on the ASCII
// encoding and, where characters and code units differ, on UTF-16.
#include <climits>

#include "core/qtxIdTextEncodings.h"
#include "encoding_test_util.h"

namespace qtx {
namespace {

using test::Bytes;
using test::MessageOf;

const TIdASCIIEncoding kAscii;

TEST(EncodingChecks, MissingSourceWithACountIsAnInvalidSourceArray) {
  EXPECT_EQ(MessageOf([] { kAscii.GetByteCount(static_cast<const char16_t*>(nullptr), 3); }), "Invalid source array");
  EXPECT_EQ(MessageOf([] { kAscii.GetString(static_cast<const uint8_t*>(nullptr), 2); }), "Invalid source array");
  EXPECT_EQ(MessageOf([] { kAscii.GetCharCount(static_cast<const uint8_t*>(nullptr), 1); }), "Invalid source array");
  uint8_t out[4];
  EXPECT_EQ(MessageOf([&] { kAscii.GetBytes(static_cast<const char16_t*>(nullptr), 1, out, 4); }),
            "Invalid source array");
}

TEST(EncodingChecks, MissingSourceWithZeroCountGivesNothing) {
  EXPECT_EQ(kAscii.GetByteCount(static_cast<const char16_t*>(nullptr), 0), 0);
  EXPECT_EQ(kAscii.GetString(static_cast<const uint8_t*>(nullptr), 0), "");
}

TEST(EncodingChecks, NegativeCountIsAnInvalidCount) {
  EXPECT_EQ(MessageOf([] { kAscii.GetBytes(std::u16string_view(u"abc"), 0, -1); }), "Invalid count (-1)");
  EXPECT_EQ(MessageOf([] { kAscii.GetString(Bytes({1, 2}), 0, -2); }), "Invalid count (-2)");
  const char16_t chars[] = u"a";
  EXPECT_EQ(MessageOf([&] { kAscii.GetByteCount(chars, -5); }), "Invalid count (-5)");
}

TEST(EncodingChecks, IndexOutsideTheSourceIsOutOfBounds) {
  EXPECT_EQ(MessageOf([] { kAscii.GetBytes("abc", 4, 0); }), "Character index out of bounds (4)");
  EXPECT_EQ(MessageOf([] { kAscii.GetBytes("abc", -1, 1); }), "Character index out of bounds (-1)");
  EXPECT_EQ(MessageOf([] { kAscii.GetString(Bytes({1, 2, 3}), 5, 0); }), "Character index out of bounds (5)");
}

TEST(EncodingChecks, CountRunningPastTheEndIsAnInvalidCount) {
  EXPECT_EQ(MessageOf([] { kAscii.GetBytes("abc", 1, 3); }), "Invalid count (3)");
  EXPECT_EQ(MessageOf([] { kAscii.GetCharCount(Bytes({1, 2, 3}), 2, 2); }), "Invalid count (2)");
}

TEST(EncodingChecks, AnEmptySliceAtTheEndIsAllowed) {
  EXPECT_EQ(kAscii.GetString(Bytes({0x41, 0x42}), 2, 0), "");
  EXPECT_TRUE(kAscii.GetBytes("ab", 2, 0).empty());
  EXPECT_EQ(kAscii.GetString(Bytes({}), 0, 0), "");
}

TEST(EncodingChecks, SlicesCountUtf16CodeUnitsOfTheText) {
  const TIdUTF16LittleEndianEncoding utf16;
  // "a", U+1F600 (two code units), "b": units 1 and 2 are the surrogate pair.
  EXPECT_EQ(utf16.GetBytes("a\xF0\x9F\x98\x80" "b", 1, 2), Bytes({0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(kAscii.GetByteCount("a\xF0\x9F\x98\x80" "b", 3, 1), 1);
  EXPECT_EQ(MessageOf([] { kAscii.GetBytes("a\xF0\x9F\x98\x80", 0, 4); }), "Invalid count (4)");
}

TEST(EncodingChecks, WritesIntoTheDestinationAtTheIndex) {
  TBytes dest = Bytes({9, 9, 9, 9, 9});
  EXPECT_EQ(kAscii.GetBytes("abc", 0, 3, dest, 2), 3);
  EXPECT_EQ(dest, Bytes({9, 9, 'a', 'b', 'c'}));
}

TEST(EncodingChecks, DestinationIndexOutsideTheDestinationIsInvalid) {
  TBytes dest(5);
  EXPECT_EQ(MessageOf([&] { kAscii.GetBytes("abc", 0, 3, dest, 6); }), "Invalid destination index (6)");
  EXPECT_EQ(MessageOf([&] { kAscii.GetBytes("abc", 0, 3, dest, -1); }), "Invalid destination index (-1)");
  std::u16string chars(2, u'x');
  EXPECT_EQ(MessageOf([&] { kAscii.GetChars(Bytes({1}), 0, 1, chars, 3); }), "Invalid destination index (3)");
}

TEST(EncodingChecks, DestinationTooSmallIsAnInvalidDestinationArray) {
  TBytes dest(4);
  EXPECT_EQ(MessageOf([&] { kAscii.GetBytes("abc", 0, 3, dest, 2); }), "Invalid destination array");
  uint8_t small[2];
  EXPECT_EQ(MessageOf([&] { kAscii.GetBytes(u"abc", 3, small, 2); }), "Invalid destination array");
  char16_t chars[1];
  EXPECT_EQ(MessageOf([&] { kAscii.GetChars(Bytes({1, 2}).data(), 2, chars, 1); }), "Invalid destination array");
}

TEST(EncodingChecks, ZeroCountReturnsZeroWithoutTouchingTheDestination) {
  TBytes dest = Bytes({7, 7});
  EXPECT_EQ(kAscii.GetBytes("abc", 1, 0, dest, 99), 0);
  EXPECT_EQ(dest, Bytes({7, 7}));
}

TEST(EncodingChecks, NegativeOrOverflowingMaxCountsAreInvalidCounts) {
  EXPECT_EQ(MessageOf([] { kAscii.GetMaxByteCount(-1); }), "Invalid count (-1)");
  const TIdUTF8Encoding utf8;
  EXPECT_EQ(MessageOf([&] { utf8.GetMaxByteCount(INT_MAX); }), "Invalid count (" + std::to_string(INT_MAX) + ")");
}

TEST(EncodingChecks, PointerFormsConvertIntoTheGivenRoom) {
  const char16_t chars[] = u"hi";
  uint8_t out[3] = {0, 0, 0};
  EXPECT_EQ(kAscii.GetBytes(chars, 2, out, 3), 2);
  EXPECT_EQ(out[0], 'h');
  EXPECT_EQ(out[1], 'i');
  EXPECT_EQ(out[2], 0);
  const TBytes bytes = Bytes({'o', 'k'});
  EXPECT_EQ(kAscii.GetString(bytes.data(), 2), "ok");
  EXPECT_EQ(kAscii.GetCharCount(bytes.data(), 2), 2);
}

}  // namespace
}  // namespace qtx
