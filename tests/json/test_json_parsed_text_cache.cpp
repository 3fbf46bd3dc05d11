// The text a parsed document keeps to answer Text and Value quickly must never
// go stale: the same edits made to a compact parse (whose texts are kept) and
// to a spaced-out parse of the same JSON (whose texts never are) must give
// the same texts at every step.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "json/qtxJSON.h"

namespace qtx {
namespace {

const char* const kCompact =
    R"({"a":{"b":[1,{"c":"x","d":[true,null,{"e":2}]},[3,4]],"f":{}},"g":[{"h":"y"},{"i":[5]}],"j":"z"})";
const char* const kSpaced =
    "{ \"a\" : { \"b\" : [ 1 , { \"c\" : \"x\" , \"d\" : [ true , null , { \"e\" : 2 } ] } , [ 3 , 4 ] ] ,"
    " \"f\" : { } } , \"g\" : [ { \"h\" : \"y\" } , { \"i\" : [ 5 ] } ] , \"j\" : \"z\" }";

class TRandom {
public:
  explicit TRandom(uint64_t aSeed) : FState(aSeed) {}
  uint32_t Below(uint32_t aLimit) {
    FState = FState * 6364136223846793005u + 1442695040888963407u;
    return aLimit ? static_cast<uint32_t>(FState >> 33) % aLimit : 0;
  }

private:
  uint64_t FState;
};

// Walks down from the document by the given choices and returns the nodes on the way.
std::vector<IqtxObjectJSON> Path(TqtxJSON& aDocument, const std::vector<uint32_t>& aChoices) {
  std::vector<IqtxObjectJSON> path;
  const TqtxJSON* doc = &aDocument;
  for (const uint32_t choice : aChoices) {
    if (doc->Count() == 0) break;
    IqtxObjectJSON node = doc->Item(static_cast<int>(choice % static_cast<uint32_t>(doc->Count())));
    path.push_back(node);
    if (node->JSONType() != qtxJSONObject && node->JSONType() != qtxJSONList) break;
    if (node->Count() == 0) break;
    doc = node->JSONObject().get();
  }
  return path;
}

void Edit(TqtxJSON& aDocument, const std::vector<uint32_t>& aChoices, uint32_t aOperation, int aStep) {
  const std::vector<IqtxObjectJSON> path = Path(aDocument, aChoices);
  if (path.empty()) return;
  TqtxObjectJSON& node = *path.back();
  const std::string tag = "s" + std::to_string(aStep);
  switch (aOperation) {
    case 0: node.SetValue(tag); break;
    case 1: node.JSONObject()->AddPair(tag, aStep); break;
    case 2: node.JSONObject()->SetIsArray(!node.JSONObject()->IsArray()); break;
    case 3: node.Value(); break;
    case 4: node.JSONObject()->Clear(); break;
    case 5: node.JSONObject()->Read(R"({"r":[1,{"q":"w"}]})"); break;
    case 6: node.SetJSONType(node.JSONType() == qtxJSONList ? qtxJSONObject : qtxJSONList); break;
    case 7: node.JSONObject()->AppendObject()->JSONObject()->AddPair("k", tag); break;
    case 8: node.SetName(tag); break;
    case 9: {  // a node from another, short-lived document takes the first place
      TqtxJSON donor;
      donor.Read(R"({"m":{"n":[7]}})");
      node.JSONObject()->SetItem(0, donor.Item(0));
      break;
    }
    default: break;
  }
}

TEST(JSONParsedTextCache, KeptTextNeverDiffersFromWritingTheTreeAfterAnyEdits) {
  for (uint64_t seed = 1; seed <= 200; ++seed) {
    TqtxJSON kept, written;
    kept.Read(kCompact);
    written.Read(kSpaced);
    ASSERT_EQ(kept.Text(), written.Text());
    TRandom random(seed);
    for (int step = 0; step < 12; ++step) {
      std::vector<uint32_t> choices;
      for (uint32_t depth = random.Below(5) + 1; depth > 0; --depth) choices.push_back(random.Below(8));
      const uint32_t operation = random.Below(10);
      Edit(kept, choices, operation, step);
      Edit(written, choices, operation, step);
      ASSERT_EQ(kept.Text(), written.Text()) << "seed " << seed << " step " << step << " operation " << operation;
      const std::vector<IqtxObjectJSON> keptPath = Path(kept, choices), writtenPath = Path(written, choices);
      ASSERT_EQ(keptPath.size(), writtenPath.size());
      for (size_t i = 0; i < keptPath.size(); ++i)
        ASSERT_EQ(keptPath[i]->Value(), writtenPath[i]->Value()) << "seed " << seed << " step " << step;
    }
  }
}

}  // namespace
}  // namespace qtx
