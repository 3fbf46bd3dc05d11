#include <gtest/gtest.h>

#include "http/qtxIdURI.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::Raised;

TEST(URIParse, FullUrlSplitsIntoEveryPart) {
  TIdURI uri("https://u:p@example.com:8443/a/b/c.txt?x=1#top");
  EXPECT_EQ(uri.Protocol(), "https");
  EXPECT_EQ(uri.Username(), "u");
  EXPECT_EQ(uri.Password(), "p");
  EXPECT_EQ(uri.Host(), "example.com");
  EXPECT_EQ(uri.Port(), "8443");
  EXPECT_EQ(uri.Path(), "/a/b/");
  EXPECT_EQ(uri.Document(), "c.txt");
  EXPECT_EQ(uri.Params(), "x=1");
  EXPECT_EQ(uri.Bookmark(), "top");
  EXPECT_EQ(uri.IPVersion(), Id_IPv4);
}

TEST(URIParse, ReadingURIDropsCredentialsAndBookmark) {
  TIdURI uri("https://u:p@example.com:8443/a/b/c.txt?x=1#top");
  EXPECT_EQ(uri.URI(), "https://example.com:8443/a/b/c.txt?x=1");
  EXPECT_EQ(uri.GetFullURI(), "https://u:p@example.com:8443/a/b/c.txt?x=1#top");
}

TEST(URIParse, EmptyUserNameDropsThePassword) {
  TIdURI uri("http://:secret@host/");
  EXPECT_EQ(uri.Username(), "");
  EXPECT_EQ(uri.Password(), "");
  EXPECT_EQ(uri.Host(), "host");
}

TEST(URIParse, LastAtSignEndsTheCredentials) {
  TIdURI uri("http://me@corp:pw@host/x");
  EXPECT_EQ(uri.Username(), "me@corp");
  EXPECT_EQ(uri.Password(), "pw");
  EXPECT_EQ(uri.Host(), "host");
}

TEST(URIParse, HostWithoutPathGetsRootPath) {
  TIdURI uri("http://example.com");
  EXPECT_EQ(uri.Host(), "example.com");
  EXPECT_EQ(uri.Path(), "/");
  EXPECT_EQ(uri.Document(), "");
}

TEST(URIParse, QueryDirectlyAfterHost) {
  TIdURI uri("http://example.com?q=1");
  EXPECT_EQ(uri.Host(), "example.com");
  EXPECT_EQ(uri.Path(), "/");
  EXPECT_EQ(uri.Params(), "q=1");
}

TEST(URIParse, IPv6HostInBrackets) {
  TIdURI uri("http://[2001:db8::1]:8080/p");
  EXPECT_EQ(uri.Host(), "2001:db8::1");
  EXPECT_EQ(uri.IPVersion(), Id_IPv6);
  EXPECT_EQ(uri.Port(), "8080");
  EXPECT_EQ(uri.URI(), "http://[2001:db8::1]:8080/p");
}

TEST(URIParse, SchemelessAuthority) {
  TIdURI uri("//example.com/dir/page");
  EXPECT_EQ(uri.Protocol(), "");
  EXPECT_EQ(uri.Host(), "example.com");
  EXPECT_EQ(uri.Path(), "/dir/");
  EXPECT_EQ(uri.Document(), "page");
}

TEST(URIParse, RelativeTextWithoutAuthority) {
  TIdURI uri("dir/page.html?x=1");
  EXPECT_EQ(uri.Host(), "");
  EXPECT_EQ(uri.Path(), "dir/");
  EXPECT_EQ(uri.Document(), "page.html");
  EXPECT_EQ(uri.Params(), "x=1");
}

TEST(URIParse, RelativeTextWithBookmarkOnly) {
  TIdURI uri("/a/b#frag");
  EXPECT_EQ(uri.Path(), "/a/");
  EXPECT_EQ(uri.Document(), "b");
  EXPECT_EQ(uri.Bookmark(), "frag");
}

TEST(URIParse, BookmarkContainingQuestionMarkStaysBookmark) {
  TIdURI uri("http://h/page#sec?x");
  EXPECT_EQ(uri.Document(), "page");
  EXPECT_EQ(uri.Params(), "");
  EXPECT_EQ(uri.Bookmark(), "sec?x");
}

