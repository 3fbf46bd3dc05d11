#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstring>
#include <functional>
#include <span>
#include <string>

#include "support/qtxTestHelpers.h"
#include "transport/qtxIdBuffer.h"
#include "transport/qtxIdStack.h"

namespace qtx {
namespace {

using test::Bytes;
using test::Text;



template <typename E>
std::string MessageOf(const std::function<void()>& aAction) {
  try {
    aAction();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// ---- messages -------------------------------------------------------------------

TEST(TIdBuffer, IndexOfOnAnEmptyBufferFindsNothingWithoutChecking) {
  TIdBuffer buffer;
  EXPECT_EQ(buffer.IndexOf(Bytes("x"), 5), -1);
  EXPECT_EQ(buffer.IndexOf(TIdBytes()), -1);
  EXPECT_EQ(buffer.IndexOf(uint8_t('x'), 7), -1);
}

TEST(TIdBuffer, IndexOfRejectsAStartOutsideTheBytes) {
  TIdBuffer buffer(Bytes("abc"));
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.IndexOf(Bytes("c"), 3); }), "Buffer start position is invalid.");
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.IndexOf(Bytes("c"), -1); }), "Buffer start position is invalid.");
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.IndexOf(uint8_t('c'), 3); }), "Buffer start position is invalid.");
}

TEST(TIdBuffer, IndexOfNeedsATerminator) {
  TIdBuffer buffer(Bytes("abc"));
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.IndexOf(TIdBytes()); }), "Buffer terminator must be specified.");
}

TEST(TIdBuffer, IndexOfFindsAPatternEndingOnTheLastByteAfterAFalseStart) {
  const struct {
    const char* Text;
    const char* Pattern;
    int Expected;
  } cases[] = {{"x\r\r\n", "\r\n", 2}, {"\r\r\n", "\r\n", 1}, {"aab", "ab", 1}, {"ab", "ab", 0}, {"abab", "abb", -1}};
  for (const auto& c : cases) EXPECT_EQ(TIdBuffer(Bytes(c.Text)).IndexOf(Bytes(c.Pattern)), c.Expected) << c.Text;
}

TEST(TIdBuffer, PeekByteMessages) {
  TIdBuffer buffer;
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.PeekByte(0); }), "No bytes in buffer.");
  buffer.Write(Bytes("ab"));
  EXPECT_EQ(buffer.PeekByte(1), 'b');
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.PeekByte(2); }), "Index out of bounds.");
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.PeekByte(-1); }), "Index out of bounds.");
}

TEST(TIdBuffer, CapacityCannotBeSetBelowSize) {
  TIdBuffer buffer(Bytes("abcdef"));
  EXPECT_EQ(MessageOf<EIdException>([&] { buffer.SetCapacity(5); }), "Capacity cannot be smaller than Size");
  buffer.Remove(2);
  buffer.SetCapacity(100);
  EXPECT_EQ(buffer.Capacity(), 100);
  EXPECT_EQ(buffer.AsString(), "cdef");
}

TEST(TIdBuffer, ExtractingMoreThanIsThereNamesBothCounts) {
  TIdBuffer buffer(Bytes("abcd"));
  TIdBytes out;
  EXPECT_EQ(MessageOf<EIdNotEnoughDataInBuffer>([&] { buffer.ExtractToBytes(out, 10); }),
            "Not enough data in buffer. (10/4)");
  EXPECT_EQ(buffer.Size(), 4);
}

TEST(TIdBuffer, TooMuchDataIsRefusedBeforeAnythingIsAllocated) {
  TIdBuffer buffer(Bytes("ab"));
  EXPECT_EQ(MessageOf<EIdTooMuchDataInBuffer>([&] { buffer.Write(Bytes("xyz"), INT_MAX - 3); }),
            "Too much data in buffer.");
  EXPECT_EQ(buffer.AsString(), "ab");
}

// ---- searching and peeking ------------------------------------------------------

