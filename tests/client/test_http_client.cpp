// TqtxIdHTTP against real servers: nginx (plain and TLS), openssl s_server
// restricted to one TLS version, the in-process TLS server with the test
// PKI's certificates, and the proxies microsocks, dante and tinyproxy.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>

#include "client/qtxHTTP_Client.h"
#include "core/qtxIdSSLLibFolder.h"
#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "support/qtxTestCertStores.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestProxies.h"
#include "support/qtxTestShell.h"
#include "support/qtxTestSockets.h"
#include "support/qtxTestTls.h"
#include "tls/qtxIdSSLOpenSSL.h"

namespace qtx {
namespace {

using test::EchoedHeader;
using test::Raised;
using test::TTestCertificates;
using test::TTestNginx;

constexpr int kWait = 30000;
const std::string kSmall(TTestNginx::kSmallBody);

struct TNginx : TTestNginx {
  TNginx() {
    EnableTls();
    Start();
  }
};

// A client that trusts the test CA.
struct TClient : TqtxIdHTTP {
  TClient() {
    SetReadTimeout(kWait);
    TLSOptions().SetRootCertFile(TTestCertificates::Get().CAFile);
  }
};

bool UsesTLS(TqtxIdHTTP& aClient) { return dynamic_cast<TIdSSLIOHandlerSocketBase*>(aClient.IOHandler()) != nullptr; }

// ---------------------------------------------------------------- settings

TEST(HTTPClient, ANewClientVerifiesCertificatesAndSendsItsUserAgent) {
  TNginx nginx;
  TqtxIdHTTP http;
  EXPECT_EQ(http.Version(), "2023.3.0");
  EXPECT_FALSE(http.Log());
  EXPECT_FALSE(http.Proxy().Enabled());
  EXPECT_EQ(http.TLSOptions().Version(), tlsUndefined);
  EXPECT_EQ(http.TLSOptions().IOHandler(), iohOpenSSL);
  EXPECT_TRUE(http.TLSOptions().VerifyCertificate());
  EXPECT_EQ(http.Authentication().Token().ReadTimeout(), 60000u);
  EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "User-Agent"), "Mozilla/5.0 (qtxWebSockets 2023.3.0)");
}

TEST(HTTPClient, TLSOptionsFromATCPComponentKeepTheVerifyDepth) {
  TqtxTCPTLS_Options tcp;
  tcp.SetRootCertFile("ca.pem");
  tcp.SetVerifyCertificate(false);
  tcp.SetVerifyDepth(7);
  tcp.SetVersion(tls1_3);
  tcp.SetIOHandler(iohSChannel);
  tcp.ALPNProtocols().Add("http/1.1");
  tcp.OpenSSL_Options().SetLibPath(oslpCustomPath);
  tcp.SChannel_Options().SetCipherList("CALG_AES_256");
  TqtxIdHTTPTLS_Options fromTCP;
  fromTCP.SetVerifyDepth(2);
  fromTCP.Assign(tcp);
  TqtxIdHTTPTLS_Options copy;
  static_cast<TqtxSocketTLS_Options&>(copy) = tcp;
  for (const TqtxIdHTTPTLS_Options* options : {&fromTCP, &copy}) {
    EXPECT_EQ(options->RootCertFile(), "ca.pem");
    EXPECT_FALSE(options->VerifyCertificate());
    EXPECT_EQ(options->Version(), tls1_3);
    EXPECT_EQ(options->IOHandler(), iohSChannel);
    EXPECT_EQ(options->ALPNProtocols().Text(), "http/1.1\r\n");
    EXPECT_EQ(options->OpenSSL_Options().LibPath(), oslpCustomPath);
    EXPECT_EQ(options->SChannel_Options().CipherList(), "CALG_AES_256");
  }
  EXPECT_EQ(fromTCP.VerifyDepth(), 2);
  EXPECT_EQ(copy.VerifyDepth(), 7);
}

