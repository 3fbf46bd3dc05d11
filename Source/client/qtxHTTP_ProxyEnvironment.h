#pragma once
// The proxy that the conventional environment variables name for a URL, as
// command-line clients read them:
//   https_proxy, HTTPS_PROXY   for https URLs
//   http_proxy                 for http URLs (never HTTP_PROXY: a CGI
//                              program finds a request's "Proxy:" header there)
//   all_proxy, ALL_PROXY       when the scheme's own variable is not set
//   no_proxy, NO_PROXY         hosts reached directly: a comma-separated list
//                              of names (each also covering its subdomains;
//                              a leading "." or "*." changes nothing), IP
//                              addresses, address ranges ("10.0.0.0/8"),
//                              each optionally with ":port"; "*" covers all.
// The lower-case name is read first; an empty value counts as not set.
// A proxy is a URL: http://, socks4://, socks4a://, socks5:// or socks5h://
// (no scheme: http), with a user name and password, percent-encoded, when
// the proxy wants a login. Both SOCKS 5 forms leave the name lookup to the
// proxy.

#include <functional>
#include <optional>
#include <string>

#include "client/qtxSocket_Options.h"
#include "core/qtxIdException.h"

namespace qtx {

// The value of an environment variable; none when it is not set.
using TqtxEnvironmentLookup = std::function<std::optional<std::string>(const std::string& aName)>;

// The process's own environment.
std::optional<std::string> ProcessEnvironment(const std::string& aName);

// A proxy variable whose URL cannot be used (a scheme other than those
// above, no host, a port that is not a number from 1 to 65535). Going
// direct instead would bypass the proxy the user asked for.
class EqtxProxyEnvironmentError : public EIdException { using EIdException::EIdException; };

// The proxy for aURL (enabled, with its type, host, port and login), or none
// when no variable names one or the no-proxy list covers aURL's host.
std::optional<TqtxSocketProxy_Options> ProxyFromEnvironment(const std::string& aURL,
                                                            const TqtxEnvironmentLookup& aLookup);

}  // namespace qtx
