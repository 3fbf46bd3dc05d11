// The web servers that the HTTP tests run (nginx and apache2 from Debian),
// started as those tests start them and asked over plain loopback sockets:
// each comes up on a fresh machine and answers its ready locations the way
// the HTTP tests rely on.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "support/qtxTestApache.h"
#include "support/qtxTestNginx.h"
#include "support/qtxSocketIOHandler.h"
#include "support/qtxTestShell.h"
#include "support/qtxTestSockets.h"

namespace qtx {
namespace {

using test::TTestApache;
using test::TTestNginx;

// Everything the server answers to aRequest on a connection of its own.
std::string Exchange(uint16_t aPort, const std::string& aRequest) {
  test::TTestPeer peer(test::ConnectLoopback(aPort));
  peer.Write(aRequest);
  return test::Text(peer.ReadToEnd());
}

std::string Get(const std::string& aPath, const std::string& aHeaders = "") {
  return "GET " + aPath + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + aHeaders + "\r\n";
}

const std::string kBobBasic = "Authorization: Basic Ym9iOnNlY3JldA==\r\n";  // bob:secret

TEST(TTestNginx, AnswersItsReadyLocations) {
  TTestNginx nginx;
  nginx.AddUser("bob", "secret");
  nginx.Start();
  const std::string echoed = "POST /echo/x?y=1 HTTP/1.0\r\nX-Probe: 1\r\nContent-Length: 4\r\n\r\nbody";
  const struct {
    std::string Request;
    std::string StatusLine;
    std::string Contains;
  } cases[] = {
      {Get("/files/small"), "HTTP/1.1 200 OK", "Content-Length: 100\r\n"},
      {Get("/files/small"), "HTTP/1.1 200 OK", "\r\n\r\n" + std::string(TTestNginx::kSmallBody)},
      {Get("/files/small", "If-Modified-Since: Fri, 01 Jan 2100 00:00:00 GMT\r\n"), "HTTP/1.1 304 Not Modified", ""},
      {Get("/chunked/small"), "HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n"},
      {Get("/chunked"), "HTTP/1.1 200 OK", "\r\n\r\nd\r\nfirst chunk, \r\ne\r\nsecond chunk, \r\nb\r\nlast chunk\n\r\n0\r\n\r\n"},
      {Get("/gzip/small", "Accept-Encoding: gzip\r\n"), "HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n"},
      {echoed, "HTTP/1.1 200 OK", "\r\n\r\n" + echoed},
      {Get("/status/404"), "HTTP/1.1 404 Not Found", "\r\n\r\nstatus 404\n"},
      {Get("/status/204"), "HTTP/1.1 204 No Content", ""},
      {Get("/redirect/307?to=/files/small"), "HTTP/1.1 307 Temporary Redirect", "Location: /files/small\r\n"},
      {Get("/redirect/303"), "HTTP/1.1 303 See Other", "Location: /echo\r\n"},
      {Get("/chain/20"), "HTTP/1.1 302 Moved Temporarily", "Location: /chain/19\r\n"},
      {Get("/basic/"), "HTTP/1.1 401 Unauthorized", "WWW-Authenticate: Basic realm=\"qtx basic\"\r\n"},
      {Get("/basic/", kBobBasic), "HTTP/1.1 200 OK", "user bob\n"},
      {Get("/cookies"), "HTTP/1.1 200 OK", "Set-Cookie: theme=dark; Path=/; HttpOnly\r\n"},
  };
  for (const auto& c : cases) {
    const std::string answer = Exchange(nginx.Port(), c.Request);
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")), c.StatusLine) << c.Request;
    EXPECT_NE(answer.find(c.Contains), std::string::npos) << c.Request << "\n---\n" << answer;
  }
}

TEST(TTestNginx, KeepsAConnectionForSeveralRequests) {
  TTestNginx nginx;
  nginx.Start();
  const std::string keep = "GET /files/small HTTP/1.1\r\nHost: localhost\r\n\r\n";
  const std::string answer = Exchange(nginx.Port(), keep + keep + Get("/files/small"));
  size_t answers = 0;
  for (size_t at = answer.find("HTTP/1.1 200 OK"); at != std::string::npos; at = answer.find("HTTP/1.1 200 OK", at + 1)) {
    ++answers;
  }
  EXPECT_EQ(answers, 3u);
}

TEST(TTestNginx, ProxiesAStreamedAnswerAsItArrives) {
  std::promise<void> firstPartReceived;
  test::TScriptedServer upstream([&](test::TTestPeer& aPeer, int) {
    aPeer.ReadUntil("\r\n\r\n");
    aPeer.Write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n\r\n"
                "c\r\ndata: first\n\r\n");
    if (firstPartReceived.get_future().wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      throw std::runtime_error("nginx held back the first part");
    }
    aPeer.Write("b\r\ndata: last\n\r\n0\r\n\r\n");
  });
  TTestNginx nginx;
  nginx.AddProxy("/v1/", upstream.Port());
  nginx.Start();

  test::TTestPeer client(test::ConnectLoopback(nginx.Port()));
  client.Write(Get("/v1/chat/completions"));
  client.ReadUntil("data: first\n");
  firstPartReceived.set_value();
  EXPECT_NE(test::Text(client.ReadToEnd()).find("data: last\n"), std::string::npos);
}

TEST(TTestNginx, StartFailureCarriesNginxsOwnMessage) {
  TTestNginx nginx;
  nginx.AddConfig("no_such_directive on;");
  try {
    nginx.Start();
    ADD_FAILURE() << "nginx started";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("unknown directive \"no_such_directive\""), std::string::npos) << e.what();
  }
}

TEST(TTestApache, AsksForAndAcceptsBasicAndDigestLogins) {
  TTestApache apache;
  apache.AddUser("bob", "secret");
  apache.Start();

  const std::string challenge = Exchange(apache.Port(), Get("/digest/page"));
  EXPECT_EQ(challenge.substr(0, challenge.find("\r\n")), "HTTP/1.1 401 Unauthorized");
  EXPECT_NE(challenge.find("WWW-Authenticate: Digest realm=\"qtx digest\""), std::string::npos) << challenge;
  EXPECT_NE(challenge.find("qop=\"auth\""), std::string::npos) << challenge;

  const std::string basic = Exchange(apache.Port(), Get("/basic/page", kBobBasic));
  EXPECT_NE(basic.find("\r\nGET /basic/page bob\n"), std::string::npos) << basic;

  // curl answers the Digest challenge: the password file's hash is right.
  test::TTempFolder folder;
  const std::string answer = test::Text(test::RunShell(
      "curl -s --digest -u bob:secret --data-binary hello " + apache.Url("/digest/page?x=1"), folder.Path()));
  EXPECT_EQ(answer, "POST /digest/page?x=1 bob\nhello");
}

}  // namespace
}  // namespace qtx
