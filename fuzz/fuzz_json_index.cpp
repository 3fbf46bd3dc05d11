// The index the typed readers take their values from, against the document
// reader, over any text: both hold the same members with the same values and
// doubles, and an OpenAI object gives the same fields from either.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "json/qtxJSON.h"
#include "json/qtxJSONIndex.h"
#include "support/qtxTestJSONShape.h"
#include "support/qtxTestTypedProbe.h"

namespace {

void Check(bool aHolds, const char* aWhat) {
  if (aHolds) return;
  std::fprintf(stderr, "the index and the document differ: %s\n", aWhat);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  using namespace qtx;
  const std::string text(reinterpret_cast<const char*>(aData), aSize);

  TqtxJSON shape;
  shape.Read(text);
  Check(test::Describe(TqtxJSONIndex(text)) == test::Describe(shape), "members");

  test::TTypedProbe indexed, documented;
  indexed.Read(text);
  (void)documented.JSON();
  documented.Read(text);
  Check(indexed.Describe(shape) == documented.Describe(shape), "typed fields");
  Check(indexed.AsString() == documented.AsString(), "written text");
  return 0;
}
