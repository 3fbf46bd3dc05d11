// Reading JSON text into documents and writing it back.

#include <gtest/gtest.h>

#include <string>

#include "json/qtxJSON.h"
#include "support/qtxTestLocale.h"

namespace qtx {
namespace {

std::string RoundTrip(std::string_view aText) {
  TqtxJSON doc;
  doc.Read(aText);
  return doc.Text();
}

TEST(JSONReader, AnArrayIsRecognisedOnlyByTheVeryFirstCharacter) {
  TqtxJSON doc;
  doc.Read(" [1,2]");
  EXPECT_EQ(doc.Count(), 0);
  EXPECT_FALSE(doc.IsArray());
  doc.Read("[1,2]");
  EXPECT_TRUE(doc.IsArray());
  EXPECT_EQ(doc.Count(), 2);
  EXPECT_EQ(doc.Text(), "[1,2]");
}

TEST(JSONReader, EmptyTextGivesAnEmptyObject) {
  EXPECT_EQ(RoundTrip(""), "{}");
  TqtxJSON doc;
  doc.Read("[1]");
  doc.Read("");
  EXPECT_FALSE(doc.IsArray());
  EXPECT_EQ(doc.Text(), "{}");
}

TEST(JSONReader, TextAfterTheTopLevelValueIsIgnored) {
  EXPECT_EQ(RoundTrip(R"({"a":1} trailing {"b":2})"), R"({"a":1})");
}

TEST(JSONReader, CommasBetweenMembersAreOptionalAndMayTrail) {
  EXPECT_EQ(RoundTrip(R"({"a":1 "b":2})"), R"({"a":1,"b":2})");
  EXPECT_EQ(RoundTrip(R"({"a":1,})"), R"({"a":1})");
  EXPECT_EQ(RoundTrip(R"([1 2,])"), "[1,2]");
}

TEST(JSONReader, WordsAreReadWithoutRegardToCase) {
  EXPECT_EQ(RoundTrip(R"({"a":TRUE,"b":False,"c":NuLl})"), R"({"a":true,"b":false,"c":null})");
  EXPECT_EQ(RoundTrip(R"({"a":tru})"), "{}");
}

TEST(JSONReader, StringsKeepTheirEscapesAsWritten) {
  TqtxJSON doc;
  doc.Read(R"({"s":"x\"y\u00e9\n"})");
  EXPECT_EQ(doc.Node("s")->RawValue(), TqtxJSONValue(R"(x\"y\u00e9\n)"));
  EXPECT_EQ(doc.Text(), R"({"s":"x\"y\u00e9\n"})");
}

TEST(JSONReader, NumbersKeepTheirTextAndMayNotStartWithAPoint) {
  TqtxJSON doc;
  doc.Read(R"({"n":-01.50E+3})");
  EXPECT_EQ(doc.Node("n")->RawValue(), TqtxJSONValue("-01.50E+3"));
  EXPECT_EQ(doc.Text(), R"({"n":-01.50E+3})");
  EXPECT_EQ(RoundTrip(R"({"n":.5})"), "{}");
  EXPECT_EQ(RoundTrip(R"({"n":1.})"), "{}");
  EXPECT_EQ(RoundTrip(R"({"n":1e})"), "{}");
}

TEST(JSONReader, ASyntaxErrorLeavesTheNodesCompletedBeforeIt) {
  TqtxJSON doc;
  doc.Read(R"({"a":1, "b":{"x":}, "c":2})");
  ASSERT_EQ(doc.Count(), 2);
  EXPECT_EQ(doc.Node("a")->RawValue(), TqtxJSONValue("1"));
  EXPECT_EQ(doc.Node("b")->JSONType(), qtxJSONObject);
  EXPECT_EQ(doc.Node("b")->Count(), 0);
  EXPECT_EQ(doc.Node("c"), nullptr);
  EXPECT_EQ(doc.Text(), R"({"a":1,"b":{}})");
}

TEST(JSONReader, ADuplicateKeyGivesTwoNodesAndLookupFindsTheFirst) {
  TqtxJSON doc;
  doc.Read(R"({"a":1,"a":2})");
  EXPECT_EQ(doc.Count(), 2);
  EXPECT_EQ(doc.Node("a")->RawValue(), TqtxJSONValue("1"));
}

TEST(JSONReader, HashCommentsRunToTheEndOfTheLine) {
  EXPECT_EQ(RoundTrip("{\"a\":1,\n# a comment, with \"quotes\" and }\n\"b\":2}"), R"({"a":1,"b":2})");
}

