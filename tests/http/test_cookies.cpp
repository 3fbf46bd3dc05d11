#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "http/qtxIdCookieManager.h"
#include "platform/qtxDateTime.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

std::string CookieHeader(TIdCookieManager& aManager, const std::string& aURL, bool aSecureOnly = false) {
  TIdURI uri(aURL);
  TIdHeaderList headers(QuoteHTTP);
  aManager.GenerateClientCookies(uri, aSecureOnly, headers);
  return headers.Values("Cookie");
}

// ---- dates ------------------------------------------------------------------------

TEST(CookieDate, ReadsTheFormsServersSend) {
  const TDateTime expected = EncodeDateTime(2015, 10, 21, 7, 28, 0, 0);
  for (const char* text : {"Wed, 21 Oct 2015 07:28:00 GMT", "Wednesday, 21-Oct-15 07:28:00 GMT",
                           "Wed Oct 21 07:28:00 2015", "21 oct 2015 7:28:0", "Wed, 21-Oct-2015 07:28:00 UTC"}) {
    TDateTime utc = 0;
    ASSERT_TRUE(TryCookieDateToDateTimeGMT(text, utc)) << text;
    EXPECT_NEAR(utc, expected, 1e-9) << text;
  }
}

TEST(CookieDate, TwoDigitYearsFollowTheSeventyRule) {
  TDateTime utc = 0;
  ASSERT_TRUE(TryCookieDateToDateTimeGMT("01 Jan 69 00:00:00", utc));
  EXPECT_NEAR(utc, EncodeDate(2069, 1, 1), 1e-9);
  ASSERT_TRUE(TryCookieDateToDateTimeGMT("01 Jan 70 00:00:00", utc));
  EXPECT_NEAR(utc, EncodeDate(1970, 1, 1), 1e-9);
}

TEST(CookieDate, RejectsIncompleteOrImpossibleDates) {
  TDateTime utc = 0;
  for (const char* text : {"", "tomorrow", "21 Oct 2015", "Oct 2015 07:28:00", "32 Oct 2015 07:28:00",
                           "30 Feb 2015 07:28:00", "21 Oct 1600 07:28:00", "21 Oct 2015 24:00:00",
                           "21 Foo 2015 07:28:00"}) {
    EXPECT_FALSE(TryCookieDateToDateTimeGMT(text, utc)) << text;
  }
}

// ---- matching -------------------------------------------------------------------

TEST(CookieMatch, DomainMatchNeedsADotBeforeTheSuffix) {
  EXPECT_TRUE(IsDomainMatch("example.com", "example.com"));
  EXPECT_TRUE(IsDomainMatch("WWW.Example.com", "example.COM"));
  EXPECT_TRUE(IsDomainMatch("a.b.example.com", "example.com"));
  EXPECT_FALSE(IsDomainMatch("badexample.com", "example.com"));
  EXPECT_FALSE(IsDomainMatch("example.com", "www.example.com"));
  EXPECT_FALSE(IsDomainMatch("", "example.com"));
  EXPECT_FALSE(IsDomainMatch("example.com", ""));
}

TEST(CookieMatch, AnIPAddressMatchesOnlyItself) {
  EXPECT_TRUE(IsDomainMatch("192.168.1.10", "192.168.1.10"));
  EXPECT_FALSE(IsDomainMatch("192.168.1.10", "168.1.10"));
  EXPECT_FALSE(IsDomainMatch("10.0.0.1", "0.0.1"));
  EXPECT_FALSE(IsDomainMatch("::ffff:1.2.3.4", "2.3.4"));
}

TEST(CookieMatch, PathMatchStopsAtASlash) {
  EXPECT_TRUE(IsPathMatch("/docs", "/docs"));
  EXPECT_TRUE(IsPathMatch("/docs/x", "/docs"));
  EXPECT_TRUE(IsPathMatch("/docs/x", "/docs/"));
  EXPECT_TRUE(IsPathMatch("/anything", "/"));
  EXPECT_FALSE(IsPathMatch("/docsx", "/docs"));
  EXPECT_FALSE(IsPathMatch("/doc", "/docs"));
}

// ---- parsing Set-Cookie -----------------------------------------------------------