TEST(TIdBuffer, IndexOfFindsTheFirstFullMatchFromTheStart) {
  TIdBuffer buffer(Bytes("a\rb\r\nc\r\n"));
  EXPECT_EQ(buffer.IndexOf(Bytes("\r\n")), 3);
  EXPECT_EQ(buffer.IndexOf(Bytes("\r\n"), 4), 6);
  EXPECT_EQ(buffer.IndexOf(Bytes("\r\nx")), -1);
  EXPECT_EQ(buffer.IndexOf(uint8_t('\r'), 2), 3);
  EXPECT_EQ(buffer.IndexOf(std::string("c")), 5);
}

TEST(TIdBuffer, PositionsCountFromTheHead) {
  TIdBuffer buffer(Bytes("xxabc"));
  buffer.Remove(2);
  EXPECT_EQ(buffer.IndexOf(uint8_t('b')), 1);
  EXPECT_EQ(buffer.PeekByte(0), 'a');
}

TEST(TIdBuffer, ANonNegativeIndexPeeksAndRemovesNothing) {
  TIdBuffer buffer(Bytes("abcde"));
  TIdBytes out;
  buffer.ExtractToBytes(out, 2, true, 1);
  EXPECT_EQ(Text(out), "bc");
  EXPECT_EQ(buffer.Size(), 5);
  buffer.ExtractToBytes(out, -1, false, 2);
  EXPECT_EQ(Text(out), "cde");  // all bytes from the index, not past the end
  EXPECT_THROW(buffer.ExtractToBytes(out, 4, false, 2), EIdNotEnoughDataInBuffer);
  EXPECT_EQ(buffer.ExtractToUInt8(4), 'e');
  EXPECT_EQ(buffer.Size(), 5);
}

// ---- writing, growth and compaction ---------------------------------------------

TEST(TIdBuffer, AFirstWriteTakesTheBytesWithoutSlack) {
  TIdBuffer buffer;
  buffer.Write(Bytes("hello"));
  EXPECT_EQ(buffer.Capacity(), 5);
}

TEST(TIdBuffer, GrowingAddsTheGrowthFactor) {
  TIdBuffer buffer(Bytes("hello"));
  buffer.Write(Bytes("abc"));
  EXPECT_EQ(buffer.Capacity(), 3 + 5 + 2048);
  buffer.Write(Bytes("def"));  // fits the slack
  EXPECT_EQ(buffer.Capacity(), 3 + 5 + 2048);
  EXPECT_EQ(buffer.AsString(), "helloabcdef");
}

TEST(TIdBuffer, RemovingEverythingReleasesTheArray) {
  TIdBuffer buffer(Bytes("hello"));
  buffer.Remove(10);
  EXPECT_EQ(buffer.Size(), 0);
  EXPECT_EQ(buffer.Capacity(), 0);
}

