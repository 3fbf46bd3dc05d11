// TqtxIdHTTP taking its proxy from the process's environment, through the
// real proxies: tinyproxy (forwarding and CONNECT), microsocks (SOCKS 5) and
// dante (SOCKS 4), each with its login in the proxy URL, percent-encoded.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "client/qtxHTTP_Client.h"
#include "support/qtxTestCertificates.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestProxies.h"

namespace qtx {
namespace {

using test::EchoedHeader;
using test::ScopedEnvironment;
using test::TTestNginx;

const std::string kSmall(TTestNginx::kSmallBody);
// tinyproxy takes letters, digits, "-", "_" and "." in a password only.
constexpr const char* kTinyproxyPassword = "secret";
const std::string kTinyproxyLogin = "b%6Fb:s%65cret@";
constexpr const char* kMicrosocksPassword = "s@cret:1";
const std::string kMicrosocksLogin = "bob:s%40cret%3A1@";

// The proxy variables as a test sets them: aName to aValue, all others unset.
class TProxyEnvironment {
public:
  explicit TProxyEnvironment(const std::vector<std::pair<const char*, std::string>>& aValues) {
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"}) {
      const char* value = nullptr;
      for (const auto& [set, text] : aValues) {
        if (std::string(set) == name) value = text.c_str();
      }
      FVariables.push_back(std::make_unique<ScopedEnvironment>(name, value));
    }
  }

private:
  std::vector<std::unique_ptr<ScopedEnvironment>> FVariables;
};

struct TClient : TqtxIdHTTP {
  TClient() {
    SetReadTimeout(30000);
    TLSOptions().SetRootCertFile(test::TTestCertificates::Get().CAFile);
  }
};

TEST(HTTPClientProxyEnvironment, EachVariableLeadsThroughItsProxy) {
  TTestNginx nginx;
  nginx.EnableTls();
  nginx.Start();
  test::TTestTinyproxy tinyproxy({nginx.TlsPort()}, "bob", kTinyproxyPassword);
  test::TTestMicrosocks microsocks("bob", kMicrosocksPassword);
  test::TTestDante dante;
  const std::string local = "127.0.0.1:";

  // An http URL goes to the HTTP proxy in absolute form: the proxy forwards it.
  {
    TProxyEnvironment environment({{"http_proxy", "http://" + kTinyproxyLogin + local + std::to_string(tinyproxy.Port)}});
    TClient http;
    EXPECT_NE(EchoedHeader(http.Get(nginx.Url("/echo")), "Via").find("tinyproxy"), std::string::npos);
  }
  // An https URL goes through a tunnel, which each proxy reports.
  const std::string target = "localhost:" + std::to_string(nginx.TlsPort());
  struct TCase {
    const char* Variable;
    std::string Proxy;
    const test::TTestDaemon& Daemon;
    std::string Reported;
  };
  for (const TCase& c :
       {TCase{"https_proxy", "http://" + kTinyproxyLogin + local + std::to_string(tinyproxy.Port), tinyproxy.Daemon,
              "CONNECT " + target},
        TCase{"HTTPS_PROXY", "socks5h://" + kMicrosocksLogin + local + std::to_string(microsocks.Port),
              microsocks.Daemon, "connected to " + target},
        TCase{"ALL_PROXY", "socks4://" + local + std::to_string(dante.Port), dante.Daemon, "pass(1): tcp/connect"}}) {
    SCOPED_TRACE(c.Proxy);
    TProxyEnvironment environment({{c.Variable, c.Proxy}});
    TClient http;
    EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
    EXPECT_NE(c.Daemon.Output().find(c.Reported), std::string::npos) << c.Daemon.Output();
  }
}

TEST(HTTPClientProxyEnvironment, AHostOnTheNoProxyListOrAClientThatIgnoresTheEnvironmentGoesDirect) {
  TTestNginx nginx;
  nginx.EnableTls();
  nginx.Start();
  test::TTestTinyproxy tinyproxy({nginx.TlsPort()});
  const std::string proxy = "http://127.0.0.1:" + std::to_string(tinyproxy.Port);
  for (const std::string noProxy : {"localhost,127.0.0.1", "*", "127.0.0.0/8, .localhost"}) {
    SCOPED_TRACE(noProxy);
    TProxyEnvironment environment({{"https_proxy", proxy}, {"http_proxy", proxy}, {"NO_PROXY", noProxy}});
    TClient http;
    EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
    EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Via"), "");
  }
  {
    TProxyEnvironment environment({{"https_proxy", proxy}, {"http_proxy", proxy}});
    TClient http;
    http.SetUseProxyEnvironment(false);
    EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
    EXPECT_EQ(EchoedHeader(http.Get(nginx.Url("/echo")), "Via"), "");
  }
  // The proxy never saw a request.
  EXPECT_EQ(tinyproxy.Output().find("Request (file descriptor"), std::string::npos) << tinyproxy.Output();
  // A proxy of the client's own comes before the environment's.
  TProxyEnvironment environment({{"https_proxy", std::string("http://127.0.0.1:1")}});
  TClient http;
  http.Proxy().SetEnabled(true);
  http.Proxy().SetHost("127.0.0.1");
  http.Proxy().SetPort(tinyproxy.Port);
  EXPECT_EQ(http.Get(nginx.TlsUrl("/files/small")), kSmall);
  EXPECT_NE(tinyproxy.Output().find("Request (file descriptor"), std::string::npos) << tinyproxy.Output();
}

}  // namespace
}  // namespace qtx