TEST(ServerCookie, WithoutDomainIsHostOnlyWithTheDefaultPath) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie(" sid = \"a b\" ; HttpOnly", TIdURI("http://Shop.Example.com/app/cart/view?x=1")));
  EXPECT_EQ(cookie.CookieName(), "sid");
  EXPECT_EQ(cookie.Value(), "\"a b\"");
  EXPECT_EQ(cookie.Domain(), "shop.example.com");
  EXPECT_TRUE(cookie.HostOnly());
  EXPECT_EQ(cookie.Path(), "/app/cart");
  EXPECT_TRUE(cookie.HttpOnly());
  EXPECT_FALSE(cookie.Secure());
  EXPECT_FALSE(cookie.Persistent());
  EXPECT_NEAR(cookie.Expires(), EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), 1e-6);
}

TEST(ServerCookie, DefaultPathOfATopLevelDocumentIsRoot) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("a=1; Path=relative", TIdURI("http://h.example/page")));
  EXPECT_EQ(cookie.Path(), "/");
}

TEST(ServerCookie, ParentDomainWithLeadingDotIsStoredWithoutIt) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("a=1; Domain=.Example.COM; Path=/", TIdURI("http://www.example.com/")));
  EXPECT_EQ(cookie.Domain(), "example.com");
  EXPECT_FALSE(cookie.HostOnly());
}

TEST(ServerCookie, DomainTheHostDoesNotMatchIsRefused) {
  TIdCookie cookie;
  EXPECT_FALSE(cookie.ParseServerCookie("a=1; Domain=other.com", TIdURI("http://www.example.com/")));
  EXPECT_FALSE(cookie.ParseServerCookie("a=1; Domain=www.example.com", TIdURI("http://example.com/")));
  EXPECT_FALSE(cookie.ParseServerCookie("a=1; Domain=0.0.1", TIdURI("http://10.0.0.1/")));
}

TEST(ServerCookie, PairWithoutEqualsOrNameIsRefused) {
  TIdCookie cookie;
  EXPECT_FALSE(cookie.ParseServerCookie("novalue; Path=/", TIdURI("http://h.example/")));
  EXPECT_FALSE(cookie.ParseServerCookie(" =value", TIdURI("http://h.example/")));
}

TEST(ServerCookie, HttpOnlyFromAnotherProtocolIsRefused) {
  TIdCookie cookie;
  EXPECT_FALSE(cookie.ParseServerCookie("a=1; HttpOnly", TIdURI("ftp://h.example/")));
  EXPECT_TRUE(cookie.ParseServerCookie("a=1", TIdURI("ftp://h.example/")));
}

TEST(ServerCookie, MaxAgeWinsOverExpiresAndMakesItPersistent) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("a=1; Expires=Wed, 21 Oct 2015 07:28:00 GMT; Max-Age=3600",
                                       TIdURI("http://h.example/")));
  EXPECT_TRUE(cookie.Persistent());
  EXPECT_NEAR(cookie.Expires(), Now() + 1.0 / 24, 60.0 / 86400);
  EXPECT_FALSE(cookie.IsExpired());
  EXPECT_NEAR(static_cast<double>(cookie.MaxAge()), 3600, 60);
}

TEST(ServerCookie, ExpiresDateIsKeptInLocalTime) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("a=1; expires=\"Sat, 01 Jan 2101 00:00:00 GMT\"", TIdURI("http://h.example/")));
  EXPECT_TRUE(cookie.Persistent());
  EXPECT_NEAR(cookie.Expires(), UTCToLocalTime(EncodeDate(2101, 1, 1)), 1e-6);
}

TEST(ServerCookie, NonPositiveMaxAgeOrNegativeExpiresIsAlreadyExpired) {
  for (const char* text : {"a=1; Max-Age=-1", "a=1; Max-Age=0", "a=1; Expires=-5"}) {
    TIdCookie cookie;
    ASSERT_TRUE(cookie.ParseServerCookie(text, TIdURI("http://h.example/"))) << text;
    EXPECT_TRUE(cookie.IsExpired()) << text;
  }
}

TEST(ServerCookie, TheLastOfARepeatedAttributeCounts) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("a=1; Path=/one; Max-Age=junk; Path=/two", TIdURI("http://h.example/")));
  EXPECT_EQ(cookie.Path(), "/two");
  EXPECT_FALSE(cookie.Persistent());
}

TEST(ServerCookie, CookieTextListsTheAttributesInOrder) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("id=42; Domain=example.com; Path=/p; Secure; HttpOnly; Expires=Sat, 01 Jan 2101 "
                                       "10:20:30 GMT",
                                       TIdURI("https://www.example.com/")));
  const std::string text = cookie.CookieText();
  const std::string head = "id=42; Path=/p; Domain=example.com; Secure; HttpOnly; Max-Age=";
  ASSERT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("; Expires=Sat, 01-Jan-2101 10:20:30 GMT; SameSite=Lax"), std::string::npos) << text;
  EXPECT_EQ(cookie.ClientCookie(), "id=42");
}