TIdBytes Counting(size_t aCount) {
  TIdBytes bytes(aCount);
  for (size_t i = 0; i < aCount; ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  return bytes;
}

TEST(TIdBuffer, ALargeArrayGivesBackItsConsumedHeadOnceItIsFifteenTimesTheRest) {
  TIdBuffer buffer(Counting(4000000));
  buffer.Remove(3000000);
  EXPECT_EQ(buffer.Capacity(), 4000000);
  buffer.Remove(750000);  // head 3750000 = 15 x 250000 unread
  EXPECT_EQ(buffer.Size(), 250000);
  EXPECT_EQ(buffer.Capacity(), 250000 + 2048);
  EXPECT_EQ(buffer.PeekByte(0), 3750000 % 251);
  EXPECT_EQ(buffer.PeekByte(249999), 3999999 % 251);
}

TEST(TIdBuffer, ASmallArrayKeepsItsRoomAndCompactsWhenAnAppendNeedsIt) {
  TIdBuffer buffer(Counting(10000));
  buffer.Remove(9000);
  EXPECT_EQ(buffer.Capacity(), 10000);
  buffer.Write(Bytes("tail"));  // no room behind the data: the data moves up
  EXPECT_EQ(buffer.Capacity(), 10000);
  EXPECT_EQ(buffer.Size(), 1004);
  EXPECT_EQ(buffer.PeekByte(0), 9000 % 251);
  EXPECT_EQ(buffer.PeekString(1000, 4), "tail");
}

TEST(TIdBuffer, LinesTakenOneByOneFromALargeBufferComeOutIntact) {
  std::string text;
  for (int i = 0; i < 250000; ++i) text += std::to_string(i) + "\n";
  TIdBuffer buffer(Bytes(text));
  for (int i = 0; i < 250000; ++i) {
    const int end = buffer.IndexOf(uint8_t('\n'));
    ASSERT_EQ(buffer.ExtractToString(end), std::to_string(i));
    buffer.Remove(1);
  }
  EXPECT_EQ(buffer.Size(), 0);
}

// ---- appending in place -----------------------------------------------------------

TEST(TIdBuffer, BytesWrittenInPlaceJoinBehindTheUnreadOnesAsFarAsCommitted) {
  TIdBuffer buffer(Bytes("..abc"));
  buffer.Remove(2);
  const std::span<uint8_t> room = buffer.AppendSpace(6);
  ASSERT_EQ(room.size(), 6u);
  std::memcpy(room.data(), "defXYZ", 6);
  buffer.CommitAppend(3);  // the reader got three bytes
  EXPECT_EQ(buffer.AsString(), "abcdef");
}

TEST(TIdBuffer, RoomInAnEmptyBufferStartsAtTheFrontWithTheGrowthFactorBehind) {
  TIdBuffer buffer(100);
  const std::span<uint8_t> room = buffer.AppendSpace(10);
  EXPECT_EQ(buffer.Capacity(), 10 + 100);
  std::memcpy(room.data(), "0123456789", 10);
  buffer.CommitAppend(10);
  buffer.Remove(8);
  // The two bytes left and the next read of ten fit without growing.
  const std::span<uint8_t> next = buffer.AppendSpace(10);
  EXPECT_EQ(buffer.Capacity(), 10 + 100);
  std::memcpy(next.data(), "abcdefghij", 10);
  buffer.CommitAppend(10);
  EXPECT_EQ(buffer.AsString(), "89abcdefghij");
}

TEST(TIdBuffer, RoomIsMadeByMovingTheUnreadBytesUpBeforeGrowing) {
  TIdBuffer buffer(Counting(10000));
  buffer.Remove(9000);
  const std::span<uint8_t> room = buffer.AppendSpace(5000);
  EXPECT_EQ(buffer.Capacity(), 10000);  // 1000 unread + 5000 fit after the move
  std::fill(room.begin(), room.end(), uint8_t{7});
  buffer.CommitAppend(5000);
  EXPECT_EQ(buffer.PeekByte(0), 9000 % 251);
  EXPECT_EQ(buffer.PeekByte(999), 9999 % 251);
  EXPECT_EQ(buffer.PeekByte(1000), 7);
  buffer.AppendSpace(5000);  // 6000 unread + 5000: grows
  EXPECT_EQ(buffer.Capacity(), 6000 + 5000 + 2048);
  EXPECT_EQ(buffer.PeekByte(0), 9000 % 251);
}

TEST(TIdBuffer, RoomThatWouldTakeTheBufferPast2GBIsRefused) {
  TIdBuffer buffer(Bytes("x"));
  EXPECT_THROW(buffer.AppendSpace(INT_MAX), EIdTooMuchDataInBuffer);
}

TEST(TIdBuffer, RemovalsAreReported) {
  std::vector<int> removed;
  TIdBuffer buffer([&](TIdBuffer&, int aBytes) { removed.push_back(aBytes); });
  buffer.Write(Bytes("abcdef"));
  buffer.Remove(2);
  buffer.ExtractToString(3);
  buffer.Remove(5);
  EXPECT_EQ(removed, (std::vector<int>{2, 3, 5}));
}

TEST(TIdBuffer, ADestinationIndexOverwritesFromTheHeadAndExtendsTheSize) {
  TIdBuffer buffer(Bytes("..abcdef"));
  buffer.Remove(2);
  buffer.Write(Bytes("XY"), 1);
  EXPECT_EQ(buffer.AsString(), "aXYdef");
  buffer.Write(Bytes("Z"), 6);
  EXPECT_EQ(buffer.AsString(), "aXYdefZ");
}

TEST(TIdBuffer, IntegersGoInNetworkOrder) {
  TIdBuffer buffer;
  buffer.Write(uint16_t{0x0102});
  buffer.Write(uint32_t{0x03040506});
  buffer.Write(uint64_t{0x0708090A0B0C0D0E});
  buffer.Write(uint8_t{0x0F});
  TIdBytes wire;
  buffer.ExtractToBytes(wire, -1, false, 0);
  EXPECT_EQ(wire, (TIdBytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(buffer.ExtractToUInt16(), 0x0102);
  EXPECT_EQ(buffer.ExtractToUInt32(), 0x03040506u);
  EXPECT_EQ(buffer.ExtractToUInt64(), 0x0708090A0B0C0D0Eu);
  EXPECT_EQ(buffer.ExtractToUInt8(), 0x0F);
  EXPECT_EQ(buffer.Size(), 0);
}

TEST(TIdBuffer, IntegersCanBeTakenWithoutConversion) {
  TIdBuffer buffer(TIdBytes{0x01, 0x02});
  EXPECT_EQ(buffer.ExtractToUInt16(-1, false), std::endian::native == std::endian::little ? 0x0201 : 0x0102);
}

TEST(TIdBuffer, IPv6AddressesRoundTripInNetworkOrder) {
  const TIdIPv6Address address{0x2001, 0x0db8, 0, 0, 0, 0, 0, 1};
  TIdBuffer buffer;
  buffer.Write(address);
  EXPECT_EQ(buffer.PeekByte(0), 0x20);
  EXPECT_EQ(buffer.PeekByte(15), 0x01);
  TIdIPv6Address back{};
  buffer.ExtractToIPv6(-1, back);
  EXPECT_EQ(back, address);
}

// ---- streams and other buffers ----------------------------------------------------

TEST(TIdBuffer, SaveToStreamKeepsTheBytes) {
  TIdBuffer buffer(Bytes("xxabc"));
  buffer.Remove(2);
  TMemoryStream stream;
  buffer.SaveToStream(stream);
  EXPECT_EQ(Text(stream.Bytes()), "abc");
  EXPECT_EQ(buffer.Size(), 3);
}

TEST(TIdBuffer, ExtractToStreamAndToAnotherBuffer) {
  TIdBuffer buffer(Bytes("abcdef"));
  TMemoryStream stream;
  buffer.ExtractToStream(stream, 2, 1);  // peek "bc"
  buffer.ExtractToStream(stream, 3);     // take "abc"
  EXPECT_EQ(Text(stream.Bytes()), "bcabc");
  TIdBuffer other(Bytes(">"));
  buffer.ExtractToIdBuffer(other);
  EXPECT_EQ(other.AsString(), ">def");
  EXPECT_EQ(buffer.Size(), 0);
}

TEST(TIdBuffer, WritingFromAStream) {
  TMemoryStream stream(Bytes("0123456789"));
  TIdBuffer buffer;
  buffer.Write(stream, 0);  // the whole stream, from its start
  stream.SetPosition(7);
  buffer.Write(stream, -1);  // the rest from the position
  stream.SetPosition(2);
  buffer.Write(stream, 3);
  EXPECT_EQ(buffer.AsString(), "0123456789789234");
}

TEST(TIdBuffer, StringsUseTheGivenEncodingElseTheBuffers) {
  TIdBuffer buffer;
  buffer.Write("\xC3\xA9", IdTextEncoding_UTF8());
  EXPECT_EQ(buffer.Size(), 2);
  EXPECT_EQ(buffer.PeekString(0, 2, IdTextEncoding_8Bit()), "\xC3\x83\xC2\xA9");
  buffer.SetEncoding(IdTextEncoding_UTF8());
  EXPECT_EQ(buffer.ExtractToString(), "\xC3\xA9");
  buffer.SetEncoding(nullptr);
  buffer.Write("\xC3\xA9");  // the process default: ASCII
  EXPECT_EQ(buffer.PeekByte(0), '?');
}

TEST(TIdBuffer, EveryBufferHoldsOneUseOfTheStack) {
  const int before = TIdStack::Usage();
  {
    TIdBuffer first;
    TIdBuffer second(Bytes("x"));
    EXPECT_EQ(TIdStack::Usage(), before + 2);
  }
  EXPECT_EQ(TIdStack::Usage(), before);
}

}  // namespace
}  // namespace qtx
