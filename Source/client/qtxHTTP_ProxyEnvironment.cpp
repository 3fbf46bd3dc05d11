#include "client/qtxHTTP_ProxyEnvironment.h"

#include <arpa/inet.h>

#include <array>
#include <charconv>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

#include "http/qtxIdURI.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr std::string_view RSProxyUnusable = "The proxy \"%s\" in %s cannot be used: %s.";
constexpr std::string_view RSProxyScheme = "the scheme is not one of http, socks4, socks4a, socks5, socks5h";
constexpr std::string_view RSProxyNoHost = "it names no host";
constexpr std::string_view RSProxyPort = "the port is not a number from 1 to 65535";
constexpr uint32_t kHTTPProxyPort = 80;
constexpr uint32_t kSocksProxyPort = 1080;

struct TVariable {
  std::string Name;
  std::string Value;
};

// The first of aNames that is set to something.
std::optional<TVariable> FirstSet(std::initializer_list<const char*> aNames, const TqtxEnvironmentLookup& aLookup) {
  for (const char* name : aNames) {
    if (std::optional<std::string> value = aLookup(name); value && !value->empty()) return TVariable{name, *value};
  }
  return std::nullopt;
}

struct THostPort {
  std::string Host;  // without brackets
  std::string Port;  // empty when none is given
};

// "name", "name:port", "1.2.3.4:port", "[::1]:port" or a bare "::1".
THostPort SplitHostPort(std::string_view aText) {
  if (aText.starts_with('[')) {
    const size_t close = aText.find(']');
    if (close == std::string_view::npos) return {std::string(aText.substr(1)), {}};
    const std::string_view rest = aText.substr(close + 1);
    return {std::string(aText.substr(1, close - 1)), std::string(rest.starts_with(':') ? rest.substr(1) : "")};
  }
  const size_t colon = aText.find(':');
  if (colon == std::string_view::npos || aText.find(':', colon + 1) != std::string_view::npos) {
    return {std::string(aText), {}};
  }
  return {std::string(aText.substr(0, colon)), std::string(aText.substr(colon + 1))};
}

// An IP address as its bytes, in network order.
struct TAddress {
  int Family;
  std::array<uint8_t, 16> Bytes;
};

std::optional<TAddress> ParseAddress(const std::string& aText) {
  TAddress address{AF_INET, {}};
  if (inet_pton(AF_INET, aText.c_str(), address.Bytes.data()) == 1) return address;
  address.Family = AF_INET6;
  if (inet_pton(AF_INET6, aText.c_str(), address.Bytes.data()) == 1) return address;
  return std::nullopt;
}

// Whether the first aBits bits of both addresses agree.
bool SamePrefix(const TAddress& a, const TAddress& b, int aBits) {
  if (a.Family != b.Family) return false;
  for (size_t i = 0; aBits > 0; ++i, aBits -= 8) {
    const uint8_t mask = aBits >= 8 ? 0xFF : static_cast<uint8_t>(0xFF << (8 - aBits));
    if ((a.Bytes[i] & mask) != (b.Bytes[i] & mask)) return false;
  }
  return true;
}

std::string WithoutTrailingDot(std::string aName) {
  if (aName.ends_with('.')) aName.pop_back();
  return aName;
}