// ---- hostile Set-Cookie values -----------------------------------------------------

TEST(ServerCookie, RefusesWhatCouldInjectShareOrDowngrade) {
  struct TCase {
    std::string Text;
    const char* URL;
    bool Accepted;
  };
  const TCase cases[] = {
      {"cr=a\rInjected: x", "http://example.com/", false},
      {"lf=a\nInjected: x", "http://example.com/", false},
      {"c\x01trl=a", "http://example.com/", false},
      {"del=a\x7F", "http://example.com/", false},
      {"tab=a\tb", "http://example.com/", true},
      {"a=1; Domain=com", "http://www.example.com/", false},
      {"a=1; Domain=.co.uk", "http://www.example.co.uk/", false},
      {"a=1; Domain=github.io", "http://user.github.io/", false},
      {"a=1; Domain=example.co.uk", "http://www.example.co.uk/", true},
      {"s=1; Secure", "http://example.com/", false},
      {"s=1; Secure", "https://example.com/", true},
      {"n=" + std::string(IdMaxCookieBytes - 1, 'v'), "http://example.com/", true},
      {"n=" + std::string(IdMaxCookieBytes, 'v'), "http://example.com/", false},
      // An attribute value too long to keep is ignored, not the cookie.
      {"a=1; Domain=" + std::string(IdMaxCookieAttributeBytes + 1, 'd'), "http://example.com/", true},
  };
  for (const TCase& c : cases) {
    TIdCookieManager manager;
    EXPECT_EQ(manager.AddServerCookie(c.Text, TIdURI(c.URL)), c.Accepted) << c.Text.substr(0, 40) << " " << c.URL;
    EXPECT_EQ(manager.CookieCollection().Count(), c.Accepted ? 1 : 0);
  }
}

TEST(ServerCookie, APublicSuffixThatIsTheHostItselfMakesAHostOnlyCookie) {
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("a=1; Domain=localhost", TIdURI("http://localhost/")));
  EXPECT_TRUE(cookie.HostOnly());
  EXPECT_EQ(cookie.Domain(), "localhost");
}

TEST(ServerCookie, AnExpiryBeyondTheDateRangeIsTheLatestDate) {
  test::ScopedTimeZone zone("XXX+5");  // five hours behind UTC: the latest local date is past it in UTC
  for (const char* text : {"a=1; Max-Age=9223372036854775807", "a=1; Max-Age=99999999999999999999999",
                           "a=1; Expires=9223372036854775807"}) {
    TIdCookie cookie;
    ASSERT_TRUE(cookie.ParseServerCookie(text, TIdURI("http://h.example/"))) << text;
    EXPECT_NEAR(cookie.Expires(), EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), 1e-6) << text;
    EXPECT_GT(cookie.MaxAge(), 0) << text;
    EXPECT_NE(cookie.CookieText().find("; Expires=Fri, 31-Dec-9999 23:59:59 GMT"), std::string::npos)
        << cookie.CookieText();
  }
}

TEST(ClientCookie, PairsAreSplitAtSemicolonsOutsideQuotes) {
  TIdCookies store;
  store.AddClientCookies("a=1; b = \"x;y\" ;c=3 ; d");
  TIdCookieList& list = store.LockCookieList(caRead);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0]->ClientCookie(), "a=1");
  EXPECT_EQ(list[1]->ClientCookie(), "b=\"x;y\"");
  EXPECT_EQ(list[2]->ClientCookie(), "c=3");
  EXPECT_EQ(list[3]->ClientCookie(), "d=");
  EXPECT_EQ(store.GetCookieIndex("C"), 2);
  EXPECT_EQ(store.GetCookieIndex("a", 1), -1);
  store.UnlockCookieList(caRead);
}

TEST(ClientCookie, AControlCharacterAddedThroughTheAPIIsNotStored) {
  TIdCookieManager manager;
  TIdCookies& store = manager.CookieCollection();
  EXPECT_FALSE(store.AddClientCookie("a=x\nInjected: y"));
  TIdCookie cookie;
  ASSERT_TRUE(cookie.ParseServerCookie("b=1", TIdURI("http://example.com/")));
  cookie.SetValue("x\r\nInjected: y");
  EXPECT_FALSE(manager.CopyCookie(cookie));
  EXPECT_EQ(store.Count(), 0);
}