TEST(JSONReader, VerticalTabIsNotWhitespace) {
  EXPECT_EQ(RoundTrip("{\"a\":\v1}"), "{}");
  EXPECT_EQ(RoundTrip("{\"a\":\f\t\r\n 1}"), R"({"a":1})");
}

TEST(JSONReader, AUnicodeEscapeNeedsFourFollowingUtf16Units) {
  // An emoji is two UTF-16 units: with the closing quote that makes three.
  EXPECT_EQ(RoundTrip("{\"a\":\"\\u\xF0\x9F\x98\x80\"}"), "{}");
  EXPECT_EQ(RoundTrip("{\"a\":\"\\u\xF0\x9F\x98\x80" "ab\"}"), "{\"a\":\"\\u\xF0\x9F\x98\x80" "ab\"}");
  EXPECT_EQ(RoundTrip(R"({"a":"\u12"})"), "{}");
  EXPECT_EQ(RoundTrip(R"({"a":"\uzzzz"})"), R"({"a":"\uzzzz"})");
}

TEST(JSONReader, AQuoteAfterAnEscapedBackslashClosesOnlyBeforeACloser) {
  TqtxJSON doc;
  doc.Read(R"({"a":"x\\","b":1})");
  EXPECT_EQ(doc.Node("a")->RawValue(), TqtxJSONValue(R"(x\\)"));
  EXPECT_EQ(doc.Count(), 2);
  // Followed by a blank, the quote is text: the string runs on to the next quote.
  doc.Read(R"({"a":"x\\" ,"b":1})");
  ASSERT_EQ(doc.Count(), 1);
  EXPECT_EQ(doc.Node("a")->RawValue(), TqtxJSONValue(R"(x\\" ,)"));
}

TEST(JSONReader, NonAsciiTextIsStoredAsUtf8Unchanged) {
  TqtxJSON doc;
  doc.Read("{\"caf\xC3\xA9\":\"\xE2\x82\xAC \xF0\x9F\x98\x80\"}");
  EXPECT_EQ(doc.Node("caf\xC3\xA9")->RawValue(), TqtxJSONValue("\xE2\x82\xAC \xF0\x9F\x98\x80"));
}

TEST(JSONReader, DeepNestingEndsTheReadingInsteadOfExhaustingTheStack) {
  const std::string deep = "{\"a\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
  TqtxJSON doc;
  doc.Read(deep);
  EXPECT_LE(doc.Count(), 1);
  const std::string fine = "{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}";
  EXPECT_EQ(RoundTrip(fine), fine);
}

TEST(JSONWriter, AnEmptyObjectNodeWritesEmptyBracesAndAnEmptyArrayDocumentBrackets) {
  TqtxJSON doc;
  doc.AddObject("o");
  EXPECT_EQ(doc.Text(), R"({"o":{}})");
  TqtxJSON array;
  array.SetIsArray(true);
  EXPECT_EQ(array.Text(), "[]");
}

TEST(JSONWriter, AnArrayDocumentWritesItsNodesWithoutNames) {
  TqtxJSON doc;
  doc.SetIsArray(true);
  doc.AddPair("ignored", 1);
  doc.AddPair("x", "x");
  doc.AddPair("t", true);
  EXPECT_EQ(doc.Text(), R"([1,"x",true])");
}

TEST(JSONWriter, ARequestShapedDocumentIsWrittenCompactly) {
  TqtxJSON doc;
  doc.AddPair("model", "m");
  doc.AddArray("messages")->JSONObject()->AppendObject()->JSONObject()->AddPair("role", "user");
  EXPECT_EQ(doc.Text(), R"({"model":"m","messages":[{"role":"user"}]})");
}

TEST(JSONWriter, WhitespaceAndCommentsAreDroppedWhenWriting) {
  EXPECT_EQ(RoundTrip("{ \"a\" : [ 1 , { \"b\" : \"c d\" } ] ,\n # note\n \"e\" : { } }"),
            R"({"a":[1,{"b":"c d"}],"e":{}})");
}

TEST(JSONWriter, ANodeOfNoKindWritesNothingAndNoComma) {
  for (const bool isArray : {false, true}) {
    for (int undefined = 0; undefined < 3; ++undefined) {
      TqtxJSON doc;
      doc.SetIsArray(isArray);
      IqtxObjectJSON nodes[] = {doc.AddPair("a", 1), doc.AddPair("b", 2), doc.AddPair("c", 3)};
      nodes[undefined]->SetJSONType(qtxJSONUndefined);
      std::string expected;
      for (int i = 0; i < 3; ++i) {
        if (i == undefined) continue;
        if (!expected.empty()) expected += ',';
        expected += (isArray ? "" : "\"" + nodes[i]->Name() + "\":") + std::to_string(i + 1);
      }
      EXPECT_EQ(doc.Text(), (isArray ? "[" : "{") + expected + (isArray ? "]" : "}")) << "node " << undefined;
    }
  }
}

TEST(JSONWriter, DoublesAreWrittenWithAPointUnderACommaLocale) {
  test::TCommaDecimalLocale locale;
  ASSERT_TRUE(locale.Active());
  TqtxJSON doc;
  doc.AddPair("t", 0.7);
  doc.AddPair("w", 0.01);
  doc.AddPair("big", 1.5e20);
  EXPECT_EQ(doc.Text(), R"({"t":0.7,"w":0.01,"big":1.5E20})");
}

// The text of a parsed child is the text it was read from where writing
// would give the same; any later change shows in every enclosing text.
TEST(JSONParsedText, ValueOfAParsedChildIsItsCompactText) {
  TqtxJSON doc;
  doc.Read(R"({"o":{"k":[1,2,{"x":"y"}]},"p":{ "k" : TRUE }})");
  EXPECT_EQ(doc.Node("o")->Value().Text(), R"({"k":[1,2,{"x":"y"}]})");
  EXPECT_EQ(doc.Node("p")->Value().Text(), R"({"k":true})");
  EXPECT_EQ(doc.Node("o")->Node("k")->Value().Text(), "[1,2,{\"x\":\"y\"}]");
}

TEST(JSONParsedText, AChangeDeepDownShowsInEveryEnclosingText) {
  TqtxJSON doc;
  doc.Read(R"({"a":{"b":{"c":[1,{"d":2}]}}})");
  const IqtxObjectJSON a = doc.Node("a");
  const IqtxObjectJSON d = a->Node("b")->Node("c")->Item(1)->Node("d");
  d->SetValue(3);
  EXPECT_EQ(doc.Text(), R"({"a":{"b":{"c":[1,{"d":3}]}}})");
  EXPECT_EQ(a->Value().Text(), R"({"b":{"c":[1,{"d":3}]}})");
  a->Node("b")->Node("c")->JSONObject()->AppendPair("", 9.0);
  EXPECT_EQ(doc.Text(), R"({"a":{"b":{"c":[1,{"d":3},9]}}})");
}

TEST(JSONParsedText, ReplacingOrClearingAChildShowsInTheParentText) {
  TqtxJSON doc;
  doc.Read(R"({"a":{"x":1},"b":[1]})");
  doc.Node("a")->JSONObject()->Clear();
  EXPECT_EQ(doc.Text(), R"({"a":{},"b":[1]})");
  auto other = std::make_shared<TqtxJSON>();
  other->Read(R"({"y":2})");
  doc.Node("b")->SetJSONObject(other);
  doc.Node("b")->SetJSONType(qtxJSONObject);
  EXPECT_EQ(doc.Text(), R"({"a":{},"b":{"y":2}})");
}

TEST(JSONParsedText, TurningAnObjectsChildIntoAnArrayShowsInTheParentText) {
  TqtxJSON doc;
  doc.Read(R"({"o":{"x":1}})");
  doc.Node("o")->JSONObject()->SetIsArray(true);
  EXPECT_EQ(doc.Text(), R"({"o":[1]})");
}

TEST(JSONParsedText, ReadingIntoAChildShowsInTheParentText) {
  TqtxJSON doc;
  doc.Read(R"({"o":{"x":1}})");
  doc.Node("o")->JSONObject()->Read(R"({"z":0})");
  EXPECT_EQ(doc.Text(), R"({"o":{"z":0}})");
}

TEST(JSONParsedText, ANodeMovedIntoAnotherDocumentStillShowsItsChanges) {
  TqtxJSON a, b;
  a.Read(R"({"n":{"v":1}})");
  b.Read(R"({"m":0})");
  const IqtxObjectJSON n = a.Node("n");
  b.SetItem(0, n);
  n->JSONObject()->AddPair("w", 2);
  EXPECT_EQ(a.Text(), R"({"n":{"v":1,"w":2}})");
  EXPECT_EQ(b.Text(), R"({"n":{"v":1,"w":2}})");
}

TEST(JSONParsedText, AListMemberWithAnEmptyNameKeepsItsName) {
  EXPECT_EQ(RoundTrip(R"({"":[1],"a":2})"), R"({"":[1],"a":2})");
  TqtxJSON built;
  built.AddArray("")->JSONObject()->AddPair("x", 1);
  EXPECT_EQ(built.Text(), R"({"":[1]})");
}

}  // namespace
}  // namespace qtx