// The OpenSSL loader's generation and folder are set when a TLS handler is
// built; the handler is built before anything connects.
TEST(HTTPClient, TheOpenSSLOptionsSetTheLoadersGenerationAndFolder) {
  const std::string folder = GetOpenSSLLibFolder();
  const int generation = OpenSSLGeneration();
  struct TCase {
    TwsOpenSSLAPI API;
    TwsOpenSSLLibPath Path;
    std::string Expected;
  };
  const std::string executable = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
  for (const TCase& c : {TCase{oslAPI_1_1, oslpCustomPath, "/opt/ssl/"}, TCase{oslAPI_1_0, oslpNone, "/opt/ssl/"},
                         TCase{oslAPI_3_0, oslpDefaultFolder, executable}}) {
    TqtxIdHTTP http;
    http.TLSOptions().OpenSSL_Options().SetAPIVersion(c.API);
    http.TLSOptions().OpenSSL_Options().SetLibPath(c.Path);
    http.TLSOptions().OpenSSL_Options().SetLibPathCustom("/opt/ssl");
    EXPECT_ANY_THROW(http.Get("https://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/"));
    EXPECT_EQ(GetOpenSSLLibFolder(), c.Expected);
    EXPECT_EQ(OpenSSLGeneration(), static_cast<int>(c.API));
  }
  SetOpenSSLLibFolder(folder);
  SetOpenSSLGeneration(generation);
}

// ---------------------------------------------------------------- TLS

TEST(HTTPClient, TheSchemeInAnyLetterCaseChoosesTheTransport) {
  TNginx nginx;
  TClient http;
  const std::string tlsHost = "://localhost:" + std::to_string(nginx.TlsPort());
  struct TCase {
    std::string URL;
    bool TLS;
  };
  // https, http, https: the plain request frees the TLS handler, and the
  // next https request builds another.
  for (const TCase& c : {TCase{"HTTPS" + tlsHost + "/files/small", true}, TCase{"hTtPs" + tlsHost + "/files/small", true},
                         TCase{nginx.Url("/files/small"), false}, TCase{"https" + tlsHost + "/files/small", true}}) {
    EXPECT_EQ(http.Get(c.URL), kSmall) << c.URL;
    EXPECT_EQ(UsesTLS(http), c.TLS) << c.URL;
  }
  // After a plain request the next https request builds its handler from the
  // options as they are then.
  http.TLSOptions().SetRootCertFile("");
  EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall);
  EXPECT_THROW(http.Get(nginx.TlsUrl("/files/small")), EIdOSSLConnectError);
}

TEST(HTTPClient, VerificationIsOnUnlessSwitchedOff) {
  const TTestCertificates& pki = TTestCertificates::Get();
  struct TCase {
    const char* Name;
    std::string Cert, Key;
    bool Verify;
    bool TrustTestCA;
    bool Accepted;
  };
  for (const TCase& c : {TCase{"test CA trusted", pki.ServerCert, pki.ServerKey, true, true, true},
                         TCase{"default: only the system's CAs", pki.ServerCert, pki.ServerKey, true, false, false},
                         TCase{"another host's certificate", pki.OtherHostCert, pki.OtherHostKey, true, true, false},
                         TCase{"an unknown CA's certificate", pki.UnknownCACert, pki.UnknownCAKey, true, true, false},
                         TCase{"verification off", pki.UnknownCACert, pki.UnknownCAKey, false, false, true}}) {
    SCOPED_TRACE(c.Name);
    test::TTlsTestServer::TOptions options;
    options.CertFile = c.Cert;
    options.KeyFile = c.Key;
    test::TTlsTestServer server(options, [](test::TTlsTestConnection& aConnection) {
      aConnection.ReadUntil("\r\n\r\n");
      aConnection.Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    });
    TqtxIdHTTP http;
    http.SetReadTimeout(kWait);
    http.TLSOptions().SetVerifyCertificate(c.Verify);
    if (c.TrustTestCA) http.TLSOptions().SetRootCertFile(pki.CAFile);
    const std::string url = "https://localhost:" + std::to_string(server.Port()) + "/";
    if (c.Accepted) {
      EXPECT_EQ(http.Get(url), "ok");
    } else {
      const auto e = Raised<EIdOSSLConnectError>([&] { http.Get(url); });
      EXPECT_NE(e.Message().find("certificate verify failed"), std::string::npos) << e.Message();
    }
  }
}

TEST(HTTPClient, TheSChannelChannelVerifiesAgainstTheRootStore) {
  TNginx nginx;
  test::TTestCertStores stores;
  TqtxIdHTTP http;
  http.SetReadTimeout(kWait);
  http.TLSOptions().SetIOHandler(iohSChannel);
  EXPECT_THROW(http.Get(nginx.TlsUrl("/files/small")), SChannelError);
  stores.Add("Root", TTestCertificates::Get().CAFile);
  EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  EXPECT_NE(dynamic_cast<TqtxIdSSLIOHandlerSocketSChannel*>(http.IOHandler()), nullptr);
}

