// The document model: find-or-add, lookups, node kinds, shared lifetime.

#include <gtest/gtest.h>

#include <cmath>

#include "json/qtxJSON.h"
#include "platform/qtxException.h"

namespace qtx {
namespace {

TEST(JSONDocument, AddingAMemberTwiceKeepsOneNodeAndOnlyChangesItsValue) {
  TqtxJSON doc;
  const IqtxObjectJSON first = doc.AddPair("a", "x");
  const IqtxObjectJSON second = doc.AddPair("a", "y");
  EXPECT_EQ(first, second);
  EXPECT_EQ(doc.Count(), 1);
  EXPECT_EQ(doc.Text(), R"({"a":"y"})");
}

TEST(JSONDocument, FindOrAddKeepsTheKindOfTheExistingNode) {
  TqtxJSON doc;
  doc.AddPair("a", 5);
  doc.AddPair("a", "x");  // still a number node: written unquoted
  EXPECT_EQ(doc.Node("a")->JSONType(), qtxJSONNumber);
  EXPECT_EQ(doc.Text(), R"({"a":x})");
}

TEST(JSONDocument, TextStartingWithABracketIsEmbeddedAsRawJSON) {
  TqtxJSON doc;
  doc.AddPair("x", "[1,2]");
  doc.AddPair("y", "a[");
  doc.AddPair("z", R"({"k":1})");
  EXPECT_EQ(doc.Text(), R"({"x":[1,2],"y":"a[","z":{"k":1}})");
  EXPECT_FALSE(doc.Node("x")->Quoted());
  EXPECT_TRUE(doc.Node("y")->Quoted());
}

TEST(JSONDocument, BooleansAreStoredAsLowerCaseTextAndNameOnlyAddsNull) {
  TqtxJSON doc;
  doc.AddPair("t", true);
  doc.AddPair("f", false);
  doc.AddPair("n");
  EXPECT_EQ(doc.Node("t")->RawValue(), TqtxJSONValue("true"));
  EXPECT_EQ(doc.Node("n")->JSONType(), qtxJSONNull);
  EXPECT_EQ(doc.Text(), R"({"t":true,"f":false,"n":null})");
}

TEST(JSONDocument, NumbersKeepTheirNativeTypeAndWriteWithoutLocale) {
  TqtxJSON doc;
  doc.AddPair("i", int32_t{-7});
  doc.AddPair("l", int64_t{9007199254740993});
  doc.AddPair("d", 0.5);
  doc.AddPair("one", 1.0);
  doc.AddPair("tiny", 0.01);
  EXPECT_EQ(doc.Text(), R"({"i":-7,"l":9007199254740993,"d":0.5,"one":1,"tiny":0.01})");
}

TEST(JSONDocument, NumbersJSONCannotHoldAreWrittenAsNull) {
  TqtxJSON doc;
  doc.AddPair("nan", std::nan(""));
  doc.AddPair("inf", HUGE_VAL);
  EXPECT_EQ(doc.Text(), R"({"nan":null,"inf":null})");
}

TEST(JSONDocument, NodeLookupIsCaseSensitiveAndExact) {
  TqtxJSON doc;
  doc.AddPair("a", 1);
  EXPECT_EQ(doc.Node("A"), nullptr);
  EXPECT_EQ(doc.Node("a "), nullptr);
  EXPECT_NE(doc.Node("a"), nullptr);
}

TEST(JSONDocument, ItemAtCountIsEmptyAndANegativeIndexIsAListError) {
  TqtxJSON doc;
  doc.AddPair("a", 1);
  EXPECT_NE(doc.Item(0), nullptr);
  EXPECT_EQ(doc.Item(1), nullptr);
  EXPECT_THROW(doc.Item(-1), EListError);
}

TEST(JSONDocument, EscapeStringsStoresEscapedNamesSoTheRawNameIsNotFoundAgain) {
  TqtxJSON doc;
  doc.SetEscapeStrings(true);
  doc.AddPair("a\"b", "line\nbreak");
  doc.AddPair("a\"b", "again");
  EXPECT_EQ(doc.Count(), 2);
  EXPECT_EQ(doc.Item(0)->Name(), "a\\\"b");
  EXPECT_EQ(doc.Text(), R"({"a\"b":"line\nbreak","a\"b":"again"})");
}

TEST(JSONDocument, EscapeStringsIsOffByDefaultSoTextIsWrittenAsStored) {
  TqtxJSON doc;
  doc.AddPair("q", "say \"hi\"");
  EXPECT_EQ(doc.Text(), R"({"q":"say "hi""})");
}

TEST(JSONDocument, AddObjectAndAddArrayReadTheirTextIntoTheChild) {
  TqtxJSON doc;
  doc.AddObject("o", R"({"x":1})");
  doc.AddArray("l", "[1,2]");
  doc.AddArray("e");
  EXPECT_EQ(doc.Node("o")->Node("x")->RawValue(), TqtxJSONValue("1"));
  EXPECT_EQ(doc.Node("l")->Count(), 2);
  EXPECT_EQ(doc.Text(), R"({"o":{"x":1},"l":[1,2],"e":[]})");
}

TEST(JSONDocument, AnEmptyNameFindsTheFirstUnnamedNodeButAppendAddsAnother) {
  TqtxJSON doc;
  doc.SetIsArray(true);
  doc.AppendObject()->JSONObject()->AddPair("k", 1);
  doc.AppendObject()->JSONObject()->AddPair("k", 2);
  EXPECT_EQ(doc.AddObject("", ""), doc.Item(0));
  EXPECT_EQ(doc.Count(), 2);
  doc.AppendPair("", 0.5);
  doc.AppendPair("", 0.5);
  EXPECT_EQ(doc.Text(), R"([{"k":1},{"k":2},0.5,0.5])");
}

TEST(JSONDocument, AChildIsCreatedOnDemandAndTurnsAScalarNodeIntoAnObject) {
  TqtxJSON doc;
  const IqtxObjectJSON node = doc.AddPair("s", "x");
  EXPECT_EQ(node->Count(), 0);
  EXPECT_EQ(node->Node("missing"), nullptr);
  EXPECT_EQ(node->JSONType(), qtxJSONObject);
  EXPECT_EQ(doc.Text(), R"({"s":{}})");
}

TEST(JSONDocument, SetItemAndSetNodeReplaceOnlyExistingEntries) {
  TqtxJSON doc;
  doc.AddPair("a", 1);
  doc.AddPair("b", 2);
  TqtxJSON other;
  const IqtxObjectJSON c = other.AddPair("c", 3);
  doc.SetItem(0, c);
  doc.SetItem(5, c);
  doc.SetNode("b", other.AddPair("d", 4));
  doc.SetNode("zz", c);
  EXPECT_EQ(doc.Text(), R"({"c":3,"d":4})");
}

TEST(JSONDocument, ANodeACallerHoldsOutlivesClearAndTheDocument) {
  IqtxObjectJSON kept;
  {
    auto doc = std::make_shared<TqtxJSON>();
    doc->Read(R"({"a":{"b":[1,2]}})");
    kept = doc->Node("a");
    doc->Clear();
    EXPECT_EQ(doc->Count(), 0);
  }
  EXPECT_EQ(kept->Name(), "a");
  EXPECT_EQ(kept->Value().Text(), R"({"b":[1,2]})");
  kept->JSONObject()->AddPair("c", true);  // the detached node still works
  EXPECT_EQ(kept->Value().Text(), R"({"b":[1,2],"c":true})");
}

TEST(JSONDocument, AChildDocumentACallerHoldsOutlivesItsNode) {
  IqtxJSON child;
  {
    TqtxJSON doc;
    child = doc.AddObject("o", R"({"x":1})")->JSONObject();
  }
  child->AddPair("y", 2);
  EXPECT_EQ(child->Text(), R"({"x":1,"y":2})");
}

TEST(JSONDocument, ValueOfAListSwitchesItsChildToAnArrayForGood) {
  TqtxJSON doc;
  doc.Read(R"({"l":[1,"x"]})");
  const IqtxObjectJSON list = doc.Node("l");
  EXPECT_FALSE(list->JSONObject()->IsArray());
  EXPECT_EQ(list->JSONObject()->Text(), R"({"":1,"":"x"})");
  EXPECT_EQ(list->Value().Text(), R"([1,"x"])");
  EXPECT_TRUE(list->JSONObject()->IsArray());
  EXPECT_EQ(list->JSONObject()->Text(), R"([1,"x"])");
}

TEST(JSONDocument, SetValueChangesOnlyTheValue) {
  TqtxJSON doc;
  const IqtxObjectJSON node = doc.AddPair("a", "[raw]");
  node->SetValue(42);
  EXPECT_EQ(node->JSONType(), qtxJSONString);
  EXPECT_FALSE(node->Quoted());
  EXPECT_EQ(doc.Text(), R"({"a":42})");
}

TEST(JSONDocument, AnUndefinedNodeWritesNothingAndNoDoubleComma) {
  TqtxJSON doc;
  doc.AddPair("a", 1);
  doc.AddPair("b", 2)->SetJSONType(qtxJSONUndefined);
  doc.AddPair("c", 3);
  EXPECT_EQ(doc.Text(), R"({"a":1,"c":3})");
}

TEST(JSONDocument, WriteNodeLeavesTheNameOutInsideArrays) {
  TqtxJSON doc;
  const IqtxObjectJSON node = doc.AddPair("k", "v");
  EXPECT_EQ(doc.WriteNode(*node, false), R"("k":"v")");
  EXPECT_EQ(doc.WriteNode(*node, true), R"("v")");
}

}  // namespace
}  // namespace qtx
