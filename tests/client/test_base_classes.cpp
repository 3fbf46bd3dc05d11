#include <gtest/gtest.h>

#include "client/qtxBase_Classes.h"
#include "client/qtxHTTP_Classes.h"

namespace qtx {
namespace {

TEST(TqtxComponent_Base, ReportsTheLibraryVersion) {
  const TqtxHTTPComponentClient_Base component;
  EXPECT_EQ(component.GetVersion(), "2023.3.0");
}

TEST(TqtxComponent_Base, EachStateQueryReadsItsOwnStateBit) {
  TqtxComponent_Base component;
  EXPECT_FALSE(component.IsLoading() || component.IsDestroying() || component.IsDesigning());
  component.IncludeState(csLoading);
  EXPECT_TRUE(component.IsLoading());
  EXPECT_FALSE(component.IsDestroying() || component.IsDesigning());
  component.ExcludeState(csLoading);
  component.IncludeState(csDesigning);
  EXPECT_TRUE(component.IsDesigning());
  EXPECT_FALSE(component.IsLoading() || component.IsDestroying());
  component.ExcludeState(csDesigning);
  component.IncludeState(csReading);
  component.IncludeState(csWriting);
  EXPECT_FALSE(component.IsLoading() || component.IsDestroying() || component.IsDesigning());
}

TEST(TqtxStringStream, ConvertsTextThroughItsEncoding) {
  TqtxStringStream stream("\xE2\x82\xAC" "1", IdTextEncoding_OSDefault());
  EXPECT_EQ(stream.Bytes(), TBytes({0x80, '1'}));
  EXPECT_EQ(stream.DataString(), "\xE2\x82\xAC" "1");
  EXPECT_EQ(stream.Position(), 0);
}

TEST(TqtxStringStream, UsesUtf8WhenNoEncodingIsGiven) {
  TqtxStringStream stream("\xC3\xA9");
  EXPECT_EQ(stream.Encoding().get(), IdTextEncoding_UTF8().get());
  EXPECT_EQ(stream.Bytes(), TBytes({0xC3, 0xA9}));
}

TEST(TqtxStringStream, WritesAtThePositionAndReadsAtMostTheBytesLeft) {
  TqtxStringStream stream(IdTextEncoding_UTF16LE());
  stream.WriteString("ab");
  stream.WriteString("c");
  EXPECT_EQ(stream.Size(), 6);
  stream.SetPosition(2);
  EXPECT_EQ(stream.ReadString(2), "b");
  EXPECT_EQ(stream.ReadString(100), "c");
  EXPECT_EQ(stream.ReadString(100), "");
  stream.SetPosition(50);
  EXPECT_EQ(stream.ReadString(4), "");
}

TEST(TqtxDelimitedStringList, SplitsOnlyAtCommas) {
  TqtxDelimitedStringList list;
  list.SetDelimitedText("a b,c,d e");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "a b");
  EXPECT_EQ(list[1], "c");
  EXPECT_EQ(list[2], "d e");
  EXPECT_EQ(list.Delimiter(), ',');
  EXPECT_TRUE(list.StrictDelimiter());
}

}  // namespace
}  // namespace qtx
