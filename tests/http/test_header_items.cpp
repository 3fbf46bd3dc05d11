#include <gtest/gtest.h>

#include "http/qtxIdHeaderItems.h"

namespace qtx {
namespace {

TEST(HeaderItems, MainItemIsTrimmedTextBeforeSemicolon) {
  EXPECT_EQ(ExtractHeaderItem("  text/html ; charset=x"), "text/html");
  EXPECT_EQ(ExtractHeaderItem("text/plain"), "text/plain");
}

TEST(HeaderItems, ItemsWithoutValueDoNotCount) {
  const auto params = ParseHeaderParams("v; flag; a=; b=\"\"; c=1", QuoteHTTP);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].Name, "b");
  EXPECT_TRUE(params[0].Quoted);
  EXPECT_EQ(params[1].Name, "c");
}

TEST(HeaderItems, AppendedParameterGoesLast) {
  EXPECT_EQ(ReplaceHeaderSubItem("text/plain", "charset", "utf-8", QuoteHTTP), "text/plain; charset=utf-8");
}

TEST(HeaderItems, RemovingAParameterRemovesEveryOccurrence) {
  EXPECT_EQ(ReplaceHeaderSubItem("text/html; charset=a; q=1; CHARSET=b", "charset", " ", QuoteHTTP),
            "text/html; q=1");
}

TEST(HeaderItems, PlainQuotingStillSplitsAtSemicolon) {
  EXPECT_EQ(ExtractHeaderSubItem("v; a=x/y; b=2", "a", QuotePlain), "x/y");
  EXPECT_EQ(ExtractHeaderSubItem("v; a=x/y; b=2", "b", QuotePlain), "2");
}

TEST(HeaderItems, CarriageReturnEscapedUnderMimeOnly) {
  EXPECT_EQ(ReplaceHeaderSubItem("v", "p", "a\rb", QuoteMIME), "v; p=\"a\\\rb\"");
  EXPECT_EQ(ReplaceHeaderSubItem("v", "p", "a\rb", QuoteHTTP), "v; p=\"a\rb\"");
}

TEST(HeaderMediaType, TypeWithoutSubtypeMatchesAnySubtype) {
  EXPECT_TRUE(IsHeaderMediaType("Text/HTML; charset=x", "text"));
  EXPECT_FALSE(IsHeaderMediaType("textual/x", "text"));
  EXPECT_TRUE(IsHeaderMediaType("multipart/form-data; boundary=b", "multipart"));
}

TEST(HeaderMediaType, FullTypeMatchesExactly) {
  EXPECT_TRUE(IsHeaderMediaType("APPLICATION/JSON", "application/json"));
  EXPECT_FALSE(IsHeaderMediaType("application/json-seq", "application/json"));
  EXPECT_TRUE(IsHeaderMediaTypes("text/xml", {"application/xml", "text/xml"}));
}

TEST(HeaderMediaType, SubtypeIsTextAfterSlash) {
  EXPECT_EQ(ExtractHeaderMediaSubType("image/svg+xml; q=1"), "svg+xml");
  EXPECT_EQ(ExtractHeaderMediaSubType("text"), "");
}

}  // namespace
}  // namespace qtx
