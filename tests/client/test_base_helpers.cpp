#include <gtest/gtest.h>

#include "client/qtxBase_Helpers.h"

namespace qtx {
namespace {

TEST(RepairUTF8Text, DecodesUtf8BytesThatWereReadOneCharacterPerByte) {
  EXPECT_EQ(RepairUTF8Text("\xC3\x83\xC2\xA9"), "\xC3\xA9");  // "Ã©" -> "é"
  EXPECT_EQ(RepairUTF8Text("plain"), "plain");
  EXPECT_EQ(RepairUTF8Text(""), "");
}

TEST(RepairUTF8Text, TextThatCannotBeMojibakeComesBackUnchanged) {
  EXPECT_EQ(RepairUTF8Text("\xE2\x82\xAC" "\xC3\xA9"), "\xE2\x82\xAC" "\xC3\xA9");  // "€é"
}

TEST(RepairUTF8Text, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(RepairUTF8Text("\xC3\xA9"), "\xEF\xBF\xBD");  // "é" alone is the lone byte E9
}

}  // namespace
}  // namespace qtx
