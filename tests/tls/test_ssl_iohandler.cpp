// TIdSSLIOHandlerSocketOpenSSL against `openssl s_server`, nginx, the
// in-process OpenSSL server and a SOCKS 5 proxy (microsocks).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <filesystem>

#include "platform/qtxStreams.h"
#include "support/qtxTestDaemon.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestSockets.h"
#include "support/qtxTestTls.h"
#include "tls/qtxIdSSLOpenSSL.h"
#include "transport/qtxIdSocks.h"
#include "transport/qtxIdStack.h"

namespace qtx {
namespace {

using test::kWholeAnswer;
using test::Raised;
using test::SendHostile;
using test::TOpenSSLServer;
using test::TPeerEnd;
using test::TTestCertificates;
using test::TTlsTestConnection;
using test::TTlsTestServer;

TTlsTestServer::TOptions ServerOptions() {
  const TTestCertificates& pki = TTestCertificates::Get();
  TTlsTestServer::TOptions options;
  options.CertFile = pki.ServerCert;
  options.KeyFile = pki.ServerKey;
  return options;
}

void Echo(TTlsTestConnection& aConnection) { aConnection.Write(aConnection.ReadUntil("\n")); }

// A TLS 1.3 client handler for localhost:aPort.
std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> Client(uint16_t aPort, TIdSSLVersion aMethod = sslvTLSv1_3) {
  auto handler = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
  handler->SSLOptions().SetMethod(aMethod);
  handler->SetPassThrough(false);
  handler->SetHost("localhost");
  handler->SetPort(aPort);
  handler->SetReadTimeout(30000);
  return handler;
}

std::vector<std::string> SServerArgs(const char* aVersion) {
  const TTestCertificates& pki = TTestCertificates::Get();
  return {aVersion, "-www", "-cert", pki.ServerCert, "-key", pki.ServerKey};
}

// ---------------------------------------------------------------- s_server

TEST(TIdSSLIOHandlerSocketOpenSSL, TalksTLS12WithOpenSSLsServer) {
  TOpenSSLServer server(SServerArgs("-tls1_2"));
  auto handler = Client(server.Port(), sslvTLSv1_2);
  handler->Open();
  EXPECT_EQ(handler->GetSSLVersion(), "TLSv1.2");
  handler->Write(std::string("GET / HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(handler->ReadLn(), "HTTP/1.0 200 ok");
  handler->Close();
}

TEST(TIdSSLIOHandlerSocketOpenSSL, TalksTLS13WithOpenSSLsServer) {
  TOpenSSLServer server(SServerArgs("-tls1_3"));
  auto handler = Client(server.Port(), sslvTLSv1_3);
  handler->Open();
  EXPECT_EQ(handler->GetSSLVersion(), "TLSv1.3");
  handler->Write(std::string("GET / HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(handler->ReadLn(), "HTTP/1.0 200 ok");
  const std::string page = handler->AllData();
  EXPECT_NE(page.find("TLSv1.3"), std::string::npos);
}

TEST(TIdSSLIOHandlerSocketOpenSSL, AVersionMismatchFailsTheConnect) {
  TOpenSSLServer server(SServerArgs("-tls1_2"));
  auto handler = Client(server.Port(), sslvTLSv1_3);
  const auto e = Raised<EIdOSSLConnectError>([&] { handler->Open(); });
  EXPECT_EQ(e.Message().rfind("Error connecting with SSL.\r\n", 0), 0u) << e.Message();
  EXPECT_EQ(handler->SSLSocket(), nullptr);
}

// A handler left at its defaults negotiates what current servers offer and
// nothing older.
TEST(TIdSSLIOHandlerSocketOpenSSL, DefaultsReachTLS12And13ServersButNotOlderOnes) {
  struct TCase {
    std::vector<std::string> ServerArgs;
    const char* Version;  // negotiated, or nullptr when the handshake must fail
  };
  // The TLS 1.1 server lowers its own security level so that it really offers 1.1.
  const TCase cases[] = {
      {{"-tls1_3"}, "TLSv1.3"},
      {{"-tls1_2"}, "TLSv1.2"},
      {{"-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"}, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.ServerArgs.front());
    std::vector<std::string> args = SServerArgs(c.ServerArgs.front().c_str());
    args.insert(args.end(), c.ServerArgs.begin() + 1, c.ServerArgs.end());
    TOpenSSLServer server(args);
    auto handler = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
    handler->SetPassThrough(false);
    handler->SetHost("localhost");
    handler->SetPort(server.Port());
    handler->SetReadTimeout(30000);
    if (c.Version) {
      handler->Open();
      EXPECT_EQ(handler->GetSSLVersion(), c.Version);
    } else {
      EXPECT_THROW(handler->Open(), EIdOSSLConnectError);
    }
  }
}

// ---------------------------------------------------------------- nginx

TEST(TIdSSLIOHandlerSocketOpenSSL, FetchesFromNginxOverTLS12And13WithTheCertificateVerified) {
  test::TTestNginx nginx;
  nginx.EnableTls();
  nginx.Start();
  for (auto [method, version] : {std::pair{sslvTLSv1_2, "TLSv1.2"}, std::pair{sslvTLSv1_3, "TLSv1.3"}}) {
    auto handler = Client(nginx.TlsPort(), method);
    handler->SSLOptions().SetRootCertFile(TTestCertificates::Get().CAFile);
    handler->SSLOptions().SetVerifyMode({sslvrfPeer});
    handler->SetURIToCheck(nginx.TlsUrl("/files/small"));
    handler->Open();
    EXPECT_EQ(handler->GetSSLVersion(), version);
    handler->Write(std::string("GET /files/small HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(handler->ReadLn(), "HTTP/1.1 200 OK");
    const std::string answer = handler->AllData();
    EXPECT_EQ(answer.substr(answer.size() - 100), test::TTestNginx::kSmallBody);
  }
}

// ---------------------------------------------------------------- in-process server

TEST(TIdSSLIOHandlerSocketOpenSSL, TheServerNameIsTheHostOfURIToCheck) {
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SetURIToCheck("https://user:pw@api.example.test:8443/v1/chat?x=1");
  handler->Open();
  ASSERT_TRUE(server.WaitForHandshakes(1));
  EXPECT_EQ(server.ServerName(), "api.example.test");
}

TEST(TIdSSLIOHandlerSocketOpenSSL, WithoutURIToCheckTheServerNameIsTheHost) {
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  int beforeConnect = 0;
  handler->OnBeforeConnect = [&](TIdSSLIOHandlerSocketOpenSSL& aSender) {
    ++beforeConnect;
    EXPECT_TRUE(aSender.BindingAllocated()) << "after the TCP connect";
    EXPECT_EQ(aSender.SSLSocket(), nullptr) << "before the handshake";
  };
  handler->Open();
  EXPECT_EQ(beforeConnect, 1);
  ASSERT_TRUE(server.WaitForHandshakes(1));
  EXPECT_EQ(server.ServerName(), "localhost");
}

TEST(TIdSSLIOHandlerSocketOpenSSL, NegotiatesALPN) {
  TTlsTestServer::TOptions options = ServerOptions();
  options.ALPN = {"http/1.1"};
  TTlsTestServer server(options, Echo);
  auto handler = Client(server.Port());
  handler->ALPNProtocols().Add("h2");
  handler->ALPNProtocols().Add("http/1.1");
  handler->Open();
  EXPECT_EQ(handler->GetALPNProtocol(), "http/1.1");
}

TEST(TIdSSLIOHandlerSocketOpenSSL, VerifiesThePeerAndItsHostName) {
  const TTestCertificates& pki = TTestCertificates::Get();
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SSLOptions().SetRootCertFile(pki.CAFile);
  handler->SSLOptions().SetVerifyMode({sslvrfPeer});
  std::vector<std::string> subjects;
  handler->OnVerifyPeer = [&](TIdX509& aCertificate, bool aOk, int, int) {
    subjects.push_back(aCertificate.Subject());
    return aOk;
  };
  handler->Open();
  EXPECT_EQ(subjects, (std::vector<std::string>{"/CN=qtx Test CA", "/CN=localhost"}));
  handler->Close();

  handler->SetURIToCheck("https://wrong.example/");
  const auto e = Raised<EIdOSSLConnectError>([&] { handler->Open(); });
  EXPECT_NE(e.Message().find("certificate verify failed"), std::string::npos) << e.Message();
}

TEST(TIdSSLIOHandlerSocketOpenSSL, ACleanTLSCloseEndsTheConnectionGracefully) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("bye");
    c.CloseNotify();
  });
  auto handler = Client(server.Port());
  handler->Open();
  EXPECT_EQ(handler->ReadString(3), "bye");
  EXPECT_THROW(handler->ReadByte(), EIdConnClosedGracefully);
  EXPECT_TRUE(handler->ClosedGracefully());
  EXPECT_FALSE(handler->Connected());
}

TEST(TIdSSLIOHandlerSocketOpenSSL, ATCPResetIsASocketError10054) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.ReadUntil("\n");
    c.Reset();
  });
  auto handler = Client(server.Port(), sslvTLSv1_2);
  handler->Open();
  handler->WriteLn("go");
  const auto e = Raised<EIdSocketError>([&] { handler->ReadLn(); });
  EXPECT_EQ(e.LastError(), 10054);
  EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
}

// ---------------------------------------------------------------- hostile servers

TEST(TIdSSLIOHandlerSocketOpenSSL, ATimeOutInsideARecordEndsTheReadAsAnyTimeOut) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("first\r\n");
    SendHostile(c, "second line\r\n", 12, TPeerEnd::Stall);  // the record header and a few bytes of it
  });
  auto handler = Client(server.Port());  // ReadTimeout 30 s
  handler->Open();
  EXPECT_EQ(handler->ReadLn(), "first");
  EXPECT_EQ(handler->ReadLn("\n", 300), "") << "the line's own time-out counts";
  EXPECT_TRUE(handler->ReadLnTimedout());
  handler->SetReadTimeout(300);
  EXPECT_THROW(handler->ReadString(6), EIdReadTimeout);
}