TEST(HTTPClient, BothChannelsOfferTheALPNProtocolsAndTheVersionOfTheOptions) {
  test::TTestCertStores stores;
  stores.Add("Root", TTestCertificates::Get().CAFile);
  test::TTlsTestServer::TOptions options;
  options.CertFile = TTestCertificates::Get().ServerCert;
  options.KeyFile = TTestCertificates::Get().ServerKey;
  options.ALPN = {"http/1.1"};
  for (const TwsTLSIOHandler channel : {iohOpenSSL, iohSChannel}) {
    SCOPED_TRACE(channel);
    test::TTlsTestServer server(options, [](test::TTlsTestConnection& aConnection) {
      aConnection.ReadUntil("\r\n\r\n");
      const std::string body = aConnection.ALPNProtocol() + " " + aConnection.Version();
      aConnection.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body);
    });
    TClient http;
    http.TLSOptions().SetIOHandler(channel);
    http.TLSOptions().SetVersion(tls1_2);
    http.TLSOptions().ALPNProtocols().Add("h2");
    http.TLSOptions().ALPNProtocols().Add("http/1.1");
    EXPECT_EQ(http.Get("https://localhost:" + std::to_string(server.Port()) + "/"), "http/1.1 TLSv1.2");
  }
}

TEST(HTTPClient, TheTLSVersionLimitsWhatTheOpenSSLHandlerAccepts) {
  const TTestCertificates& pki = TTestCertificates::Get();
  test::TOpenSSLServer tls12({"-tls1_2", "-www", "-cert", pki.ServerCert, "-key", pki.ServerKey});
  test::TOpenSSLServer tls13({"-tls1_3", "-www", "-cert", pki.ServerCert, "-key", pki.ServerKey});
  struct TCase {
    TwsTLSVersions Version;
    bool Accepts12, Accepts13;
  };
  for (const TCase& c : {TCase{tlsUndefined, true, true}, TCase{tls1_2, true, false}, TCase{tls1_3, false, true}}) {
    for (const auto& [server, accepted, name] : {std::tuple{&tls12, c.Accepts12, "TLSv1.2"},
                                                 std::tuple{&tls13, c.Accepts13, "TLSv1.3"}}) {
      SCOPED_TRACE(std::to_string(c.Version) + " against " + name);
      TClient http;
      http.TLSOptions().SetVersion(c.Version);
      const std::string url = "https://localhost:" + std::to_string(server->Port()) + "/";
      if (accepted) {
        EXPECT_NE(http.Get(url).find(name), std::string::npos);
      } else {
        EXPECT_THROW(http.Get(url), EIdOSSLConnectError);
      }
    }
  }
}

// ---------------------------------------------------------------- proxies

// A SOCKS 4A proxy that answers the request it carries itself: it grants
// the tunnel to "localhost":aPort only and then plays the web server.
struct TSocks4AProxy {
  explicit TSocks4AProxy(uint16_t aPort)
      : Server([aPort](test::TTestPeer& aPeer, int) {
          const std::string request = aPeer.ReadText(8);
          const std::string user = aPeer.ReadUntil(std::string(1, '\0'));
          const std::string host = aPeer.ReadUntil(std::string(1, '\0'));
          const std::string expected{'\x04', '\x01', static_cast<char>(aPort >> 8), static_cast<char>(aPort & 0xFF)};
          const bool granted = request.substr(0, 4) == expected && request.substr(4, 3) == std::string(3, '\0') &&
                               request[7] != '\0' && host == std::string("localhost", 10);
          aPeer.Write(std::string{'\0', granted ? '\x5A' : '\x5B', '\0', '\0', '\0', '\0', '\0', '\0'});
          if (!granted) return;
          aPeer.ReadUntil("\r\n\r\n");
          aPeer.Write("HTTP/1.1 200 OK\r\nContent-Length: 12\r\nConnection: close\r\n\r\nvia socks4a\n");
        }) {}
  test::TScriptedServer Server;
};

