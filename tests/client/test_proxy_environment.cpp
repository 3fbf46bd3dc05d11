// The proxy the environment names for a URL, read through a lookup of the
// test's own instead of the process's environment.

#include <gtest/gtest.h>

#include <map>

#include "client/qtxHTTP_ProxyEnvironment.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using TEnvironment = std::map<std::string, std::string>;

std::optional<TqtxSocketProxy_Options> ProxyFor(const std::string& aURL, const TEnvironment& aEnvironment) {
  return ProxyFromEnvironment(aURL, [&](const std::string& aName) -> std::optional<std::string> {
    const auto found = aEnvironment.find(aName);
    if (found == aEnvironment.end()) return std::nullopt;
    return found->second;
  });
}

// "type host:port user:password", or "direct".
std::string Described(const std::optional<TqtxSocketProxy_Options>& aProxy) {
  if (!aProxy) return "direct";
  EXPECT_TRUE(aProxy->Enabled());
  const char* const types[] = {"http", "socks4", "socks4a", "socks5"};
  std::string text = std::string(types[aProxy->ProxyType()]) + " " + aProxy->Host() + ":" +
                     std::to_string(aProxy->Port());
  if (!aProxy->Username().empty() || !aProxy->Password().empty()) text += " " + aProxy->Username() + ":" + aProxy->Password();
  return text;
}

TEST(ProxyEnvironment, EachSchemeTakesItsVariableAndEachProxyURLItsType) {
  struct TCase {
    std::string URL;
    TEnvironment Environment;
    std::string Expected;
  };
  const TCase cases[] = {
      {"https://api.example/v1", {{"https_proxy", "http://p:3128"}, {"HTTPS_PROXY", "http://q:1"}}, "http p:3128"},
      {"HTTPS://api.example/v1", {{"HTTPS_PROXY", "http://q:1"}}, "http q:1"},
      {"https://api.example/v1", {{"https_proxy", ""}, {"HTTPS_PROXY", "socks4://q"}}, "socks4 q:1080"},
      {"http://api.example/", {{"http_proxy", "p:8080"}}, "http p:8080"},
      // HTTP_PROXY is what a CGI program finds from a request's "Proxy:" header.
      {"http://api.example/", {{"HTTP_PROXY", "http://evil:1"}}, "direct"},
      {"http://api.example/", {{"HTTP_PROXY", "http://evil:1"}, {"ALL_PROXY", "socks5h://a"}}, "socks5 a:1080"},
      {"https://api.example/", {{"http_proxy", "http://p:1"}}, "direct"},
      {"https://api.example/", {{"all_proxy", "socks4a://a:9"}, {"ALL_PROXY", "socks5://b:9"}}, "socks4a a:9"},
      {"https://api.example/", {{"ALL_PROXY", "socks5://[::1]:9050/"}}, "socks5 ::1:9050"},
      {"https://api.example/", {{"https_proxy", "http://proxy.example"}}, "http proxy.example:80"},
      {"https://api.example/", {{"https_proxy", "SOCKS5H://u%40corp:p%3Aw%25d@h:1"}}, "socks5 h:1 u@corp:p:w%d"},
      // An unencoded "@" in the password: the host follows the last one.
      {"https://api.example/", {{"https_proxy", "http://u:p@ss@h:2"}}, "http h:2 u:p@ss"},
      {"https://api.example/", {{"https_proxy", "http://u@h:2"}}, "http h:2 u:"},
      {"https://api.example/", {}, "direct"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.URL + " " + (c.Environment.empty() ? "" : c.Environment.begin()->second));
    EXPECT_EQ(Described(ProxyFor(c.URL, c.Environment)), c.Expected);
  }
}

TEST(ProxyEnvironment, TheNoProxyListCoversNamesDomainsAddressesRangesAndPorts) {
  struct TCase {
    std::string URL;
    std::string NoProxy;
    bool Direct;
  };
  const TCase cases[] = {
      {"https://api.example/", "*", true},
      {"https://api.example/", "other.example, api.example", true},
      {"https://API.Example./", "api.example", true},
      {"https://eu.api.example/", "api.example", true},
      {"https://eu.api.example/", ".api.example", true},
      {"https://api.example/", "*.api.example", true},
      {"https://xapi.example/", "api.example", false},
      {"https://api.example.org/", "api.example", false},
      {"https://api.example/", "api.example:443", true},
      {"https://api.example:8443/", "api.example:443", false},
      {"http://api.example/", "api.example:80", true},
      {"http://10.1.2.3:8080/", "10.0.0.0/8", true},
      {"http://11.1.2.3/", "10.0.0.0/8", false},
      {"http://127.0.0.1/", "127.0.0.1", true},
      {"http://127.0.0.2/", "127.0.0.1", false},
      {"http://[::1]:8080/", "::1", true},
      {"http://[::1]:8080/", "[::1]:8080", true},
      {"http://[fd00::5]/", "fd00::/8", true},
      {"http://127.0.0.1/", "::1, 10.0.0.0/x, , localhost", false},
      {"http://localhost/", "localhost", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.URL + " against " + c.NoProxy);
    for (const char* variable : {"no_proxy", "NO_PROXY"}) {
      const auto proxy = ProxyFor(c.URL, {{"all_proxy", "socks5://p:1"}, {variable, c.NoProxy}});
      EXPECT_EQ(!proxy, c.Direct) << variable;
    }
  }
  // The lower-case list is the one read.
  EXPECT_TRUE(ProxyFor("http://a.example/", {{"all_proxy", "p"}, {"no_proxy", "b.example"}, {"NO_PROXY", "*"}}));
}

TEST(ProxyEnvironment, AProxyURLThatCannotBeUsedRaisesInsteadOfGoingDirect) {
  for (const std::string url : {"https://p:1", "ftp://p", "http://:8080", "http://p:0", "http://p:65536", "http://p:8x"}) {
    SCOPED_TRACE(url);
    const auto e = test::Raised<EqtxProxyEnvironmentError>([&] { ProxyFor("https://api.example/", {{"https_proxy", url}}); });
    EXPECT_NE(e.Message().find("\"" + url + "\" in https_proxy"), std::string::npos) << e.Message();
  }
}

}  // namespace
}  // namespace qtx