TEST(TIdSSLIOHandlerSocketOpenSSL, AnEndWithoutCloseNotifyIsATruncationNotAClose) {
  for (const TIdSSLVersion version : {sslvTLSv1_2, sslvTLSv1_3}) {
    TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
      c.ReadUntil("\n");
      SendHostile(c, std::string(43, 'x'), kWholeAnswer, TPeerEnd::Close);
    });
    auto handler = Client(server.Port(), version);
    handler->Open();
    handler->WriteLn("GET");
    TMemoryStream body;
    const auto e = Raised<EIdOpenSSLError>([&] { handler->ReadStream(&body, -1, true); });
    EXPECT_NE(e.Message().find("unexpected eof while reading"), std::string::npos) << e.Message();
    EXPECT_EQ(body.Size(), 43) << "the bytes before the cut were delivered";
  }
}

TEST(TIdSSLIOHandlerSocketOpenSSL, AnIPLiteralSendsNoServerNameButMeetsTheCertificatesAddress) {
  const TTestCertificates& pki = TTestCertificates::Get();
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SetHost("127.0.0.1");
  handler->SSLOptions().SetRootCertFile(pki.CAFile);
  handler->SSLOptions().SetVerifyMode({sslvrfPeer});
  handler->Open();
  handler->WriteLn("by address");
  EXPECT_EQ(handler->ReadLn(), "by address");
  EXPECT_EQ(server.ServerName(), "");
  handler->Close();

  handler->SetURIToCheck("https://[::1]:8443/");  // an address the certificate does not name
  EXPECT_THROW(handler->Open(), EIdOSSLConnectError);
  ASSERT_TRUE(server.WaitForHandshakes(2));
  EXPECT_EQ(server.ServerName(), "");
}