TEST(HTTPClient, EveryProxyTypeCarriesARequest) {
  TNginx nginx;
  test::TTestTinyproxy tinyproxy({nginx.TlsPort()}, "bob", "secret");
  test::TTestDante dante;
  test::TTestMicrosocks microsocks("bob", "secret");
  TSocks4AProxy socks4a(nginx.Port());
  struct TCase {
    TwsProxy Type;
    uint16_t Port;
    std::string URL;
    std::string Expected;
  };
  const std::string socks4aURL = "http://localhost:" + std::to_string(nginx.Port()) + "/files/small";
  for (const TCase& c : {TCase{pxyHTTP, tinyproxy.Port, nginx.TlsUrl("/files/small"), kSmall},
                         TCase{pxySocks4, dante.Port, nginx.TlsUrl("/files/small"), kSmall},
                         TCase{pxySocks5, microsocks.Port, nginx.TlsUrl("/files/small"), kSmall},
                         TCase{pxySocks5, microsocks.Port, nginx.Url("/files/small"), kSmall},
                         TCase{pxySocks4A, socks4a.Server.Port(), socks4aURL, "via socks4a\n"}}) {
    SCOPED_TRACE(std::to_string(c.Type) + " " + c.URL);
    TClient http;
    http.Proxy().SetEnabled(true);
    http.Proxy().SetProxyType(c.Type);
    http.Proxy().SetHost("127.0.0.1");
    http.Proxy().SetPort(c.Port);
    http.Proxy().SetUsername(c.Type == pxySocks4 || c.Type == pxySocks4A ? "" : "bob");
    http.Proxy().SetPassword("secret");
    EXPECT_EQ(http.Get(c.URL), c.Expected);
  }
  EXPECT_NE(tinyproxy.Output().find("CONNECT"), std::string::npos);
  EXPECT_NE(dante.Output().find("pass"), std::string::npos);
}

TEST(HTTPClient, AProxySwitchedOffIsLeftAtTheNextRequest) {
  TNginx nginx;
  TClient http;
  {
    test::TTestMicrosocks microsocks;
    http.Proxy().SetEnabled(true);
    http.Proxy().SetProxyType(pxySocks5);
    http.Proxy().SetHost("127.0.0.1");
    http.Proxy().SetPort(microsocks.Port);
    EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  }
  // The tunnel through the proxy that is gone now must not be reused.
  http.Proxy().SetEnabled(false);
  EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  http.Proxy().SetEnabled(true);
  http.Proxy().SetPort(70000);
  EXPECT_THROW(http.Get(nginx.TlsUrl("/files/small")), EqtxHTTPProxyPortError);
}

// ---------------------------------------------------------------- traffic log

// Whether the process holds the file open.
bool IsOpen(const std::string& aFileName) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == aFileName) return true;
  }
  return false;
}

std::string FileText(const std::string& aFileName) { return test::Text(test::ReadFileBytes(aFileName)); }

TEST(HTTPClient, TheLogIsWrittenClosedAndAppendedTo) {
  TNginx nginx;
  test::TTempFolder folder;
  const std::string file = folder.File("traffic.log");
  TClient http;
  http.LogOptions().SetFileName(file);
  http.SetLog(true);
  EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall);
  const std::string first = FileText(file);
  EXPECT_EQ(first.substr(0, 22), "Stat Connected.\r\nSent ");
  // "Sent yyyy-mm-dd hh:nn:ss: " and the request as it went, line ends and all.
  EXPECT_EQ(first.substr(41, 35), ": GET /files/small HTTP/1.1\r\nHost: ");
  EXPECT_NE(first.find("\r\nRecv "), std::string::npos);
  EXPECT_NE(first.find(kSmall + "\r\n"), std::string::npos);
  struct stat status {};
  ASSERT_EQ(stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  http.SetLog(false);
  EXPECT_FALSE(IsOpen(file));
  EXPECT_EQ(http.Get(nginx.Url("/files/small")), kSmall);
  EXPECT_EQ(FileText(file), first);

  http.SetLog(true);
  EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  EXPECT_TRUE(IsOpen(file));
  const std::string all = FileText(file);
  EXPECT_EQ(all.substr(0, first.size()), first);
  // Through TLS the log holds what the connection carried in the clear.
  EXPECT_NE(all.find("Stat Connected.\r\nSent ", first.size()), std::string::npos);
  EXPECT_NE(all.find(": GET /files/small HTTP/1.1\r\nHost: localhost:", first.size()), std::string::npos);
}

// ---------------------------------------------------------------- bearer tokens

// A token source of the test's own: answers each Start with "token-<n>" or
// an error, at once on the caller's thread or later from a thread of its own,
// or never.
template <typename TSource>
class TTestTokenSource : public TSource {
public:
  enum TAnswer { Token, Error, Never };
  TTestTokenSource(TAnswer aAnswer, int aDelayMs = -1) : FAnswer(aAnswer), FDelayMs(aDelayMs) {}
  ~TTestTokenSource() override {
    if (FThread.joinable()) FThread.join();
  }
  int Starts = 0;
  std::atomic<bool> ErrorRaisedInSource{false};