// ---- the manager ------------------------------------------------------------------

TEST(CookieManager, HostOnlyCookieIsNotSentToASubdomain) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("a=1", TIdURI("http://example.com/")));
  EXPECT_EQ(CookieHeader(manager, "http://example.com/x"), "a=1");
  EXPECT_EQ(CookieHeader(manager, "http://www.example.com/x"), "");
}

TEST(CookieManager, DomainCookieIsSentToTheDomainAndItsSubdomains) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("a=1; Domain=.example.com; Path=/", TIdURI("http://www.example.com/")));
  EXPECT_EQ(CookieHeader(manager, "http://example.com/"), "a=1");
  EXPECT_EQ(CookieHeader(manager, "http://deep.sub.example.com/"), "a=1");
  EXPECT_EQ(CookieHeader(manager, "http://notexample.com/"), "");
}

TEST(CookieManager, RejectedDomainIsNotStored) {
  TIdCookieManager manager;
  EXPECT_FALSE(manager.AddServerCookie("a=1; Domain=evil.com", TIdURI("http://example.com/")));
  EXPECT_EQ(manager.CookieCollection().Count(), 0);
}

TEST(CookieManager, NegativeMaxAgeDeletesTheStoredCookie) {
  TIdCookieManager manager;
  const TIdURI uri("http://example.com/");
  ASSERT_TRUE(manager.AddServerCookie("sid=1; Path=/", uri));
  ASSERT_TRUE(manager.AddServerCookie("other=2; Path=/", uri));
  EXPECT_FALSE(manager.AddServerCookie("SID=gone; Path=/; Max-Age=-1", uri));
  EXPECT_EQ(manager.CookieCollection().Count(), 1);
  EXPECT_EQ(CookieHeader(manager, "http://example.com/"), "other=2");
}

TEST(CookieManager, ReplacementKeepsTheCreationTimeOfTheOldCookie) {
  TIdCookieManager manager;
  const TIdURI uri("http://example.com/");
  ASSERT_TRUE(manager.AddServerCookie("a=1; Path=/", uri));
  TIdCookies& store = manager.CookieCollection();
  store.LockCookieList(caReadWrite)[0]->SetCreatedAt(EncodeDate(2000, 1, 1));
  store.UnlockCookieList(caReadWrite);
  ASSERT_TRUE(manager.AddServerCookie("a=2; Path=/", uri));
  TIdCookieList& list = store.LockCookieList(caRead);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->Value(), "2");
  EXPECT_NEAR(list[0]->CreatedAt(), EncodeDate(2000, 1, 1), 1e-9);
  store.UnlockCookieList(caRead);
}

TEST(CookieManager, HttpOnlyCookieIsNotReplacedFromAnotherProtocol) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("a=1; Path=/; HttpOnly", TIdURI("http://example.com/")));
  EXPECT_FALSE(manager.AddServerCookie("a=2; Path=/", TIdURI("ws://example.com/")));
  EXPECT_EQ(CookieHeader(manager, "http://example.com/"), "a=1");
}

TEST(CookieManager, PlainHttpNeitherReplacesNorShadowsASecureCookie) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("sid=secure; Secure; Path=/", TIdURI("https://example.com/")));
  EXPECT_FALSE(manager.AddServerCookie("sid=plain; Path=/", TIdURI("http://example.com/")));
  EXPECT_FALSE(manager.AddServerCookie("SID=plain; Path=/app", TIdURI("http://www.example.com/app/x")));
  EXPECT_FALSE(manager.AddServerCookie("sid=gone; Path=/; Max-Age=0", TIdURI("http://example.com/")));
  EXPECT_TRUE(manager.AddServerCookie("other=plain; Path=/", TIdURI("http://example.com/")));
  EXPECT_EQ(CookieHeader(manager, "https://example.com/", true), "sid=secure; other=plain");
  EXPECT_TRUE(manager.AddServerCookie("sid=renewed; Path=/", TIdURI("https://example.com/")));
  EXPECT_NE(CookieHeader(manager, "http://example.com/").find("sid=renewed"), std::string::npos);
}

