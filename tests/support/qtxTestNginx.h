#pragma once
// nginx (Debian's nginx-light: nginx with the echo module) run by a test as
// one unprivileged process on free loopback ports, with a configuration,
// files, logs and temporary folders of its own. A test adds what it needs,
// starts it, and reads its URLs:
//
//   test::TTestNginx nginx;
//   nginx.EnableTls();                           // a second, TLS port
//   nginx.AddFile("page.html", "<html>...</html>");
//   nginx.AddSparseFile("huge", 1ull << 30);      // 1 GiB of zeros, no disk
//   nginx.AddUser("bob", "secret");              // for /basic/
//   nginx.AddProxy("/v1/", mock.Port());         // streams, no buffering
//   nginx.AddConfig("location = /teapot { return 418; }");
//   nginx.Start();
//   client.Get(nginx.Url("/files/page.html"));   // http://127.0.0.1:<port>/...
//   client.Get(nginx.TlsUrl("/echo"));           // https://localhost:<port>/...
//
// Ready locations (on both ports):
//   /files/<name>     the file as stored: Content-Length, Last-Modified, ETag,
//                     ranges; If-Modified-Since at or after the file's time
//                     answers 304. "small" holds kSmallBody.
//   /chunked/<name>   the same file with Transfer-Encoding: chunked
//   /gzip/<name>      the same file gzip-encoded when the request accepts
//                     gzip (chunked; "Vary: Accept-Encoding")
//   /chunked          kChunks, one chunk each
//   /echo...          the request as nginx received it: request line and
//                     header lines exactly as sent, the empty line, then the
//                     body (any method and size; text/plain, chunked)
//   /status/<code>    that status, with the body "status <code>\n" (none for
//                     204); codes in kStatusCodes
//   /redirect/<code>?to=<target>  301, 302, 303, 307 or 308 with Location
//                     <target> as given (relative stays relative; default /echo)
//   /chain/<n>        a 302 chain: /chain/n -> /chain/n-1 ... /chain/1 -> /echo,
//                     n up to kChainLength
//   /loop             302 to itself, for ever
//   /basic/...        Basic authentication (realm kBasicRealm) against the
//                     users added; answers "user <name>\n"
//   /cookies          sets "session=abc123; Path=/" and
//                     "theme=dark; Path=/; HttpOnly", body "cookies set\n"
//   /cookies/redirect sets "hop=1; Path=/" and redirects (302) to /echo
// An HTTP/1.0 request to a chunked location gets a body ended by the close.
// Connections stay open for any number of requests. nginx answers TRACE with
// 405 whatever the location.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qtxTestDaemon.h"

namespace qtx::test {

class TTestNginx {
public:
  // 100 bytes, the content of /files/small.
  static constexpr std::string_view kSmallBody =
      "The small body of the test web server, exactly one hundred bytes long, "
      "for many quick requests.....\n";
  static constexpr std::array<std::string_view, 3> kChunks{"first chunk, ", "second chunk, ", "last chunk\n"};
  static constexpr std::array<int, 8> kStatusCodes{201, 204, 400, 403, 404, 410, 500, 503};
  static constexpr int kChainLength = 20;
  static constexpr std::string_view kBasicRealm = "qtx basic";

  TTestNginx();

  // Before Start: a second port that talks TLS 1.2 and 1.3 with the test
  // CA's "localhost" certificate (TTestCertificates).
  void EnableTls();
  // Before Start: a location at aPrefix passed to 127.0.0.1:aPort unbuffered
  // both ways, so streamed answers arrive as the upstream sends them.
  void AddProxy(const std::string& aPrefix, uint16_t aPort);
  // Before Start: raw text for the server block (locations, directives).
  void AddConfig(const std::string& aText);

  // Any time: a file under /files/ (and /chunked/, /gzip/).
  void AddFile(const std::string& aName, std::string_view aContent) const;
  // Any time: a file of aSize zero bytes that takes no disk space.
  void AddSparseFile(const std::string& aName, uint64_t aSize) const;
  // Any time: a user for /basic/.
  void AddUser(const std::string& aName, const std::string& aPassword);

  // Writes the configuration and starts nginx; throws with nginx's own
  // error output when it does not come up.
  void Start();

  uint16_t Port() const noexcept { return FPort; }
  uint16_t TlsPort() const noexcept { return FTlsPort; }
  std::string Url(std::string_view aPath) const;
  std::string TlsUrl(std::string_view aPath) const;
  // nginx's error log so far.
  std::string Output() const { return FDaemon.Output(); }

private:
  std::string Configuration() const;
  std::string FilesFolder() const { return FDaemon.File("www/files"); }
  void RequireNotStarted() const;

  TTestDaemon FDaemon{"nginx"};
  uint16_t FPort;
  uint16_t FTlsPort = 0;
  bool FStarted = false;
  std::string FExtraConfig;
  std::vector<std::string> FUsers;  // htpasswd lines
};

// The value of the header line aName in the request /echo answered with
// ("" when it has none).
std::string EchoedHeader(const std::string& aEcho, const std::string& aName);

}  // namespace qtx::test