TEST(TIdSSLIOHandlerSocketOpenSSL, UpgradesAPlainConnectionWhenPassThroughGoesOff) {
  TTlsTestServer::TOptions options = ServerOptions();
  options.PlainPrelude = true;
  TTlsTestServer server(options, Echo);
  auto handler = Client(server.Port());
  handler->SetPassThrough(true);
  handler->Open();
  EXPECT_EQ(handler->SSLSocket(), nullptr);
  handler->WriteLn("STARTTLS");
  EXPECT_EQ(handler->ReadLn(), "GO");
  handler->SetPassThrough(false);
  EXPECT_FALSE(handler->PassThrough());
  EXPECT_EQ(handler->GetSSLVersion(), "TLSv1.3");
  handler->WriteLn("secret");
  EXPECT_EQ(handler->ReadLn(), "secret");
  EXPECT_EQ(server.PreludeLine(), "STARTTLS\r\n");
}

TEST(TIdSSLIOHandlerSocketOpenSSL, DecryptedBytesHeldByOpenSSLAreReadable) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("0123456789ABCDEF");  // one record
    c.ReadUntil("\n");
  });
  auto handler = Client(server.Port());
  handler->SetRecvBufferSize(4);
  handler->Open();
  EXPECT_EQ(handler->ReadString(4), "0123");
  EXPECT_TRUE(handler->InputBufferIsEmpty());
  EXPECT_TRUE(handler->Readable(0)) << "the rest of the record waits inside OpenSSL, not on the socket";
  EXPECT_EQ(handler->ReadString(12), "456789ABCDEF");
  handler->WriteLn("end");
}

// Waits (bounded) for a flag set by a server script.
bool WaitFor(const std::atomic<bool>& aFlag) {
  for (int i = 0; i < 6000 && !aFlag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return aFlag;
}

TEST(TIdSSLIOHandlerSocketOpenSSL, RecordsReadAheadByOpenSSLAreReadable) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("AAAA");  // two records back to back: the second may be read ahead
    c.Write("BBBB");
    c.ReadUntil("\n");
  });
  auto handler = Client(server.Port());
  handler->Open();
  EXPECT_EQ(handler->ReadString(4), "AAAA");
  if (handler->InputBufferIsEmpty()) {
    EXPECT_TRUE(handler->Readable(10000));
  }
  EXPECT_EQ(handler->ReadString(4), "BBBB");
  handler->WriteLn("end");
}