TEST(CookieManager, LongerPathFirstThenEarlierCreation) {
  TIdCookieManager manager;
  const TIdURI uri("http://example.com/docs/page");
  ASSERT_TRUE(manager.AddServerCookie("root=1; Path=/", uri));
  ASSERT_TRUE(manager.AddServerCookie("docs=2; Path=/docs", uri));
  ASSERT_TRUE(manager.AddServerCookie("late=3; Path=/", uri));
  TIdCookies& store = manager.CookieCollection();
  TIdCookieList& list = store.LockCookieList(caReadWrite);
  list[0]->SetCreatedAt(EncodeDate(2020, 1, 2));
  list[2]->SetCreatedAt(EncodeDate(2020, 1, 1));
  store.UnlockCookieList(caReadWrite);
  EXPECT_EQ(CookieHeader(manager, "http://example.com/docs/page"), "docs=2; late=3; root=1");
}

TEST(CookieManager, DocsxDoesNotGetTheDocsCookie) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("d=1; Path=/docs", TIdURI("http://example.com/")));
  EXPECT_EQ(CookieHeader(manager, "http://example.com/docsx"), "");
  EXPECT_EQ(CookieHeader(manager, "http://example.com/docs"), "d=1");
  EXPECT_EQ(CookieHeader(manager, "http://example.com/docs/x"), "d=1");
}

TEST(CookieManager, SecureCookieOnlyOverASecureConnection) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("s=1; Secure; Path=/", TIdURI("https://example.com/")));
  ASSERT_TRUE(manager.AddServerCookie("p=2; Path=/", TIdURI("https://example.com/")));
  EXPECT_EQ(CookieHeader(manager, "http://example.com/", false), "p=2");
  EXPECT_EQ(CookieHeader(manager, "https://example.com/", true), "s=1; p=2");
}

TEST(CookieManager, ExpiredCookiesAreDroppedBeforeSending) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("old=1; Path=/; Max-Age=100", TIdURI("http://example.com/")));
  TIdCookies& store = manager.CookieCollection();
  store.LockCookieList(caReadWrite)[0]->SetExpires(Now() - 1.0 / 86400);
  store.UnlockCookieList(caReadWrite);
  EXPECT_EQ(CookieHeader(manager, "http://example.com/"), "");
  EXPECT_EQ(store.Count(), 0);
}

TEST(CookieManager, CookieLineIsAddedBesideAnExistingOne) {
  TIdCookieManager manager;
  ASSERT_TRUE(manager.AddServerCookie("a=1", TIdURI("http://example.com/")));
  TIdHeaderList headers(QuoteHTTP);
  headers.AddValue("Cookie", "mine=0");
  manager.GenerateClientCookies(TIdURI("http://example.com/"), false, headers);
  TStringList values;
  headers.Extract("Cookie", values);
  ASSERT_EQ(values.Count(), 2);
  EXPECT_EQ(values[0], "mine=0");
  EXPECT_EQ(values[1], "a=1");
}

TEST(CookieManager, NewCookieHandlerCanRefuse) {
  TIdCookieManager manager;
  manager.OnNewCookie = [](TIdCookieManager&, TIdCookie& cookie, bool& accept) {
    accept = cookie.CookieName() != "tracker";
  };
  EXPECT_FALSE(manager.AddServerCookie("tracker=1", TIdURI("http://example.com/")));
  EXPECT_TRUE(manager.AddServerCookie("session=1", TIdURI("http://example.com/")));
  EXPECT_EQ(CookieHeader(manager, "http://example.com/"), "session=1");
}

TEST(CookieManager, CreateAndDestroyEventsSeeTheStore) {
  int created = 0;
  int destroyed = 0;
  {
    TIdCookieManager manager(nullptr, [&](TIdCookieManager&, TIdCookies& cookies) { created += 1 + cookies.Count(); });
    manager.OnDestroy = [&](TIdCookieManager&, TIdCookies& cookies) { destroyed = cookies.Count(); };
    manager.AddServerCookie("a=1", TIdURI("http://example.com/"));
  }
  EXPECT_EQ(created, 1);
  EXPECT_EQ(destroyed, 1);
}

TEST(CookieManager, AddCookiesAndCopyCookieCopyEveryField) {
  TIdCookieManager source;
  ASSERT_TRUE(source.AddServerCookie("a=1; Domain=example.com; Path=/x; Secure; Max-Age=600",
                                     TIdURI("https://www.example.com/")));
  TIdCookieManager target;
  target.AddCookies(source);
  target.AddCookies(source);
  ASSERT_EQ(target.CookieCollection().Count(), 1);
  TIdCookie* copy = target.CookieCollection().GetCookieByNameAndDomain("A", "EXAMPLE.com");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Path(), "/x");
  EXPECT_TRUE(copy->Secure());
  EXPECT_TRUE(copy->Persistent());
  EXPECT_FALSE(copy->HostOnly());

  TIdCookie single;
  ASSERT_TRUE(single.ParseServerCookie("b=2", TIdURI("http://example.com/")));
  EXPECT_TRUE(target.CopyCookie(single));
  EXPECT_EQ(CookieHeader(target, "http://example.com/"), "b=2");
}

