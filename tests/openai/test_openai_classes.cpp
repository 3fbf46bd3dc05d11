// The base of the OpenAI objects: typed readers of a document's members.

#include <gtest/gtest.h>

#include "openai/qtxHTTP_API_OpenAI_Classes.h"
#include "platform/qtxException.h"
#include "support/qtxTestJSONCorpus.h"
#include "support/qtxTestLocale.h"
#include "support/qtxTestTypedProbe.h"

namespace qtx {
namespace {

const char* const kMembers = R"({
  "int": 42, "neg": -7, "frac": 2.5, "exp": 1.5e3, "big": 9007199254740993,
  "text_int": "17", "text": "line\nbreak \u00e9", "word_true": "TRUE",
  "t": true, "f": false, "zero": 0, "one": 1, "nothing": null,
  "object": {"a": [1, 2]}, "list": [true, "x"]
})";

TEST(OpenAIClassReaders, AbsentAndNullMembersReadAsEmptyValues) {
  const TqtxOpenAIClass object(kMembers);
  for (const char* key : {"missing", "nothing"}) {
    EXPECT_FALSE(object.GetJSONBoolean(key));
    EXPECT_EQ(object.GetJSONInteger(key), 0);
    EXPECT_EQ(object.GetJSONInt64(key), 0);
    EXPECT_EQ(object.GetJSONDouble(key), 0);
    EXPECT_EQ(object.GetJSONString(key), "");
  }
}

TEST(OpenAIClassReaders, IntegersAcceptNumbersTextAndRoundFractionsToEven) {
  const TqtxOpenAIClass object(kMembers);
  EXPECT_EQ(object.GetJSONInteger("int"), 42);
  EXPECT_EQ(object.GetJSONInteger("neg"), -7);
  EXPECT_EQ(object.GetJSONInteger("frac"), 2);
  EXPECT_EQ(object.GetJSONInteger("exp"), 1500);
  EXPECT_EQ(object.GetJSONInteger("text_int"), 17);
  EXPECT_EQ(object.GetJSONInt64("big"), 9007199254740993);
  EXPECT_THROW(object.GetJSONInteger("big"), EVariantTypeCastError);
  EXPECT_THROW(object.GetJSONInteger("text"), EVariantTypeCastError);
  EXPECT_THROW(object.GetJSONInteger("t"), EVariantTypeCastError);
  EXPECT_THROW(object.GetJSONInteger("object"), EVariantTypeCastError);
}

TEST(OpenAIClassReaders, BooleansAcceptWordsInAnyCaseAndNumbers) {
  const TqtxOpenAIClass object(kMembers);
  EXPECT_TRUE(object.GetJSONBoolean("t"));
  EXPECT_FALSE(object.GetJSONBoolean("f"));
  EXPECT_TRUE(object.GetJSONBoolean("word_true"));
  EXPECT_TRUE(object.GetJSONBoolean("one"));
  EXPECT_FALSE(object.GetJSONBoolean("zero"));
  EXPECT_THROW(object.GetJSONBoolean("text"), EVariantTypeCastError);
}

TEST(OpenAIClassReaders, DoublesAreReadWithAPointWhateverTheLocale) {
  test::TCommaDecimalLocale locale;
  ASSERT_TRUE(locale.Active());
  const TqtxOpenAIClass object(kMembers);
  EXPECT_EQ(object.GetJSONDouble("frac"), 2.5);
  EXPECT_EQ(object.GetJSONDouble("exp"), 1500);
  EXPECT_EQ(object.GetJSONDouble("text_int"), 17);
  EXPECT_THROW(object.GetJSONDouble("t"), EVariantTypeCastError);
}

TEST(OpenAIClassReaders, StringsAreDecodedAndOtherKindsGiveTheirText) {
  const TqtxOpenAIClass object(kMembers);
  EXPECT_EQ(object.GetJSONString("text"), "line\nbreak \xC3\xA9");
  EXPECT_EQ(object.GetJSONString("exp"), "1.5e3");
  EXPECT_EQ(object.GetJSONString("t"), "true");
  EXPECT_EQ(object.GetJSONString("object"), R"({"a":[1,2]})");
  EXPECT_EQ(object.GetJSONString("list"), R"([true,"x"])");
}

TEST(OpenAIClassReaders, MembersAddedByHandConvertToo) {
  TqtxOpenAIClass object;
  object.JSON().AddPair("n", 5);
  object.JSON().AddPair("d", 0.25);
  object.JSON().AddPair("b", true);
  object.JSON().AddPair("s", "x\\ny");
  EXPECT_EQ(object.GetJSONInteger("n"), 5);
  EXPECT_EQ(object.GetJSONDouble("d"), 0.25);
  EXPECT_EQ(object.GetJSONString("d"), "0.25");
  EXPECT_TRUE(object.GetJSONBoolean("b"));
  EXPECT_EQ(object.GetJSONString("s"), "x\ny");
}

TEST(OpenAIClassReaders, TheBaseReadsAndWritesItsDocumentUnchanged) {
  TqtxOpenAIClass object(R"({"a": [1, {"b": "c"}]})");
  EXPECT_EQ(object.AsString(), R"({"a":[1,{"b":"c"}]})");
}

// Members are taken from an index of the text read, or from its document when
// the object had one before reading: both ways give every reader the same.
TEST(OpenAIClassReaders, TheIndexOfTheTextAndItsDocumentGiveTheSameFields) {
  const std::vector<std::string> corpus = test::JSONCorpus();
  ASSERT_GE(corpus.size(), 50u);
  for (const std::string& text : corpus) {
    TqtxJSON shape;
    shape.Read(text);
    test::TTypedProbe indexed, documented;
    indexed.Read(text);
    (void)documented.JSON();
    documented.Read(text);
    EXPECT_EQ(indexed.Describe(shape), documented.Describe(shape)) << text.substr(0, 200);
    EXPECT_EQ(indexed.AsString(), documented.AsString()) << text.substr(0, 200);
  }
}

}  // namespace
}  // namespace qtx
