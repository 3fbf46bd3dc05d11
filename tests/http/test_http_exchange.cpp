// The HTTP engine's exchange against scripted loopback servers: the bytes of
// each request, keep-alive, redirects, authentication retries, error
// statuses, proxies and tunnels, cookies and the text of string results.

#include <gtest/gtest.h>

#include "http/qtxIdHTTP.h"
#include "support/qtxScriptedHTTPServer.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"
#include "transport/qtxIdIOHandlerStack.h"

namespace qtx {
namespace {

using test::HeaderOf;
using test::Raised;
using test::THTTPAnswer;
using test::TScriptedHTTPServer;

constexpr int kWait = 30000;

std::string Answer(const std::string& aStatus, const std::string& aBody, const std::string& aHeaders = "") {
  return "HTTP/1.1 " + aStatus + "\r\nContent-Length: " + std::to_string(aBody.size()) + "\r\n" + aHeaders + "\r\n" +
         aBody;
}
std::string Ok(const std::string& aBody, const std::string& aHeaders = "") { return Answer("200 OK", aBody, aHeaders); }
std::string Redirect(int aCode, const std::string& aLocation) {
  return Answer(std::to_string(aCode) + " Moved", "moved", "Location: " + aLocation + "\r\n");
}
std::string RequestLine(const std::string& aHead) { return aHead.substr(0, aHead.find("\r\n")); }

struct THTTPClient : TIdHTTP {
  explicit THTTPClient(TIdHTTPOptions aOptions = {hoForceEncodeParams}) {
    SetReadTimeout(kWait);
    SetHTTPOptions(aOptions);
  }
  // Through the proxy on aPort, with its login when aUser is given.
  void UseProxy(uint16_t aPort, const std::string& aUser = "") {
    ProxyParams().SetProxyServer("127.0.0.1");
    ProxyParams().SetProxyPort(aPort);
    ProxyParams().SetProxyUsername(aUser);
    ProxyParams().SetProxyPassword("pp");
  }
};

const std::string kProxyChallenge =
    Answer("407 Proxy Authentication Required", "", "Proxy-Authenticate: Basic realm=\"p\"\r\n");

TEST(HTTPExchange, AGetSendsTheRequestLineAndDefaultHeadersInOrder) {
  TScriptedHTTPServer server({Ok("hello")});
  THTTPClient http;
  EXPECT_EQ(http.Get(server.URL("/a/b?x=1")), "hello");
  EXPECT_EQ(server.Requests().at(0).Head, "GET /a/b?x=1 HTTP/1.1\r\n"
                                          "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"
                                          "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
                                          "User-Agent: Mozilla/3.0 (compatible; Vexa Library)\r\n\r\n");
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_EQ(http.ResponseText(), "HTTP/1.1 200 OK");
}

TEST(HTTPExchange, EachVerbSendsItsMethodAndContentLengthOnlyWithABodyOrForPostAndPut) {
  TScriptedHTTPServer server(std::vector<THTTPAnswer>(7, Ok("")));
  THTTPClient http;
  TStringStream body("abc");
  http.Get(server.URL());
  http.Post(server.URL(), static_cast<TStream*>(nullptr));
  http.Put(server.URL(), nullptr);
  http.Patch(server.URL(), &body);
  http.Delete(server.URL());
  http.Options(server.URL("/*"));
  http.Trace(server.URL("/t"));
  const auto requests = server.Requests();
  const std::vector<std::pair<std::string, std::string>> expected{
      {"GET / HTTP/1.1", ""},     {"POST / HTTP/1.0", "0"},    {"PUT / HTTP/1.1", "0"}, {"PATCH / HTTP/1.1", "3"},
      {"DELETE / HTTP/1.1", ""}, {"OPTIONS * HTTP/1.1", ""}, {"TRACE /t HTTP/1.1", ""}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(RequestLine(requests[i].Head), expected[i].first);
    EXPECT_EQ(HeaderOf(requests[i].Head, "Content-Length"), expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(requests[3].Body, "abc");
}

TEST(HTTPExchange, PostGoesOutAsHTTP10OnANewConnectionAndRestoresTheVersion) {
  TScriptedHTTPServer server({Ok("first"), Ok("posted"), {"", THTTPAnswer::Reset}});
  THTTPClient http;
  TStringStream body("a=1");
  http.Get(server.URL());
  EXPECT_EQ(http.Post(server.URL("/p"), &body), "posted");
  auto requests = server.Requests();
  EXPECT_EQ(RequestLine(requests[1].Head), "POST /p HTTP/1.0");
  EXPECT_EQ(HeaderOf(requests[1].Head, "Connection"), "keep-alive");
  EXPECT_EQ(requests[1].Body, "a=1");
  EXPECT_EQ(requests[1].Connection, 1);
  EXPECT_EQ(http.ProtocolVersion(), pv1_1);
  EXPECT_ANY_THROW(http.Post(server.URL("/p"), &body));
  EXPECT_EQ(http.ProtocolVersion(), pv1_1);
}

TEST(HTTPExchange, RequestsThatCannotBeMadeFailBeforeConnecting) {
  THTTPClient http;
  http.SetProtocolVersion(pv1_0);
  const auto e = Raised<EIdException>([&] { http.Delete("http://127.0.0.1:1/"); });
  EXPECT_EQ(e.Message(), "Request method requires HTTP version 1.1");
  THTTPClient fresh;
  EXPECT_THROW(fresh.Get("ftp://127.0.0.1/x"), EIdUnknownProtocol);
  TIdIOHandlerStack plain;
  fresh.SetIOHandler(&plain);
  EXPECT_EQ(Raised<EIdIOHandlerPropInvalid>([&] { fresh.Get("https://127.0.0.1:1/"); }).Message(),
            "IOHandler value is not valid");
}

TEST(HTTPExchange, AnIPv6HostStaysIPv6ThroughRelativeRedirects) {
  TScriptedHTTPServer server({Redirect(302, "/next"), Ok("six")}, true);
  THTTPClient http;
  http.SetHandleRedirects(true);
  EXPECT_EQ(http.Get("http://[::1]:" + std::to_string(server.Port()) + "/"), "six");
  EXPECT_EQ(HeaderOf(server.Requests().at(1).Head, "Host"), "[::1]:" + std::to_string(server.Port()));
}

TEST(HTTPExchange, KeepAliveReusesTheConnectionUntilTheServerSaysClose) {
  TScriptedHTTPServer server({Ok("1"), Ok("2", "Connection: close\r\n"), Ok("3")});
  THTTPClient http;
  for (const char* expected : {"1", "2", "3"}) EXPECT_EQ(http.Get(server.URL()), expected);
  const auto requests = server.Requests();
  EXPECT_EQ(requests[1].Connection, 0);
  EXPECT_EQ(requests[2].Connection, 1);
}

TEST(HTTPExchange, InterimAnswersAreSkippedAndSwitchingProtocolsLeavesTheConnection) {
  TScriptedHTTPServer server(
      {"HTTP/1.1 100 Continue\r\n\r\n" + Ok("final"),
       "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\nConnection: Upgrade\r\n\r\nnew talk\r\n"});
  THTTPClient http;
  EXPECT_EQ(http.Get(server.URL()), "final");
  TMemoryStream content;
  http.Get(server.URL(), &content);
  EXPECT_EQ(http.ResponseCode(), 101);
  EXPECT_EQ(content.Size(), 0);
  ASSERT_TRUE(http.Connected());
  EXPECT_EQ(http.IOHandler()->ReadLn(), "new talk");
}

TEST(HTTPExchange, ErrorStatusesAndUnhandledRedirectsRaiseWithTheBodyUnlessIgnoredOrSwitchedOff) {
  TScriptedHTTPServer server({Answer("404 Not Found", "no such page"), Answer("304 Not Modified", ""),
                              Answer("304 Not Modified", ""), Redirect(302, "/next"), Redirect(302, "/next"),
                              Answer("404 Not Found", "kept")});
  THTTPClient http;
  TMemoryStream content;
  const auto e = Raised<EIdHTTPProtocolException>([&] { http.Get(server.URL(), &content); });
  EXPECT_EQ(e.ErrorCode(), 404);
  EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(e.ErrorMessage(), "no such page");
  EXPECT_EQ(content.Size(), 0);
  EXPECT_EQ(Raised<EIdHTTPProtocolException>([&] { http.Get(server.URL()); }).ErrorCode(), 304);
  EXPECT_NO_THROW(http.Get(server.URL(), {304}));
  // Redirects are errors too while nobody handles them.
  EXPECT_EQ(Raised<EIdHTTPProtocolException>([&] { http.Get(server.URL()); }).ErrorCode(), 302);
  http.Get(server.URL(), &content, {302});
  EXPECT_EQ(content.Size(), 0);
  EXPECT_EQ(http.Response().Location(), "/next");
  http.SetHTTPOptions({hoNoProtocolErrorException, hoWantProtocolErrorContent});
  EXPECT_EQ(http.Get(server.URL()), "kept");
  EXPECT_EQ(http.ResponseCode(), 404);
}

TEST(HTTPExchange, CredentialsAndCustomAuthorizationStayWithTheirOrigin) {
  TScriptedHTTPServer other({Ok("landed")});
  TScriptedHTTPServer origin({Redirect(302, "/same"), Redirect(302, other.URL("/landing"))});
  THTTPClient http;
  http.SetHandleRedirects(true);
  http.Request().CustomHeaders().Add("Cookie: session=1");
  http.Request().CustomHeaders().Add("X-Trace: 7");
  http.Request().SetBasicAuthentication(true);
  EXPECT_EQ(http.Get("http://user:pw@127.0.0.1:" + std::to_string(origin.Port()) + "/start"), "landed");
  for (const auto& seen : origin.Requests()) {
    EXPECT_EQ(HeaderOf(seen.Head, "Authorization"), "Basic dXNlcjpwdw==");
    EXPECT_EQ(HeaderOf(seen.Head, "Cookie"), "session=1");
  }
  const std::string landed = other.Requests().at(0).Head;
  EXPECT_EQ(HeaderOf(landed, "Authorization"), "");
  EXPECT_EQ(HeaderOf(landed, "Cookie"), "");
  EXPECT_EQ(HeaderOf(landed, "X-Trace"), "7");
  EXPECT_EQ(http.Request().CustomHeaders().Text(), "Cookie: session=1\r\nX-Trace: 7\r\n");
  EXPECT_EQ(http.Request().Username(), "user");

  // A custom Authorization line is held back in the same way.
  TScriptedHTTPServer landing({Ok("landed")});
  TScriptedHTTPServer chain({Redirect(301, landing.URL("/"))});
  THTTPClient token;
  token.SetHandleRedirects(true);
  token.Request().CustomHeaders().Add("Authorization: Bearer secret");
  token.Get(chain.URL());
  EXPECT_EQ(HeaderOf(chain.Requests().at(0).Head, "Authorization"), "Bearer secret");
  EXPECT_EQ(HeaderOf(landing.Requests().at(0).Head, "Authorization"), "");
  EXPECT_EQ(token.Request().CustomHeaders().Text(), "Authorization: Bearer secret\r\n");
}

const std::string kChallenge = Answer("401 Unauthorized", "who?", "WWW-Authenticate: Basic realm=\"r\"\r\n");

TEST(HTTPExchange, InProcessAuthenticationRetriesUpToTheLimit) {
  TScriptedHTTPServer server(std::vector<THTTPAnswer>(6, kChallenge));
  THTTPClient http({hoInProcessAuth});
  http.Request().SetUsername("u");
  http.Request().SetPassword("p");
  EXPECT_EQ(Raised<EIdHTTPProtocolException>([&] { http.Get(server.URL()); }).ErrorCode(), 401);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(HeaderOf(requests[0].Head, "Authorization"), "");
  EXPECT_EQ(HeaderOf(requests[3].Head, "Authorization"), "Basic dTpw");
}

TEST(HTTPExchange, WithoutInProcessAuthenticationTheNextCallCarriesTheAnswer) {
  TScriptedHTTPServer server({kChallenge, Ok("in")});
  THTTPClient http;
  http.Request().SetUsername("u");
  http.Request().SetPassword("p");
  TMemoryStream content;
  http.Get(server.URL(), &content);
  EXPECT_EQ(http.ResponseCode(), 401);
  EXPECT_EQ(content.Size(), 4);
  EXPECT_EQ(http.Get(server.URL()), "in");
  EXPECT_EQ(HeaderOf(server.Requests().at(1).Head, "Authorization"), "Basic dTpw");

  TScriptedHTTPServer anonymous({kChallenge});
  THTTPClient nobody;
  EXPECT_EQ(Raised<EIdHTTPProtocolException>([&] { nobody.Get(anonymous.URL()); }).ErrorCode(), 401);
}

// A scheme of one step that is complete once it has answered.
class TOneStepAuthentication : public TIdAuthentication {
public:
  std::string Authentication() override { return "OneStep " + Username(); }
  int Steps() const override { return 1; }

protected:
  TIdAuthWhatsNext DoNext() override {
    FCurrentStep = 1;
    return wnDoRequest;
  }
};

TEST(HTTPExchange, ACompletedAuthenticationGoesToTheManagerWhenTheConnectionCloses) {
  RegisterAuthenticationMethod("OneStep", &NewAuthentication<TOneStepAuthentication>);
  TScriptedHTTPServer server(
      {Answer("401 Unauthorized", "", "WWW-Authenticate: OneStep\r\n"), Ok("in", "Connection: close\r\n")});
  THTTPClient http({hoInProcessAuth});
  TIdAuthenticationManager manager;
  http.SetAuthenticationManager(&manager);
  http.Request().SetUsername("u");
  EXPECT_EQ(http.Get(server.URL("/door")), "in");
  UnregisterAuthenticationMethod("OneStep");
  EXPECT_EQ(HeaderOf(server.Requests().at(1).Head, "Authorization"), "OneStep u");
  ASSERT_EQ(manager.Authentications().Count(), 1);
  EXPECT_EQ(manager.Authentications().Items(0).URL().URI(), server.URL("/door"));
  EXPECT_EQ(http.Request().Authentication(), nullptr);
}

TEST(HTTPExchange, AProxyGetsAbsoluteTargetsAndTheHostOfTheOrigin) {
  struct TCase {
    std::string URL;
    std::string Line;
    std::string Host;
  };
  const std::vector<TCase> cases{
      {"http://example.com/x?y", "GET http://example.com/x?y HTTP/1.1", "example.com"},
      {"http://example.com:8080/x", "GET http://example.com:8080/x HTTP/1.1", "example.com:8080"},
      {"http://[::1]:8080/", "GET http://[::1]:8080/ HTTP/1.1", "[::1]:8080"},
      {"https://example.com/", "CONNECT example.com:443 HTTP/1.1", "example.com"},
      {"https://example.com:444/", "CONNECT example.com:444 HTTP/1.1", "example.com:444"},
      {"https://[::1]:444/", "CONNECT [::1]:444 HTTP/1.1", "[::1]:444"},
  };
  for (const TCase& c : cases) {
    TScriptedHTTPServer proxy({Answer("403 Forbidden", "")});
    THTTPClient http({hoNoProtocolErrorException});
    http.UseProxy(proxy.Port());
    http.Get(c.URL, nullptr);
    const std::string head = proxy.Requests().at(0).Head;
    EXPECT_EQ(RequestLine(head), c.Line);
    EXPECT_EQ(HeaderOf(head, "Host"), c.Host) << c.URL;
  }
}

TEST(HTTPExchange, ProxyCredentialsAnswerA407AndNeverTravelThroughATunnel) {
  TScriptedHTTPServer proxy({kProxyChallenge, Ok("via proxy")});
  THTTPClient http({hoInProcessAuth});
  http.UseProxy(proxy.Port(), "pu");
  EXPECT_EQ(http.Get("http://example.com/"), "via proxy");
  EXPECT_EQ(HeaderOf(proxy.Requests().at(1).Head, "Proxy-Authorization"), "Basic cHU6cHA=");

  // Through a CONNECT tunnel only the CONNECT carries them.
  TScriptedHTTPServer tunnel({"HTTP/1.1 200 Connection established\r\n\r\n", Ok("through")});
  THTTPClient tunnelled({hoNonSSLProxyUseConnectVerb});
  tunnelled.UseProxy(tunnel.Port(), "pu");
  tunnelled.ProxyParams().SetBasicAuthentication(true);
  EXPECT_EQ(tunnelled.Get("http://example.com/"), "through");
  const auto requests = tunnel.Requests();
  EXPECT_EQ(HeaderOf(requests[0].Head, "Proxy-Authorization"), "Basic cHU6cHA=");
  EXPECT_EQ(HeaderOf(requests[1].Head, "Proxy-Authorization"), "");
}

TEST(HTTPExchange, ATunnelThatMayNotBeKeptIsBuiltAgainForTheNextRequest) {
  const std::string established = "HTTP/1.1 200 Connection established\r\n\r\n";
  // The proxy keeps the connection open although the answer says close.
  TScriptedHTTPServer proxy(
      {established, Answer("302 Found", "", "Location: /two\r\nConnection: close\r\n"), established, Ok("two")});
  THTTPClient http({hoNonSSLProxyUseConnectVerb});
  http.SetHandleRedirects(true);
  http.UseProxy(proxy.Port());
  EXPECT_EQ(http.Get("http://example.com/one"), "two");
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(RequestLine(requests[2].Head), "CONNECT example.com:80 HTTP/1.1");
  EXPECT_EQ(requests[2].Connection, 1);
}

TEST(HTTPExchange, ARefusedTunnelIsTheAnswerAndTheRequestIsNotSentInTheClear) {
  TScriptedHTTPServer proxy({kProxyChallenge, Ok("leak")});
  THTTPClient http({hoNonSSLProxyUseConnectVerb});
  http.UseProxy(proxy.Port(), "pu");
  TMemoryStream content;
  http.Get("http://example.com/secret", &content);
  EXPECT_EQ(http.ResponseCode(), 407);
  EXPECT_EQ(content.Size(), 0);
  EXPECT_FALSE(http.Connected());
  EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST(HTTPExchange, StringResultsAreDecodedByTheCharsetAndJSONAsUTF8) {
  struct TCase {
    std::string ContentType;
    std::string Bytes;
    std::string Text;
  };
  const std::vector<TCase> cases{
      {"application/json", "{\"a\":\"\xE2\x82\xAC\"}", "{\"a\":\"\u20AC\"}"},
      {"application/problem+json", "\"\xC3\xA9\"", "\"\u00E9\""},
      {"application/json; charset=iso-8859-1", "\xE9", "\u00E9"},
      {"text/plain", "\xE9", "\u00E9"},
      {"application/octet-stream", "\xC3\xA9", "\u00C3\u00A9"},
      {"text/plain; charset=utf-8", "\xE2\x82\xAC", "\u20AC"},
  };
  for (const TCase& c : cases) {
    TScriptedHTTPServer server({Ok(c.Bytes, "Content-Type: " + c.ContentType + "\r\n")});
    THTTPClient http;
    EXPECT_EQ(http.Get(server.URL()), c.Text) << c.ContentType;
  }
}

TEST(HTTPExchange, BodiesOfTextAreSentAsUTF8AndFormsAreEncoded) {
  TScriptedHTTPServer server(std::vector<THTTPAnswer>(3, Ok("")));
  THTTPClient http;
  http.Delete(server.URL(), "Gr\u00F6\u00DFe \u20AC");
  TStringList form;
  form.Add("name=J Doe");
  form.Add("note=a&b?\u20AC");
  form.Add("flag");
  http.Post(server.URL(), form);
  http.Request().SetContentType("");
  http.Post(server.URL(), form, IdTextEncoding_8Bit());
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].Body, "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC");
  EXPECT_EQ(requests[1].Body, "name=J+Doe&note=a%26b%3F%E2%82%AC&flag");
  EXPECT_EQ(HeaderOf(requests[1].Head, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[2].Body, "name=J+Doe&note=a%26b%3F&#8364;&flag");
}

TEST(HTTPExchange, AFileAndAMultipartStreamArePostedWhole) {
  test::TTempFolder folder;
  test::WriteFileBytes(folder.File("upload.txt"), test::Bytes("file body"));
  TScriptedHTTPServer server(std::vector<THTTPAnswer>(2, Ok("")));
  THTTPClient http;
  http.Post(server.URL(), folder.File("upload.txt"));
  TIdMultiPartFormDataStream multipart;
  multipart.AddFormField("field", "value");
  http.Post(server.URL(), multipart);
  const auto requests = server.Requests();
  EXPECT_EQ(requests[0].Body, "file body");
  EXPECT_EQ(HeaderOf(requests[1].Head, "Content-Type"), multipart.RequestContentType());
  EXPECT_EQ(requests[1].Body.size(), static_cast<size_t>(multipart.Size()));
  EXPECT_NE(requests[1].Body.find("value"), std::string::npos);
}

TEST(HTTPExchange, EventsCanStopAfterTheHeadersAndRewriteRedirects) {
  TScriptedHTTPServer server({Ok("unread"), Redirect(302, "/elsewhere"), Redirect(302, "/elsewhere"), Ok("rewritten")});
  THTTPClient http;
  http.OnHeadersAvailable = [](TIdCustomHTTP&, TIdHeaderList&, bool& aContinue) { aContinue = false; };
  TMemoryStream content;
  http.Get(server.URL(), &content);
  EXPECT_EQ(content.Size(), 0);
  http.OnHeadersAvailable = nullptr;
  http.OnRedirect = [](TIdCustomHTTP&, std::string& aDest, int&, bool& aHandled, std::string&) {
    aDest = "/chosen";
    aHandled = true;
  };
  http.SetHandleRedirects(false);
  http.Get(server.URL(), &content);
  EXPECT_EQ(http.Response().Location(), "/chosen");
  http.SetHandleRedirects(true);
  EXPECT_EQ(http.Get(server.URL()), "rewritten");
  const auto requests = server.Requests();
  EXPECT_EQ(requests.at(1).Connection, 1);  // the first connection was given up
  EXPECT_EQ(RequestLine(requests.at(3).Head), "GET /chosen HTTP/1.1");
}

}  // namespace
}  // namespace qtx
