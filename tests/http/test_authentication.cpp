#include <gtest/gtest.h>

#include <regex>

#include "core/qtxIdCoderMIME.h"
#include "http/qtxIdAuthentication.h"
#include "http/qtxIdAuthenticationBasic.h"
#include "http/qtxIdAuthenticationDigest.h"
#include "http/qtxIdAuthenticationManager.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::Raised;

// Digest with the client nonce fixed, as the published examples need.
class FixedNonceDigest : public TIdDigestAuthentication {
public:
  explicit FixedNonceDigest(std::string aClientNonce) : FClientNonce(std::move(aClientNonce)) {}
  using TIdDigestAuthentication::NewClientNonce;

protected:
  std::string NewClientNonce() override { return FClientNonce; }

private:
  std::string FClientNonce;
};

// Exposes the real client nonce generator.
class RealNonceDigest : public TIdDigestAuthentication {
public:
  std::string ClientNonce() { return NewClientNonce(); }
};

std::string DecodeBasic(const std::string& aValue) {
  EXPECT_EQ(aValue.rfind("Basic ", 0), 0u) << aValue;
  const TIdBytes bytes = TIdDecoderMIME::DecodeBytes(aValue.substr(6));
  return std::string(bytes.begin(), bytes.end());
}

void Challenge(TIdAuthentication& aAuth, const std::string& aLine) {
  aAuth.AuthParams().Clear();
  aAuth.AuthParams().Add(aLine);
}

TEST(AuthChallengeParser, QuotedAndPlainValues) {
  TStringList params;
  ParseAuthChallengeParams("Digest realm=\"a, \\\"b\\\"\" , nonce = xyz ,stale=TRUE, qop=\"auth,auth-int\"", params);
  EXPECT_EQ(params.Values("REALM"), "a, \"b\"");
  EXPECT_EQ(params.Values("nonce"), "xyz");
  EXPECT_EQ(params.Values("stale"), "TRUE");
  EXPECT_EQ(params.Values("qop"), "auth,auth-int");
}

TEST(AuthChallengeParser, SchemeWithoutParameters) {
  TStringList params;
  ParseAuthChallengeParams("Basic", params);
  EXPECT_EQ(params.Count(), 0);
}

TEST(AuthReadAuthInfo, FindsTheLineOfTheSchemeIgnoringCase) {
  TIdBasicAuthentication auth;
  auth.AuthParams().Add("Newauth realm=\"x\"");
  auth.AuthParams().Add("BASIC realm=\"y\"");
  EXPECT_EQ(auth.ReadAuthInfo("Basic"), "BASIC realm=\"y\"");
  EXPECT_EQ(auth.ReadAuthInfo("New"), "");
  EXPECT_EQ(auth.ReadAuthInfo("Digest"), "");
}

TEST(AuthParams, AssigningCopiesTheChallengeLines) {
  TStringList challenges;
  challenges.Add("Basic realm=\"a=b\"");
  TIdBasicAuthentication auth;
  auth.AuthParams().Add("old");
  auth.SetAuthParams(challenges);
  EXPECT_EQ(auth.AuthParams().Text(), "Basic realm=\"a=b\"\r\n");
}

TEST(AuthBasic, AsksTheProgramWithoutUserName) {
  TIdBasicAuthentication auth;
  Challenge(auth, "Basic realm=\"r\"");
  EXPECT_EQ(auth.Next(), wnAskTheProgram);
  auth.SetUsername("u");
  EXPECT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.CurrentStep(), 0);
  EXPECT_EQ(auth.Realm(), "r");
}