TEST(CookieStore, PastItsLimitsTheLeastRecentlyUsedGoFirst) {
  TIdCookieManager manager;
  TIdCookies& store = manager.CookieCollection();
  const auto domain = [](int aIndex) { return "d" + std::to_string(aIndex) + ".example"; };
  const int domains = static_cast<int>(IdMaxCookies / IdMaxCookiesPerDomain);
  for (int d = 0; d < domains; ++d) {
    for (size_t c = 0; c < IdMaxCookiesPerDomain; ++c)
      ASSERT_TRUE(manager.AddServerCookie("c" + std::to_string(c) + "=v", TIdURI("http://" + domain(d) + "/")));
  }
  ASSERT_EQ(store.Count(), static_cast<int>(IdMaxCookies));
  // Every cookie was last used long ago, in the order of the list; then a
  // request to the first domain uses its cookies now.
  TIdCookieList& list = store.LockCookieList(caReadWrite);
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetLastAccessed(EncodeDate(2020, 1, 1) + i / 86400.0);
  store.UnlockCookieList(caReadWrite);
  CookieHeader(manager, "http://" + domain(0) + "/");

  // A full domain makes room in itself; a full store makes room anywhere.
  ASSERT_TRUE(manager.AddServerCookie("extra=v", TIdURI("http://" + domain(1) + "/")));
  ASSERT_TRUE(manager.AddServerCookie("new=v", TIdURI("http://" + domain(domains) + "/")));
  EXPECT_EQ(store.Count(), static_cast<int>(IdMaxCookies));
  EXPECT_EQ(store.GetCookieByNameAndDomain("c0", domain(1)), nullptr);
  EXPECT_NE(store.GetCookieByNameAndDomain("extra", domain(1)), nullptr);
  EXPECT_EQ(store.GetCookieByNameAndDomain("c1", domain(1)), nullptr) << "the least recently used of all";
  EXPECT_NE(store.GetCookieByNameAndDomain("c2", domain(1)), nullptr);
  EXPECT_NE(store.GetCookieByNameAndDomain("c0", domain(0)), nullptr) << "used by the request";
  EXPECT_EQ(store.GetCookieIndex("new", domain(domains)), store.Count() - 1);
}

TEST(CookieStore, ReadersAndAWriterShareTheStoreWithoutLosingCookies) {
  TIdCookieManager manager;
  constexpr int kCookies = static_cast<int>(IdMaxCookiesPerDomain);
  std::atomic<bool> writing{true};
  std::atomic<int> reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      const TIdURI uri("http://example.com/app/page");
      while (writing.load()) {
        TIdHeaderList headers(QuoteHTTP);
        manager.GenerateClientCookies(uri, false, headers);
        TIdCookies& store = manager.CookieCollection();
        TIdCookieList& list = store.LockCookieList(caRead);
        for (const auto& cookie : list) EXPECT_FALSE(cookie->CookieName().empty());
        store.UnlockCookieList(caRead);
        reads.fetch_add(1);
      }
    });
  }
  std::thread writer([&] {
    const TIdURI uri("http://example.com/app/page");
    for (int round = 0; round < 8; ++round) {
      for (int i = 0; i < kCookies; ++i) {
        manager.AddServerCookie("c" + std::to_string(i) + "=v; Path=/app", uri);
        manager.AddServerCookie("c" + std::to_string(i) + "=w; Path=/app", uri);  // replaces
      }
    }
    // Let the readers see the full store at least once more.
    const int seen = reads.load();
    while (reads.load() < seen + 3) std::this_thread::yield();
    writing.store(false);
  });
  writer.join();
  for (auto& reader : readers) reader.join();

  EXPECT_EQ(manager.CookieCollection().Count(), kCookies);
  const std::string header = CookieHeader(manager, "http://example.com/app/page");
  std::set<std::string> names;
  size_t start = 0;
  while (start < header.size()) {
    const size_t end = std::min(header.find("; ", start), header.size());
    const std::string pair = header.substr(start, end - start);
    EXPECT_EQ(pair.substr(pair.find('=')), "=w");
    names.insert(pair.substr(0, pair.find('=')));
    start = end + 2;
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(kCookies));
}

}  // namespace
}  // namespace qtx
