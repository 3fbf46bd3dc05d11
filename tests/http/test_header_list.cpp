#include <gtest/gtest.h>

#include "http/qtxIdHeaderList.h"

namespace qtx {
namespace {

TEST(HeaderListValues, NameLookupIgnoresCase) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Content-Type: text/html");
  EXPECT_EQ(headers.Values("content-type"), "text/html");
  EXPECT_EQ(headers.IndexOfName("CONTENT-TYPE"), 0);
  EXPECT_EQ(headers.Names(0), "Content-Type");
}

TEST(HeaderListValues, FirstOfDuplicatesIsReadAndExtractGivesAll) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetText("Set-Cookie: a=1\r\nDate: x\r\nSet-Cookie: b=2\r\n");
  EXPECT_EQ(headers.Values("Set-Cookie"), "a=1");
  TStringList all;
  headers.Extract("set-cookie", all);
  ASSERT_EQ(all.Count(), 2);
  EXPECT_EQ(all[0], "a=1");
  EXPECT_EQ(all[1], "b=2");
}

TEST(HeaderListValues, ContinuationLineJoinsWithOneSpace) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetText("X-Long: first part  \r\n\t  second part\r\n   third\r\nNext: 1\r\n");
  EXPECT_EQ(headers.Values("X-Long"), "first part second part third");
  EXPECT_EQ(headers.Values("Next"), "1");
}

TEST(HeaderListValues, WithoutUnfoldingContinuationIsNotRead) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetUnfoldLines(false);
  headers.SetText("X-Long: first\r\n second\r\n");
  EXPECT_EQ(headers.Values("X-Long"), "first");
}

TEST(HeaderListValues, LineWithoutColonHasNoName) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("garbage");
  EXPECT_EQ(headers.Names(0), "");
  EXPECT_EQ(headers.IndexOfName("garbage"), -1);
}

TEST(HeaderListSetValues, ReplacesInPlaceAndDropsContinuations) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetText("A: 1\r\nB: old\r\n more\r\nC: 3\r\n");
  headers.SetValues("b", "new");
  EXPECT_EQ(headers.Text(), "A: 1\r\nb: new\r\nC: 3\r\n");
}

TEST(HeaderListSetValues, MissingNameIsAppended) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("A: 1");
  headers.SetValues("B", "2");
  EXPECT_EQ(headers.Text(), "A: 1\r\nB: 2\r\n");
}

TEST(HeaderListSetValues, EmptyValueDeletesHeaderWithContinuations) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetText("A: 1\r\nB: x\r\n y\r\nC: 3\r\n");
  headers.SetValues("B", "");
  EXPECT_EQ(headers.Text(), "A: 1\r\nC: 3\r\n");
}

TEST(HeaderListSetValues, AddValueKeepsDuplicatesAndSkipsEmpty) {
  TIdHeaderList headers(QuoteHTTP);
  headers.AddValue("X", "1");
  headers.AddValue("X", "2");
  headers.AddValue("X", "");
  headers.AddValue("", "3");
  EXPECT_EQ(headers.Text(), "X: 1\r\nX: 2\r\n");
}

TEST(HeaderListFolding, LongValueIsFoldedAndReadsBack) {
  TIdHeaderList headers(QuoteRFC822);
  ASSERT_EQ(headers.FoldLength(), 78);
  std::string value;
  for (int i = 0; i < 30; ++i) value += "word" + std::to_string(i) + ", ";
  value += "end";
  headers.SetValues("X-List", value);
  ASSERT_GT(headers.Count(), 1);
  for (int i = 0; i < headers.Count(); ++i) {
    EXPECT_LE(headers[i].size(), 78u) << headers[i];
    if (i > 0) {
      EXPECT_EQ(headers[i][0], ' ');
    }
    EXPECT_NE(headers[i].back(), ' ');
  }
  EXPECT_EQ(headers.Values("X-List"), value);
}

TEST(HeaderListFolding, HttpListsNeverFold) {
  TIdHeaderList headers(QuoteHTTP);
  const std::string value(300, 'a');
  headers.SetValues("X", value + " " + value);
  EXPECT_EQ(headers.Count(), 1);
}

TEST(HeaderListFolding, WordLongerThanWidthStaysWhole) {
  TIdHeaderList headers(QuotePlain);
  headers.SetFoldLength(20);
  headers.SetValues("X", "short " + std::string(40, 'b') + " tail");
  ASSERT_EQ(headers.Count(), 3);
  EXPECT_EQ(headers[0], "X: short");
  EXPECT_EQ(headers[1], " " + std::string(40, 'b'));
  EXPECT_EQ(headers[2], " tail");
}

TEST(HeaderListParams, QuotedParameterIsUnquoted) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Content-Type: text/plain; charset=\"utf-8\"");
  EXPECT_EQ(headers.Params("Content-Type", "CHARSET"), "utf-8");
}