TEST(TIdSSLIOHandlerSocketOpenSSL, CloseSendsCloseNotify) {
  std::atomic<bool> sawCloseNotify{false};
  std::atomic<bool> done{false};
  TTlsTestServer server(ServerOptions(), [&](TTlsTestConnection& c) {
    c.Write("hi\n");
    sawCloseNotify = c.ReadCloseNotify();
    done = true;
  });
  auto handler = Client(server.Port());
  handler->Open();
  EXPECT_EQ(handler->ReadLn(), "hi");
  handler->Close();
  ASSERT_TRUE(WaitFor(done));
  EXPECT_TRUE(sawCloseNotify);
}

TEST(TIdSSLIOHandlerSocketOpenSSL, CanBeReopenedWithAFreshContext) {
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  for (int i = 0; i < 2; ++i) {
    handler->Open();
    ASSERT_NE(handler->SSLContext(), nullptr);
    handler->WriteLn("again");
    EXPECT_EQ(handler->ReadLn(), "again");
    handler->Close();
    EXPECT_EQ(handler->SSLContext(), nullptr);
  }
}

TEST(TIdSSLIOHandlerSocketOpenSSL, ACloneCarriesTheOptionsAndCallsBack) {
  TTlsTestServer server(ServerOptions(), Echo);
  TIdSSLIOHandlerSocketOpenSSL original;
  original.SSLOptions().SetMethod(sslvTLSv1_3);
  original.SSLOptions().SetCipherList("DEFAULT");
  std::vector<std::string> status;
  original.OnStatusInfo = [&](const std::string& aMsg) { status.push_back(aMsg); };
  std::unique_ptr<TIdSSLIOHandlerSocketBase> base = original.Clone();
  auto& clone = dynamic_cast<TIdSSLIOHandlerSocketOpenSSL&>(*base);
  EXPECT_EQ(clone.SSLOptions().Method(), sslvTLSv1_3);
  EXPECT_EQ(clone.SSLOptions().CipherList(), "DEFAULT");
  clone.SetPassThrough(false);
  clone.SetHost("localhost");
  clone.SetPort(server.Port());
  clone.Open();
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().rfind("Cipher: name = ", 0), 0u);
}

TEST(TIdSSLIOHandlerSocketOpenSSL, WithoutLibrariesTLSFailsButPlainConnectionsWork) {
  char pattern[] = "/tmp/qtx-nolib-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  UnloadTLSLibraries();
  SetOpenSSLLibFolder(pattern);
  test::TEchoServer echo;
  auto tls = Client(echo.Port());
  EXPECT_THROW(tls->Open(), EIdOSSLCouldNotLoadSSLLibrary);
  auto plain = Client(echo.Port());
  plain->SetPassThrough(true);
  plain->Open();
  plain->WriteLn("plain");
  EXPECT_EQ(plain->ReadLn(), "plain");
  plain->Close();
  SetOpenSSLLibFolder("");
  std::filesystem::remove(pattern);
  EXPECT_TRUE(LoadTLSLibraries());
}

// ---------------------------------------------------------------- proxy

class ThroughSocks5 : public ::testing::Test {
protected:
  void SetUp() override {
    const uint16_t port = test::FreeLoopbackPort();
    FProxy.Start({"-i", "127.0.0.1", "-p", std::to_string(port)}, port);
    FSocks.SetHost("127.0.0.1");
    FSocks.SetPort(port);
    FSocks.SetVersion(svSocks5);
  }

  test::TTestDaemon FProxy{"microsocks"};
  TIdSocksInfo FSocks;
};

TEST_F(ThroughSocks5, TheServerNameIsTheTargetsNotTheProxys) {
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SetTransparentProxy(&FSocks);
  handler->SetURIToCheck("https://api.example.test/v1/models");
  handler->Open();
  handler->WriteLn("tunnelled");
  EXPECT_EQ(handler->ReadLn(), "tunnelled");
  EXPECT_EQ(server.ServerName(), "api.example.test");
  handler->Close();

  handler->SetURIToCheck("");
  handler->Open();
  ASSERT_TRUE(server.WaitForHandshakes(2));
  EXPECT_EQ(server.ServerName(), "localhost") << "without a URL the target host, never the proxy's";
}

TEST_F(ThroughSocks5, VerifiesTheTargetsCertificate) {
  const TTestCertificates& pki = TTestCertificates::Get();
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SetTransparentProxy(&FSocks);
  handler->SSLOptions().SetRootCertFile(pki.CAFile);
  handler->SSLOptions().SetVerifyMode({sslvrfPeer});
  handler->SetURIToCheck("https://localhost/");
  handler->Open();
  handler->WriteLn("verified");
  EXPECT_EQ(handler->ReadLn(), "verified");
}

}  // namespace
}  // namespace qtx