  void Start() override {
    ++Starts;
    if (FAnswer == Never) return;
    if (FDelayMs < 0) return Answer(Starts);
    if (FThread.joinable()) FThread.join();
    FThread = std::thread([this, n = Starts] {
      std::this_thread::sleep_for(std::chrono::milliseconds(FDelayMs));
      try {
        Answer(n);
      } catch (const EqtxHTTPAuthTokenError&) {
        ErrorRaisedInSource = true;
      }
    });
  }

private:
  void Answer(int aNumber) {
    if (FAnswer == Token) {
      this->FireAuthToken("Bearer", "token-" + std::to_string(aNumber));
    } else {
      this->FireAuthTokenError("invalid_client", "The secret is wrong.");
    }
  }

  TAnswer FAnswer;
  int FDelayMs;
  std::thread FThread;
};
using TOAuthSource = TTestTokenSource<TqtxHTTPComponentClient_OAuth>;
using TJWTSource = TTestTokenSource<TqtxHTTPComponentClient_JWT>;

TEST(HTTPClient, ATokenReplacesEveryAuthorizationLine) {
  TNginx nginx;
  TOAuthSource source(TOAuthSource::Token);
  TClient http;
  http.Authentication().Token().SetOAuth(&source);
  http.Request().CustomHeaders().Add("authorization: Basic b2xkOm9sZA==");
  http.Request().CustomHeaders().Add("Authorization-Extra: x");
  http.Request().CustomHeaders().Add("X-Kept: y");
  const std::string echo = http.Get(nginx.Url("/echo"));
  EXPECT_EQ(EchoedHeader(echo, "Authorization"), "Bearer token-1");
  EXPECT_EQ(echo.find("uthorization-Extra"), std::string::npos);
  EXPECT_EQ(echo.find("Basic"), std::string::npos);
  EXPECT_EQ(EchoedHeader(echo, "X-Kept"), "y");
  // The token is kept for the next request.
  EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Authorization"), "Bearer token-1");
  EXPECT_EQ(source.Starts, 1);
}

TEST(HTTPClient, ATokenSourceAnswersLateNeverOrWithAnError) {
  TNginx nginx;
  struct TCase {
    const char* Name;
    TOAuthSource::TAnswer Answer;
    int DelayMs;
    uint32_t ReadTimeout;
    std::string Authorization;  // empty: none sent
    bool Raises;
  };
  for (const TCase& c : {TCase{"from another thread", TOAuthSource::Token, 100, kWait, "Bearer token-1", false},
                         TCase{"after the wait", TOAuthSource::Token, 500, 50, "", false},
                         TCase{"never", TOAuthSource::Never, -1, 50, "", false},
                         TCase{"an error from another thread", TOAuthSource::Error, 100, kWait, "", true},
                         TCase{"an error at once", TOAuthSource::Error, -1, kWait, "", true}}) {
    SCOPED_TRACE(c.Name);
    TOAuthSource source(c.Answer, c.DelayMs);
    // The client goes before the source's late answer arrives.
    auto http = std::make_unique<TClient>();
    http->Authentication().Token().SetOAuth(&source);
    http->Authentication().Token().SetReadTimeout(c.ReadTimeout);
    if (c.Raises) {
      const auto e = Raised<EqtxHTTPAuthTokenError>([&] { http->Get(nginx.Url("/echo")); });
      EXPECT_EQ(e.Message(), "Error invalid_client. The secret is wrong.");
    } else {
      EXPECT_EQ(EchoedHeader(http->Get(nginx.Url("/echo")), "Authorization"), c.Authorization);
    }
    http.reset();
  }
}

TEST(HTTPClient, AJWTTokenIsFetchedAgainOnceExpired) {
  TNginx nginx;
  for (const uint32_t lifetime : {0u, 3600u}) {
    SCOPED_TRACE(lifetime);
    TJWTSource source(TJWTSource::Token);
    source.JWTOptions().SetRefreshTokenAfter(lifetime);
    TClient http;
    http.Authentication().Token().SetJWT(&source);
    EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Authorization"), "Bearer token-1");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string expected = lifetime == 0 ? "Bearer token-2" : "Bearer token-1";
    EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Authorization"), expected);
  }
}

TEST(HTTPClient, AFreedTokenSourceIsForgotten) {
  TNginx nginx;
  TClient http;
  {
    TOAuthSource source(TOAuthSource::Never);
    http.Authentication().Token().SetOAuth(&source);
  }
  EXPECT_EQ(http.Authentication().Token().OAuth(), nullptr);
  EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Authorization"), "");
}

}  // namespace
}  // namespace qtx