TEST(URIParse, FullUrlInTheQueryOfARelativeUrlIsNoScheme) {
  TIdURI uri("/login?next=http://other/x");
  EXPECT_EQ(uri.Protocol(), "");
  EXPECT_EQ(uri.Host(), "");
  EXPECT_EQ(uri.Path(), "/");
  EXPECT_EQ(uri.Document(), "login");
  EXPECT_EQ(uri.Params(), "next=http://other/x");
}

TEST(URIParse, BackslashesInThePathBecomeSlashesButNotInTheQuery) {
  TIdURI uri("http://host\\dir\\file.txt?a=b\\c");
  EXPECT_EQ(uri.Host(), "host");
  EXPECT_EQ(uri.Path(), "/dir/");
  EXPECT_EQ(uri.Document(), "file.txt");
  EXPECT_EQ(uri.Params(), "a=b\\c");
}

TEST(URIParse, SettingAgainClearsOldParts) {
  TIdURI uri("https://u:p@h:1/a/b?x#y");
  uri.SetURI("http://other/");
  EXPECT_EQ(uri.Username(), "");
  EXPECT_EQ(uri.Port(), "");
  EXPECT_EQ(uri.Params(), "");
  EXPECT_EQ(uri.Bookmark(), "");
  EXPECT_EQ(uri.Document(), "");
}

TEST(URINormalizePath, BackslashesAfterSchemeUpToQuery) {
  EXPECT_EQ(TIdURI::NormalizePath("http:\\\\host\\a\\b?c\\d"), "http:\\\\host/a/b?c\\d");
  EXPECT_EQ(TIdURI::NormalizePath("a\\b#c\\d"), "a/b#c\\d");
}

TEST(URIBuild, DefaultPortsAreLeftOut) {
  EXPECT_EQ(TIdURI("http://h:80/x").URI(), "http://h/x");
  EXPECT_EQ(TIdURI("HTTPS://h:443/x").URI(), "HTTPS://h/x");
  EXPECT_EQ(TIdURI("ftp://h:21/x").URI(), "ftp://h/x");
}

TEST(URIBuild, OtherPortsAreKept) {
  EXPECT_EQ(TIdURI("http://h:443/x").URI(), "http://h:443/x");
  EXPECT_EQ(TIdURI("ws://h:80/x").URI(), "ws://h:80/x");
}

TEST(URIBuild, PasswordOnlyWrittenWhenPresent) {
  TIdURI uri("http://user@h/x");
  EXPECT_EQ(uri.GetFullURI(ofAuthInfo), "http://user@h/x");
}

TEST(URIBuild, MissingProtocolOrHostRaises) {
  TIdURI relative("dir/page.html");
  const auto noProtocol = Raised<EIdURIException>([&] { relative.URI(); });
  EXPECT_STREQ(noProtocol.what(), "Protocol field is empty");
  TIdURI noHost;
  noHost.SetProtocol("http");
  const auto hostMissing = Raised<EIdURIException>([&] { noHost.URI(); });
  EXPECT_STREQ(hostMissing.what(), "Host field is empty");
}

TEST(URIBuild, PathAndParams) {
  TIdURI uri("http://h/a/b?x=1");
  EXPECT_EQ(uri.GetPathAndParams(), "/a/b?x=1");
  uri.SetParams("");
  EXPECT_EQ(uri.GetPathAndParams(), "/a/b");
}

TEST(URIMergePath, ParentSegmentRemovesOneLevel) { EXPECT_EQ(TIdURI::MergePath("/a/b/", "../c/d"), "/a/c/d"); }

TEST(URIMergePath, EmptyNewPathKeepsBase) { EXPECT_EQ(TIdURI::MergePath("/a/b/", ""), "/a/b/"); }

TEST(URIMergePath, AbsoluteNewPathReplaces) { EXPECT_EQ(TIdURI::MergePath("/a/b/", "/x/"), "/x/"); }

