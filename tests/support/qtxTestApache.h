#pragma once
// apache2 from Debian run by a test on a free loopback port, in the
// foreground as one process, with a minimal configuration, password files
// and logs of its own; for the Digest authentication (mod_auth_digest,
// qop "auth", MD5) and Basic authentication tests:
//
//   test::TTestApache apache;
//   apache.AddUser("bob", "secret");       // for /basic/ and /digest/
//   apache.AddConfig("<Location /digest/>\n AuthDigestNonceLifetime 1\n</Location>");
//   apache.Start();
//   client.Get(apache.Url("/digest/page")); // http://127.0.0.1:<port>/digest/page
//
// Ready locations, each answering "<method> <request URI> <user>\n" (the
// user empty without a login) and then the request body (text/plain,
// chunked; made by a small CGI script):
//   /echo...      no authentication
//   /basic/...    Basic, realm kBasicRealm
//   /digest/...   Digest, realm kDigestRealm, qop "auth", algorithm MD5,
//                 domain "/digest/"
// Connections stay open for any number of requests.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qtxTestDaemon.h"

namespace qtx::test {

class TTestApache {
public:
  static constexpr std::string_view kBasicRealm = "qtx basic";
  static constexpr std::string_view kDigestRealm = "qtx digest";

  TTestApache();

  // Before Start: raw text for the server configuration.
  void AddConfig(const std::string& aText);
  // Any time: a user for /basic/ and /digest/.
  void AddUser(const std::string& aName, const std::string& aPassword);

  // Writes the configuration and starts apache2; throws with its own error
  // output when it does not come up.
  void Start();

  uint16_t Port() const noexcept { return FPort; }
  std::string Url(std::string_view aPath) const;
  // apache2's error log so far.
  std::string Output() const { return FDaemon.Output(); }

private:
  std::string Configuration() const;

  TTestDaemon FDaemon{"apache2"};
  uint16_t FPort;
  bool FStarted = false;
  std::string FExtraConfig;
  std::vector<std::string> FBasicUsers;   // htpasswd lines
  std::vector<std::string> FDigestUsers;  // htdigest lines
};

}  // namespace qtx::test
