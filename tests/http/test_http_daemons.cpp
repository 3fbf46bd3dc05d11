// The HTTP engine against real servers from Debian packages, each started
// by the test on free loopback ports: nginx (plain and TLS), apache2 with
// Digest authentication, tinyproxy (forwarding and CONNECT, with and without
// a login) and microsocks (SOCKS 5). A missing daemon fails the test.

#include <gtest/gtest.h>

#include "http/qtxIdCompressorZLib.h"
#include "http/qtxIdHTTP.h"
#include "support/qtxTestApache.h"
#include "support/qtxTestCertificates.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestProxies.h"
#include "support/qtxTestSockets.h"
#include "tls/qtxIdSSLOpenSSL.h"
#include "transport/qtxIdSocks.h"

namespace qtx {
namespace {

using test::EchoedHeader;
using test::Raised;
using test::TTestNginx;

constexpr int kWait = 30000;
const std::string kSmall(TTestNginx::kSmallBody);

// nginx with TLS, a user for /basic/, a page, and a location that names the
// TLS server name the client asked for.
struct TNginx : TTestNginx {
  TNginx() {
    EnableTls();
    AddUser("bob", "secret");
    AddFile("page.html", "<html><head><title>t</title></head><body>" + std::string(2000, 'x') + "</body></html>");
    AddConfig("location = /sni { return 200 \"$ssl_server_name\"; }");
    Start();
  }
};

// A client that trusts the test CA and counts its connections.
struct TClient : TIdHTTP {
  TIdSSLIOHandlerSocketOpenSSL TLS;
  int Connections = 0;
  // With a login, challenges are answered in the call.
  explicit TClient(const std::string& aUser = "", const std::string& aPassword = "") {
    if (!aUser.empty()) {
      SetHTTPOptions({hoInProcessAuth});
      Request().SetUsername(aUser);
      Request().SetPassword(aPassword);
    }
    SetReadTimeout(kWait);
    TLS.SSLOptions().SetRootCertFile(test::TTestCertificates::Get().CAFile);
    TLS.SSLOptions().SetVerifyMode({sslvrfPeer});
    SetIOHandler(&TLS);
    OnStatus = [this](TIdComponent&, TIdStatus aStatus, const std::string&) { Connections += aStatus == hsConnected; };
  }
};

TEST(HTTPWithNginx, FetchesOverHTTPAndHTTPSOnOneKeptConnectionEach) {
  TNginx nginx;
  TClient http;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall);
  EXPECT_EQ(http.Connections, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  EXPECT_EQ(http.Connections, 2);
  EXPECT_EQ(http.Get(nginx.TlsUrl("/sni")), "localhost");
  EXPECT_EQ(http.TLS.GetSSLVersion().substr(0, 4), "TLSv");
}

// nginx offers TLS 1.2 and 1.3 only, as current servers do: a client given
// no IO handler makes a TLS one with the default settings and reaches it.
TEST(HTTPWithNginx, ADefaultClientFetchesHTTPSThroughAHandlerMadeOnDemand) {
  TNginx nginx;
  TIdHTTP plain;
  plain.SetReadTimeout(kWait);
  EXPECT_EQ(plain.Get(nginx.TlsUrl("/files/small")), kSmall);
  EXPECT_TRUE(plain.ManagedIOHandler());
  const auto* tls = dynamic_cast<TIdSSLIOHandlerSocketOpenSSL*>(plain.IOHandler());
  ASSERT_NE(tls, nullptr);
  EXPECT_EQ(tls->GetSSLVersion(), "TLSv1.3");
  EXPECT_EQ(plain.Get(nginx.TlsUrl("/sni")), "localhost");
  EXPECT_EQ(plain.Get(nginx.Url("/files/small")), kSmall);
}

TEST(HTTPWithNginx, ReadsChunkedAndGzipBodies) {
  TNginx nginx;
  TClient http;
  EXPECT_EQ(http.Get(nginx.Url("/chunked/small")), kSmall);
  std::string expected;
  for (std::string_view chunk : TTestNginx::kChunks) expected += chunk;
  int chunks = 0;
  http.OnChunkReceived = [&](TIdCustomHTTP&, TIdBytes&) { ++chunks; };
  EXPECT_EQ(http.Get(nginx.TlsUrl("/chunked")), expected);
  EXPECT_EQ(chunks, 3);
  http.OnChunkReceived = nullptr;

  const std::string page = http.Get(nginx.Url("/files/page.html"));
  TIdCompressorZLib zlib;
  http.SetCompressor(&zlib);
  EXPECT_EQ(http.Get(nginx.Url("/gzip/page.html")), page);
  EXPECT_EQ(http.Response().ContentEncoding(), "gzip");
  EXPECT_EQ(http.Get(nginx.TlsUrl("/gzip/page.html")), page);
}

TEST(HTTPWithNginx, FollowsRedirectsByTheirRules) {
  TNginx nginx;
  TClient http;
  http.SetHandleRedirects(true);
  struct TCase {
    int Code;
    std::string Line;
    std::string Body;
  };
  for (const TCase& c : {TCase{301, "POST /echo HTTP/1.0", "data"}, TCase{302, "POST /echo HTTP/1.0", "data"},
                         TCase{303, "GET /echo HTTP/1.0", ""}, TCase{307, "POST /echo HTTP/1.0", "data"},
                         TCase{308, "POST /echo HTTP/1.0", "data"}}) {
    TStringStream body("data");
    const std::string echo = http.Post(nginx.Url("/redirect/" + std::to_string(c.Code)), &body);
    EXPECT_EQ(echo.substr(0, echo.find("\r\n")), c.Line) << c.Code;
    EXPECT_EQ(echo.substr(echo.find("\r\n\r\n") + 4), c.Body) << c.Code;
  }
  http.SetHTTPOptions({hoTreat302Like303});
  TStringStream body("data");
  EXPECT_EQ(http.Post(nginx.Url("/redirect/302"), &body).substr(0, 14), "GET /echo HTTP");
  EXPECT_EQ(http.Get(nginx.TlsUrl("/chain/5")).substr(0, 14), "GET /echo HTTP");
  EXPECT_EQ(http.RedirectCount(), 5);
  http.Get(nginx.Url("/loop"));
  EXPECT_EQ(http.ResponseCode(), 302);
  EXPECT_EQ(http.RedirectCount(), 15);
}

TEST(HTTPWithNginx, AnswersBasicChallengesAlsoAfterARedirect) {
  TNginx nginx;
  TClient http("bob", "secret");
  EXPECT_EQ(http.Get(nginx.TlsUrl("/basic/x")), "user bob\n");
  TClient fresh("bob", "secret");
  fresh.SetHandleRedirects(true);
  EXPECT_EQ(fresh.Get(nginx.Url("/redirect/302?to=/basic/y")), "user bob\n");
  fresh.Request().SetPassword("wrong");
  fresh.Request().SetAuthentication(nullptr);
  EXPECT_EQ(Raised<EIdHTTPProtocolException>([&] { fresh.Get(nginx.Url("/basic/z")); }).ErrorCode(), 401);
}

TEST(HTTPWithNginx, HandlesBodilessAndErrorAnswers) {
  TNginx nginx;
  TClient http;
  http.Head(nginx.Url("/files/small"));
  EXPECT_EQ(http.Response().ContentLength(), 100);
  EXPECT_EQ(http.Get(nginx.Url("/status/204")), "");
  EXPECT_EQ(http.ResponseCode(), 204);
  http.Get(nginx.Url("/files/small"));
  http.Request().SetLastModified(http.Response().LastModified());
  EXPECT_EQ(Raised<EIdHTTPProtocolException>([&] { http.Get(nginx.Url("/files/small")); }).ErrorCode(), 304);
  http.Request().SetLastModified(0);
  const auto e = Raised<EIdHTTPProtocolException>([&] { http.Get(nginx.TlsUrl("/status/404")); });
  EXPECT_EQ(e.ErrorCode(), 404);
  EXPECT_EQ(e.ErrorMessage(), "status 404\n");
  EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall);
  EXPECT_EQ(http.Connections, 3);  // plain, TLS, plain again
}

TEST(HTTPWithNginx, KeepsCookiesAcrossRequestsAndRedirects) {
  TNginx nginx;
  TClient http;
  http.SetHandleRedirects(true);
  http.Get(nginx.Url("/cookies"));
  const std::string echo = http.Get(nginx.Url("/cookies/redirect"));
  EXPECT_EQ(EchoedHeader(echo, "Cookie"), "session=abc123; theme=dark; hop=1");
  http.SetAllowCookies(false);
  EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Cookie"), "");
}

TEST(HTTPWithApache, AnswersDigestChallenges) {
  test::TTestApache apache;
  apache.AddUser("bob", "secret");
  apache.Start();
  TClient http("bob", "secret");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(http.Get(apache.Url("/digest/page")), "GET /digest/page bob\n");
  TStringStream body("posted");
  EXPECT_EQ(http.Post(apache.Url("/digest/form"), &body), "POST /digest/form bob\nposted");
}

TEST(HTTPThroughProxies, ReachesNginxThroughTinyproxyWithAndWithoutALogin) {
  TNginx nginx;
  for (const std::string user : {"", "bob"}) {
    test::TTestTinyproxy proxy({nginx.TlsPort()}, user, "secret");
    TClient http;
    http.SetHTTPOptions({hoInProcessAuth});
    http.ProxyParams().SetProxyServer("127.0.0.1");
    http.ProxyParams().SetProxyPort(proxy.Port);
    http.ProxyParams().SetProxyUsername(user);
    http.ProxyParams().SetProxyPassword("secret");
    EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall) << user;
    EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall) << user;
    EXPECT_EQ(http.Get(nginx.TlsUrl("/sni")), "localhost");
    EXPECT_EQ(EchoedHeader(http.Get(nginx.TlsUrl("/echo")), "Proxy-Authorization"), "");
    // The login went out only in answer to tinyproxy's 407.
    EXPECT_EQ(http.ProxyParams().Authentication() != nullptr, !user.empty()) << user;
  }
}

TEST(HTTPThroughProxies, ReachesNginxOverTLSThroughMicrosocks) {
  TNginx nginx;
  test::TTestMicrosocks microsocks;
  TIdSocksInfo socks;
  socks.SetVersion(svSocks5);
  socks.SetHost("127.0.0.1");
  socks.SetPort(microsocks.Port);
  TClient http;
  http.TLS.SetTransparentProxy(&socks);
  EXPECT_EQ(http.Get(nginx.TlsUrl("/sni")), "localhost");
  EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall);
}

}  // namespace
}  // namespace qtx