TEST(AuthBasic, PlainCredentials) {
  TIdBasicAuthentication auth;
  auth.SetUsername("Aladdin");
  auth.SetPassword("open sesame");
  EXPECT_EQ(auth.Authentication(), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(AuthBasic, WithoutCharsetNonAsciiIsLatin1) {
  TIdBasicAuthentication auth;
  Challenge(auth, "Basic realm=\"r\"");
  auth.SetUsername("Jos\xC3\xA9");
  auth.SetPassword("p");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.Charset(), "ISO-8859-1");
  EXPECT_EQ(DecodeBasic(auth.Authentication()), "Jos\xE9:p");
}

TEST(AuthBasic, Utf8CharsetEncodesCredentialsAsUtf8) {
  TIdBasicAuthentication auth;
  Challenge(auth, "Basic realm=\"r\", charset=\"UTF-8\"");
  auth.SetUsername("Jos\xC3\xA9");
  auth.SetPassword("p\xE2\x82\xAC");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(DecodeBasic(auth.Authentication()), "Jos\xC3\xA9:p\xE2\x82\xAC");
}

TEST(AuthDigest, Rfc2617Example) {
  FixedNonceDigest auth("0a4f113b");
  Challenge(auth,
            "Digest realm=\"testrealm@host.com\", qop=\"auth\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
  auth.SetUsername("Mufasa");
  auth.SetPassword("Circle Of Life");
  EXPECT_EQ(auth.Authentication(), "Digest");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  auth.SetRequest("GET", "/dir/index.html");
  EXPECT_EQ(auth.Authentication(),
            "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", algorithm=\"MD5\", uri=\"/dir/index.html\", "
            "qop=\"auth\", nc=00000001, cnonce=\"0a4f113b\", response=\"6629fae49393a05397450978507c4ef1\", "
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
  EXPECT_EQ(auth.CurrentStep(), 0);
}

TEST(AuthDigest, Rfc7616Md5Example) {
  FixedNonceDigest auth("f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ");
  Challenge(auth,
            "Digest realm=\"http-auth@example.org\", qop=\"auth\", algorithm=MD5, "
            "nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", "
            "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"");
  auth.SetUsername("Mufasa");
  auth.SetPassword("Circle of Life");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  auth.SetRequest("GET", "/dir/index.html");
  const std::string value = auth.Authentication();
  EXPECT_NE(value.find("response=\"8ca523f5e9506fed4657c9700eebdbec\""), std::string::npos) << value;
  EXPECT_NE(value.find("algorithm=\"MD5\""), std::string::npos) << value;
}

TEST(AuthDigest, AuthIntPreferredWhenBothOffered) {
  FixedNonceDigest auth("0a4f113b");
  Challenge(auth, "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                  "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"");
  auth.SetUsername("Mufasa");
  auth.SetPassword("Circle Of Life");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  auth.SetRequest("GET", "/dir/index.html");
  const std::string value = auth.Authentication();
  EXPECT_NE(value.find("qop=\"auth-int\""), std::string::npos) << value;
  EXPECT_NE(value.find("response=\"5e6610ecf9ba3017a4870ad48e3ad30b\""), std::string::npos) << value;
}

TEST(AuthDigest, WithoutQopNoCountOrClientNonce) {
  FixedNonceDigest auth("0a4f113b");
  Challenge(auth, "Digest realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"");
  auth.SetUsername("Mufasa");
  auth.SetPassword("Circle Of Life");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  auth.SetRequest("GET", "/dir/index.html");
  EXPECT_EQ(auth.Authentication(),
            "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", algorithm=\"MD5\", uri=\"/dir/index.html\", "
            "response=\"670fd8c2df070c60b045671b8b24ff02\"");
}

TEST(AuthDigest, NonceCountGrowsForTheSameNonceAndRestartsForANewOne) {
  FixedNonceDigest auth("0a4f113b");
  const std::string challenge = "Digest realm=\"r\", qop=\"auth\", nonce=\"n1\"";
  Challenge(auth, challenge);
  auth.SetUsername("u");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_NE(auth.Authentication().find("nc=00000001"), std::string::npos);
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_NE(auth.Authentication().find("nc=00000002"), std::string::npos);
  Challenge(auth, "Digest realm=\"r\", qop=\"auth\", nonce=\"n2\"");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_NE(auth.Authentication().find("nc=00000001"), std::string::npos);
}

TEST(AuthDigest, Md5SessHashesNonceIntoA1) {
  FixedNonceDigest auth("0a4f113b");
  Challenge(auth, "Digest realm=\"testrealm@host.com\", qop=\"auth\", algorithm=MD5-sess, "
                  "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\"");
  auth.SetUsername("Mufasa");
  auth.SetPassword("Circle Of Life");
  auth.SetRequest("GET", "/dir/index.html");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  auth.Authentication();
  ASSERT_EQ(auth.Next(), wnDoRequest);
  const std::string value = auth.Authentication();
  EXPECT_NE(value.find("algorithm=\"MD5-sess\""), std::string::npos) << value;
  EXPECT_NE(value.find("response=\"d16df0df0d92cef8935129145e21b5e1\""), std::string::npos) << value;
}

TEST(AuthDigest, ValuesAreWrittenAsQuotedStringsThatReadBackIntact) {
  FixedNonceDigest auth("0a4f113b");
  Challenge(auth, R"(Digest realm="a\"b\\c", nonce="n\", injected=\"x", opaque="o\\")");
  auth.SetUsername("u\"v");
  auth.SetRequest("GET", "/");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  const std::string value = auth.Authentication();
  TStringList params;
  ParseAuthChallengeParams(value, params);
  EXPECT_EQ(params.Values("username"), "u\"v") << value;
  EXPECT_EQ(params.Values("realm"), "a\"b\\c") << value;
  EXPECT_EQ(params.Values("nonce"), "n\", injected=\"x") << value;
  EXPECT_EQ(params.Values("opaque"), "o\\") << value;
  EXPECT_EQ(params.Values("injected"), "") << value;
}

TEST(AuthDigest, AChallengeValueWithAControlCharacterFails) {
  TIdDigestAuthentication auth;
  auth.SetUsername("u");
  Challenge(auth, "Digest realm=\"r\rInjected: x\", nonce=\"n\"");
  EXPECT_EQ(auth.Next(), wnFail);
}

TEST(AuthDigest, ChallengeFieldsAreRead) {
  TIdDigestAuthentication auth;
  Challenge(auth, "Digest realm=\"r\", domain=\"/a /b\", stale=true, nonce=\"n\", opaque=\"o\", qop=\"auth, auth-int\"");
  EXPECT_EQ(auth.Next(), wnAskTheProgram);
  EXPECT_EQ(auth.CurrentStep(), 0);
  EXPECT_TRUE(auth.Stale());
  EXPECT_EQ(auth.Opaque(), "o");
  EXPECT_EQ(auth.Algorithm(), "MD5");
  ASSERT_EQ(auth.Domain().Count(), 2);
  EXPECT_EQ(auth.Domain()[1], "/b");
  ASSERT_EQ(auth.QopOptions().Count(), 2);
  EXPECT_EQ(auth.QopOptions()[1], "auth-int");
}

TEST(AuthDigest, OtherAlgorithmIsRejected) {
  TIdDigestAuthentication auth;
  auth.SetUsername("u");
  Challenge(auth, "Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256");
  const auto e = Raised<EIdInvalidAlgorithm>([&] { auth.Next(); });
  EXPECT_STREQ(e.what(), "Unsupported hash algorithm. This implementation supports only MD5 encoding.");
}

TEST(AuthDigest, ClientNonceIsRandomLowerCaseHex) {
  RealNonceDigest auth;
  const std::string first = auth.ClientNonce();
  const std::string second = auth.ClientNonce();
  EXPECT_TRUE(std::regex_match(first, std::regex("[0-9a-f]{32}"))) << first;
  EXPECT_NE(first, second);
}

TEST(AuthRegistry, StartUpSchemesAreRegistered) {
  EXPECT_EQ(FindAuthClass("basic"), &NewAuthentication<TIdBasicAuthentication>);
  EXPECT_EQ(FindAuthClass("DIGEST"), &NewAuthentication<TIdDigestAuthentication>);
  EXPECT_EQ(FindAuthClass("Negotiate"), nullptr);
}

TEST(AuthRegistry, RegisteringAKnownNameReplacesItsClass) {
  RegisterAuthenticationMethod("BASIC", &NewAuthentication<TIdDigestAuthentication>);
  EXPECT_EQ(FindAuthClass("Basic"), &NewAuthentication<TIdDigestAuthentication>);
  RegisterAuthenticationMethod("Basic", &NewAuthentication<TIdBasicAuthentication>);
  EXPECT_EQ(FindAuthClass("Basic"), &NewAuthentication<TIdBasicAuthentication>);
}

TEST(AuthRegistry, RemovingTheFirstSchemeWorksLikeAnyOther) {
  UnregisterAuthenticationMethod("Basic");
  EXPECT_EQ(FindAuthClass("Basic"), nullptr);
  EXPECT_EQ(FindAuthClass("Digest"), &NewAuthentication<TIdDigestAuthentication>);
  UnregisterAuthenticationMethod("Basic");  // absent: nothing happens
  RegisterAuthenticationMethod("Basic", &NewAuthentication<TIdBasicAuthentication>);
  const auto auth = FindAuthClass("Basic")();
  EXPECT_NE(dynamic_cast<TIdBasicAuthentication*>(auth.get()), nullptr);
}

}  // namespace
}  // namespace qtx

namespace qtx {
namespace {

TEST(AuthManager, KeepsUrlWithoutCredentialsAndACopyOfTheParameters) {
  TIdAuthenticationManager manager;
  TIdBasicAuthentication auth;
  auth.SetUsername("u");
  auth.SetPassword("p");
  manager.AddAuthentication(auth, TIdURI("http://u:p@example.com/a/b?x=1#frag"));
  auth.SetUsername("changed");
  ASSERT_EQ(manager.Authentications().Count(), 1);
  const TIdAuthenticationItem& item = manager.Authentications().Items(0);
  EXPECT_EQ(item.URL().GetFullURI(), "http://example.com/a/b?x=1");
  EXPECT_EQ(item.Params().Values("Username"), "u");
  EXPECT_EQ(item.Params().Values("Password"), "p");
}

}  // namespace
}  // namespace qtx
