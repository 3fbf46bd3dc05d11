// The index of a text that the typed readers take their values from, against
// the document reader: both must hold the same of every text.

#include <gtest/gtest.h>

#include "json/qtxJSON.h"
#include "json/qtxJSONIndex.h"
#include "support/qtxTestJSONCorpus.h"
#include "support/qtxTestJSONShape.h"

namespace qtx {
namespace {

TEST(JSONIndex, HoldsWhatTheDocumentReaderReadsOfEveryCorpusText) {
  const std::vector<std::string> corpus = test::JSONCorpus();
  ASSERT_GE(corpus.size(), 50u);
  for (const std::string& text : corpus) {
    TqtxJSON document;
    document.Read(text);
    const TqtxJSONIndex index(text);
    EXPECT_EQ(test::Describe(index), test::Describe(document)) << text.substr(0, 200);
  }
}

TEST(JSONIndex, MembersAreFoundByExactNameAndChildDocumentsStandAlone) {
  const TqtxJSONIndex index(R"({"a":1,"A":[2,{"b":3}],"a":4})");
  const auto a = index.Find(TqtxJSONIndex::kRoot, "a");
  EXPECT_EQ(index.RawValue(a), "1");
  const auto list = index.Find(TqtxJSONIndex::kRoot, "A");
  EXPECT_EQ(index.Find(TqtxJSONIndex::kRoot, "b"), TqtxJSONIndex::kNone);
  const IqtxJSON child = index.Document(list);
  EXPECT_TRUE(child->IsArray());
  child->Item(0)->SetValue(5);
  EXPECT_EQ(child->Text(), R"([5,{"b":3}])");
  EXPECT_EQ(index.ContainerText(list), R"([2,{"b":3}])");
}

}  // namespace
}  // namespace qtx