TEST(HeaderListParams, EscapesInsideQuotesAreResolved) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("X: v; a=\"x\\\"y\\\\z\" junk; b=2");
  EXPECT_EQ(headers.Params("X", "a"), "x\"y\\z");
  EXPECT_EQ(headers.Params("X", "b"), "2");
}

TEST(HeaderListParams, UnquotedValueEndsAtSpecialCharacter) {
  TIdHeaderList http(QuoteHTTP);
  http.Add("X: v; a=b c; d=e");
  EXPECT_EQ(http.Params("X", "a"), "b");
  EXPECT_EQ(http.Params("X", "d"), "e");
  TIdHeaderList rfc822(QuoteRFC822);
  rfc822.Add("X: v; a=1.5");
  EXPECT_EQ(rfc822.Params("X", "a"), "1");
}

TEST(HeaderListParams, ContentTypeUnderRfc822UsesMimeRules) {
  TIdHeaderList headers(QuoteRFC822);
  headers.Add("Content-Type: text/plain; name=file.txt");
  headers.Add("X-Other: v; name=file.txt");
  EXPECT_EQ(headers.Params("Content-Type", "name"), "file.txt");
  EXPECT_EQ(headers.Params("X-Other", "name"), "file");
}

TEST(HeaderListParams, SettingValueWithSpaceQuotesIt) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Content-Disposition: form-data; name=a");
  headers.SetParams("Content-Disposition", "filename", "my file.txt");
  EXPECT_EQ(headers.Values("Content-Disposition"), "form-data; name=a; filename=\"my file.txt\"");
}

TEST(HeaderListParams, QuotedParameterStaysQuotedWhenReplaced) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Content-Type: text/plain; charset=\"utf-8\"; format=flowed");
  headers.SetParams("Content-Type", "charset", "us-ascii");
  EXPECT_EQ(headers.Values("Content-Type"), "text/plain; charset=\"us-ascii\"; format=flowed");
}

TEST(HeaderListParams, QuotedValueEscapesQuoteAndBackslash) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("X: v");
  headers.SetParams("X", "p", "a\"b\\c");
  EXPECT_EQ(headers.Values("X"), "v; p=\"a\\\"b\\\\c\"");
  EXPECT_EQ(headers.Params("X", "p"), "a\"b\\c");
}

TEST(HeaderListParams, EmptyValueRemovesParameter) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Content-Type: text/plain; charset=utf-8; format=flowed");
  headers.SetParams("Content-Type", "charset", "  ");
  EXPECT_EQ(headers.Values("Content-Type"), "text/plain; format=flowed");
}

TEST(HeaderListParams, RemovingMissingParameterLeavesTextAlone) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("X: v ;a=1;;  b=2");
  headers.SetParams("X", "c", "");
  EXPECT_EQ(headers.Values("X"), "v ;a=1;;  b=2");
}

TEST(HeaderListParams, AllParamsReadAndReplace) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Content-Type: text/html ; charset=utf-8; level=1");
  EXPECT_EQ(headers.AllParams("Content-Type"), "charset=utf-8; level=1");
  headers.SetAllParams("Content-Type", "q=2");
  EXPECT_EQ(headers.Values("Content-Type"), "text/html; q=2");
  headers.SetAllParams("Content-Type", "");
  EXPECT_EQ(headers.Values("Content-Type"), "text/html");
  headers.SetAllParams("Missing", "x=1");
  EXPECT_EQ(headers.IndexOfName("Missing"), -1);
}

TEST(HeaderListConversion, StdValuesRoundTrip) {
  TIdHeaderList headers(QuoteHTTP);
  headers.SetText("A: 1\r\nB: two\r\n parts\r\n");
  TStringList plain;
  headers.ConvertToStdValues(plain);
  EXPECT_EQ(plain.Text(), "A=1\r\nB=two parts\r\n");
  TIdHeaderList back(QuoteHTTP);
  back.AddStdValues(plain);
  EXPECT_EQ(back.Text(), "A: 1\r\nB: two parts\r\n");
}

TEST(HeaderListConversion, AddStringsCopiesHeaderListsLineByLine) {
  TIdHeaderList source(QuoteHTTP);
  source.SetText("A: 1\r\n folded\r\n");
  TIdHeaderList target(QuoteHTTP);
  target.AddStrings(source);
  EXPECT_EQ(target.Text(), "A: 1\r\n folded\r\n");
  TStringList plain;
  plain.Add("B=2");
  target.AddStrings(plain);
  EXPECT_EQ(target.Values("B"), "2");
}

TEST(HeaderListConversion, AssignToPlainListConverts) {
  TIdHeaderList headers(QuoteHTTP);
  headers.Add("Host: example.com");
  TStringList plain;
  plain.Add("old");
  headers.AssignTo(plain);
  EXPECT_EQ(plain.Text(), "Host=example.com\r\n");
}

}  // namespace
}  // namespace qtx