// Whether one entry of a no-proxy list covers aHost (lower case) on aPort.
bool Covers(std::string_view aEntry, const std::string& aHost, const std::string& aPort) {
  if (aEntry == "*") return true;
  std::string_view range = aEntry;
  int bits = -1;
  if (const size_t slash = aEntry.find('/'); slash != std::string_view::npos) {
    const std::string_view digits = aEntry.substr(slash + 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
    if (error != std::errc() || end != digits.data() + digits.size() || bits < 0) return false;
    range = aEntry.substr(0, slash);
  }
  const THostPort entry = SplitHostPort(range);
  if (!entry.Port.empty() && entry.Port != aPort) return false;
  const std::optional<TAddress> network = ParseAddress(entry.Host);
  if (network) {
    const std::optional<TAddress> host = ParseAddress(aHost);
    const int width = network->Family == AF_INET ? 32 : 128;
    return host && bits <= width && SamePrefix(*host, *network, bits < 0 ? width : bits);
  }
  if (bits >= 0) return false;
  std::string_view name = entry.Host;
  if (name.starts_with("*.")) name.remove_prefix(2);
  if (name.starts_with('.')) name.remove_prefix(1);
  const std::string domain = WithoutTrailingDot(LowerCase(name));
  if (domain.empty()) return false;
  return aHost == domain || (aHost.ends_with(domain) && aHost[aHost.size() - domain.size() - 1] == '.');
}

bool NoProxyCovers(const std::string& aList, const std::string& aHost, const std::string& aPort) {
  size_t start = 0;
  while (start <= aList.size()) {
    size_t end = aList.find(',', start);
    if (end == std::string::npos) end = aList.size();
    const std::string entry = Trim(std::string_view(aList).substr(start, end - start));
    if (!entry.empty() && Covers(entry, aHost, aPort)) return true;
    start = end + 1;
  }
  return false;
}

// The proxy a variable's URL names.
TqtxSocketProxy_Options ParseProxyURL(const TVariable& aVariable) {
  const auto unusable = [&](std::string_view aReason) {
    return EqtxProxyEnvironmentError(Format(RSProxyUnusable, {aVariable.Value, aVariable.Name, std::string(aReason)}));
  };
  std::string_view rest = aVariable.Value;
  std::string scheme = "http";
  if (const size_t separator = rest.find("://"); separator != std::string_view::npos) {
    scheme = LowerCase(rest.substr(0, separator));
    rest.remove_prefix(separator + 3);
  }
  TqtxSocketProxy_Options proxy;
  proxy.SetEnabled(true);
  uint32_t port = kSocksProxyPort;
  if (scheme == "http") {
    proxy.SetProxyType(pxyHTTP);
    port = kHTTPProxyPort;
  } else if (scheme == "socks4") {
    proxy.SetProxyType(pxySocks4);
  } else if (scheme == "socks4a") {
    proxy.SetProxyType(pxySocks4A);
  } else if (scheme == "socks5" || scheme == "socks5h") {
    proxy.SetProxyType(pxySocks5);
  } else {
    throw unusable(RSProxyScheme);
  }
  rest = rest.substr(0, rest.find_first_of("/?#"));
  // The login ends at the last "@": an unencoded "@" in a password stays in it.
  if (const size_t at = rest.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = rest.substr(0, at);
    const size_t colon = login.find(':');
    proxy.SetUsername(TIdURI::URLDecode(login.substr(0, colon)));
    if (colon != std::string_view::npos) proxy.SetPassword(TIdURI::URLDecode(login.substr(colon + 1)));
    rest.remove_prefix(at + 1);
  }
  const THostPort address = SplitHostPort(rest);
  if (address.Host.empty()) throw unusable(RSProxyNoHost);
  proxy.SetHost(address.Host);
  if (!address.Port.empty()) {
    const char* const last = address.Port.data() + address.Port.size();
    const auto [end, error] = std::from_chars(address.Port.data(), last, port);
    if (error != std::errc() || end != last || port == 0 || port > 65535) throw unusable(RSProxyPort);
  }
  proxy.SetPort(port);
  return proxy;
}
}  // namespace

std::optional<std::string> ProcessEnvironment(const std::string& aName) {
  const char* const value = std::getenv(aName.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::optional<TqtxSocketProxy_Options> ProxyFromEnvironment(const std::string& aURL,
                                                            const TqtxEnvironmentLookup& aLookup) {
  const TIdURI uri(aURL);
  const bool https = SameText(uri.Protocol(), "https");
  std::optional<TVariable> variable;
  if (https) {
    variable = FirstSet({"https_proxy", "HTTPS_PROXY"}, aLookup);
  } else if (SameText(uri.Protocol(), "http")) {
    variable = FirstSet({"http_proxy"}, aLookup);
  }
  if (!variable) variable = FirstSet({"all_proxy", "ALL_PROXY"}, aLookup);
  if (!variable) return std::nullopt;
  if (const std::optional<TVariable> noProxy = FirstSet({"no_proxy", "NO_PROXY"}, aLookup)) {
    const std::string port = uri.Port().empty() ? (https ? "443" : "80") : uri.Port();
    if (NoProxyCovers(noProxy->Value, WithoutTrailingDot(LowerCase(uri.Host())), port)) return std::nullopt;
  }
  return ParseProxyURL(*variable);
}

}  // namespace qtx