TEST(URIMergePath, SingleDotSegmentIsKept) { EXPECT_EQ(TIdURI::MergePath("/a/", "x/./y"), "/a/x/./y"); }

TEST(URIMergePath, SlashRunsCollapseAndBaseGetsSlash) { EXPECT_EQ(TIdURI::MergePath("/a/b", "c//d/"), "/a/b/c/d/"); }

TEST(URIMergePath, ParentAboveRootStaysAtRoot) {
  EXPECT_EQ(TIdURI::MergePath("/", "../../x"), "/x");
  EXPECT_EQ(TIdURI::MergePath("/", ".."), "/");
}

TEST(URIMergePath, DotDotInsideASegmentNameIsAName) { EXPECT_EQ(TIdURI::MergePath("/a/b/", "..x/y"), "/a/b/..x/y"); }

TEST(URIMergePath, TrailingSlashOnlyWhenNewPathHadOne) { EXPECT_EQ(TIdURI::MergePath("/a/b/", "c/.."), "/a/b"); }

TEST(URIEncode, PathEncodesSpaceAndPlus) { EXPECT_EQ(TIdURI::PathEncode("a b+c"), "a%20b%2Bc"); }

TEST(URIEncode, ParamsKeepPlusButEncodeSpace) { EXPECT_EQ(TIdURI::ParamsEncode("a b+c"), "a%20b+c"); }

TEST(URIEncode, ExistingEscapeSurvivesButLonePercentIsEncoded) {
  EXPECT_EQ(TIdURI::PathEncode("%41%zz"), "%41%25zz");
}

TEST(URIEncode, UnsafeCharactersAreEscaped) {
  EXPECT_EQ(TIdURI::ParamsEncode("<>#\"{}|\\^[]`*"), "%3C%3E%23%22%7B%7D%7C%5C%5E%5B%5D%60%2A");
}

TEST(URIEncode, NonAsciiCharacterIsEncodedAsItsUtf8Bytes) {
  EXPECT_EQ(TIdURI::PathEncode("\xE2\x82\xAC"), "%E2%82%AC");
  EXPECT_EQ(TIdURI::ParamsEncode("x=\xF0\x9F\x98\x80"), "x=%F0%9F%98%80");
}

TEST(URIEncode, URLEncodeEncodesPartsAndDropsCredentials) {
  EXPECT_EQ(TIdURI::URLEncode("http://u:p@h/a b/c+d.txt?q=a b+c#frag"), "http://h/a%20b/c%2Bd.txt?q=a%20b+c");
}

TEST(URIDecode, EscapedUtf8BytesBecomeTheCharacter) {
  EXPECT_EQ(TIdURI::URLDecode("%E2%82%AC"), "\xE2\x82\xAC");
}

TEST(URIDecode, PercentUFormIsAUtf16CodeUnit) {
  EXPECT_EQ(TIdURI::URLDecode("%u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(TIdURI::URLDecode("%U20ac"), "\xE2\x82\xAC");
}

TEST(URIDecode, PercentUSurrogatePairIsOneCharacter) {
  EXPECT_EQ(TIdURI::URLDecode("%uD83D%uDE00"), "\xF0\x9F\x98\x80");
}

TEST(URIDecode, PlusStaysPlus) { EXPECT_EQ(TIdURI::URLDecode("a+b%20c"), "a+b c"); }

TEST(URIDecode, MalformedEscapesAreDropped) {
  EXPECT_EQ(TIdURI::URLDecode("a%zzb"), "ab");
  EXPECT_EQ(TIdURI::URLDecode("a%uXYZ1b"), "ab");
  EXPECT_EQ(TIdURI::URLDecode("a%4"), "a");
}

TEST(URIDecode, LiteralNonAsciiCharacterSurvives) { EXPECT_EQ(TIdURI::URLDecode("caf\xC3\xA9%20x"), "caf\xC3\xA9 x"); }

TEST(URIDecode, OtherEncodingDecodesBytesItsOwnWay) {
  EXPECT_EQ(TIdURI::URLDecode("%E9t%E9", IdTextEncoding_8Bit()), "\xC3\xA9t\xC3\xA9");
}

}  // namespace
}  // namespace qtx
