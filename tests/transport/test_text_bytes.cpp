#include <gtest/gtest.h>

#include "transport/qtxIdTextBytes.h"

namespace qtx {
namespace {

TEST(TextBytes, AHighByteAnywhereInARunIsSeen) {
  for (size_t length = 0; length <= 70; ++length) {
    TIdBytes run(length, 'a');
    EXPECT_TRUE(AllBelow0x80(run.data(), length)) << length;
    for (size_t at = 0; at < length; ++at) {
      run[at] = 0x80;
      EXPECT_FALSE(AllBelow0x80(run.data(), length)) << length << " " << at;
      run[at] = 'a';
    }
  }
}

TEST(TextBytes, OnlyTheSharedASCIICompatibleEncodingsAreCopiedStraight) {
  EXPECT_TRUE(MapsASCIIToItself(*IdTextEncoding_ASCII()));
  EXPECT_TRUE(MapsASCIIToItself(*IdTextEncoding_UTF8()));
  EXPECT_TRUE(MapsASCIIToItself(*IdTextEncoding_8Bit()));
  EXPECT_FALSE(MapsASCIIToItself(*IdTextEncoding_UTF16LE()));
  const TIdBytes utf16{'a', 0, 'b', 0};
  EXPECT_EQ(DecodeBytes(utf16.data(), 4, *IdTextEncoding_UTF16LE(), false), "ab");
  const TIdBytes latin1{'f', 0xFC, 'r'};
  EXPECT_EQ(DecodeBytes(latin1.data(), 3, *IdTextEncoding_8Bit(), true), "f\xC3\xBCr");
}

}  // namespace
}  // namespace qtx
