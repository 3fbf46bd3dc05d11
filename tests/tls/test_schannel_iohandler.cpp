// TqtxIdSSLIOHandlerSocketSChannel against real TLS servers (openssl
// s_server, gnutls-serv, nginx), the in-process OpenSSL server, a relay that
// reshapes and cuts the server's records, and a SOCKS 5 proxy (microsocks).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/qtxSysUtils.h"
#include "support/qtxTestCertStores.h"
#include "support/qtxTestDaemon.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestNginx.h"
#include "support/qtxTestRelay.h"
#include "support/qtxTestSockets.h"
#include "support/qtxTestTls.h"
#include "tls/qtxSSL_SChannel.h"
#include "transport/qtxIdSocks.h"

namespace qtx {
namespace {

using test::ElapsedMs;
using test::Raised;
using test::TClock;
using test::TOpenSSLServer;
using test::TTestCertificates;
using test::TTlsRecordRelay;
using test::TTlsTestConnection;
using test::TTlsTestServer;

constexpr const char* kInitializationError = "SChannel initialization error: ";

TTlsTestServer::TOptions ServerOptions(const std::string& aCert = TTestCertificates::Get().ServerCert,
                                       const std::string& aKey = TTestCertificates::Get().ServerKey) {
  TTlsTestServer::TOptions options;
  options.CertFile = aCert;
  options.KeyFile = aKey;
  return options;
}

void Echo(TTlsTestConnection& aConnection) { aConnection.Write(aConnection.ReadUntil("\n")); }

// The test CA is in the current user's "Root" store, and clients verify the
// server's certificate.
class SChannel : public ::testing::Test {
protected:
  SChannel() { FStores.Add("Root", TTestCertificates::Get().CAFile); }

  static std::unique_ptr<TqtxIdSSLIOHandlerSocketSChannel> Client(uint16_t aPort, TwsTLSVersions aVersion = tls1_3) {
    auto handler = std::make_unique<TqtxIdSSLIOHandlerSocketSChannel>();
    handler->SetTLSVersion(aVersion);
    handler->Certificate().SetVerifyCertificate(true);
    handler->SetPassThrough(false);
    handler->SetHost("localhost");
    handler->SetPort(aPort);
    handler->SetReadTimeout(30000);
    return handler;
  }

  test::TTestCertStores FStores;
};

struct TVersionCase {
  TwsTLSVersions Version;
  const char* OpenSSLFlag;
  const char* GnuTLSPriority;
  int Protocol;
};
constexpr TVersionCase kVersions[] = {{tls1_2, "-tls1_2", "NORMAL:-VERS-ALL:+VERS-TLS1.2", 3},
                                      {tls1_3, "-tls1_3", "NORMAL:-VERS-ALL:+VERS-TLS1.3", 4}};

// ---------------------------------------------------------------- real servers

TEST_F(SChannel, TalksTLS12And13WithOpenSSLsServer) {
  const TTestCertificates& pki = TTestCertificates::Get();
  for (const TVersionCase& c : kVersions) {
    SCOPED_TRACE(c.OpenSSLFlag);
    TOpenSSLServer server({c.OpenSSLFlag, "-www", "-cert", pki.ServerCert, "-key", pki.ServerKey});
    auto handler = Client(server.Port(), c.Version);
    handler->Open();
    EXPECT_EQ(handler->GetInfo().Protocol, c.Protocol);
    handler->Write(std::string("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(handler->ReadLn(), "HTTP/1.0 200 ok");
    EXPECT_NE(handler->AllData().find(c.Version == tls1_3 ? "TLSv1.3" : "TLSv1.2"), std::string::npos);
  }
}

TEST_F(SChannel, TalksTLS12And13WithGnuTLSServ) {
  const TTestCertificates& pki = TTestCertificates::Get();
  for (const TVersionCase& c : kVersions) {
    SCOPED_TRACE(c.GnuTLSPriority);
    test::TTestDaemon server("gnutls-serv");
    const uint16_t port = test::FreeLoopbackPort();
    // gnutls-serv asks for a client certificate; with none in "MY" the
    // handshake goes on without one.
    server.Start({"--port", std::to_string(port), "--echo", "--priority", c.GnuTLSPriority, "--x509certfile",
                  pki.ServerCert, "--x509keyfile", pki.ServerKey},
                 port);
    auto handler = Client(port, c.Version);
    handler->Open();
    EXPECT_EQ(SChannelLastError().Text, "CertFindChainInStore returns nil") << "the server asked for a certificate";
    EXPECT_EQ(handler->GetInfo().Protocol, c.Protocol);
    handler->WriteLn("echo me");
    EXPECT_EQ(handler->ReadLn(), "echo me");
  }
}

TEST_F(SChannel, TalksTLS12And13WithNginx) {
  test::TTestNginx nginx;
  nginx.EnableTls();
  nginx.Start();
  for (const TVersionCase& c : kVersions) {
    SCOPED_TRACE(c.OpenSSLFlag);
    auto handler = Client(nginx.TlsPort(), c.Version);
    handler->Open();
    EXPECT_EQ(handler->GetInfo().Protocol, c.Protocol);
    handler->Write(std::string("GET /files/small HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(handler->ReadLn(), "HTTP/1.1 200 OK");
    const std::string rest = handler->AllData();
    EXPECT_EQ(rest.substr(rest.size() - test::TTestNginx::kSmallBody.size()), test::TTestNginx::kSmallBody);
  }
}

TEST_F(SChannel, ADefaultHandlerReachesCurrentServers) {
  const TTestCertificates& pki = TTestCertificates::Get();
  TOpenSSLServer server({"-tls1_3", "-www", "-cert", pki.ServerCert, "-key", pki.ServerKey});
  TqtxIdSSLIOHandlerSocketSChannel handler;
  handler.SetPassThrough(false);
  handler.SetHost("localhost");
  handler.SetPort(server.Port());
  handler.Open();
  EXPECT_EQ(handler.GetInfo().Protocol, 4);
}

// ---------------------------------------------------------------- records

TEST_F(SChannel, ReadsRecordsSplitAcrossSegmentsAndRecordsSharingOne) {
  for (const auto mode : {TTlsRecordRelay::TMode::Split, TTlsRecordRelay::TMode::Merge}) {
    SCOPED_TRACE(mode == TTlsRecordRelay::TMode::Split ? "split" : "merged");
    TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
      for (int i = 0; i < 6; ++i) c.Write("record " + std::to_string(i) + "\n");
      c.ReadUntil("\n");
    });
    TTlsRecordRelay relay(server.Port(), mode);
    auto handler = Client(relay.Port());
    handler->Open();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(handler->ReadLn(), "record " + std::to_string(i));
    handler->WriteLn("done");
    EXPECT_GT(mode == TTlsRecordRelay::TMode::Split ? relay.SplitRecords() : relay.MergedSegments(), 0);
  }
}

TEST_F(SChannel, MovesALargeTransferByteForByte) {
  std::string data(3 * 1024 * 1024 + 7, '\0');
  uint32_t state = 12345;
  for (char& byte : data) byte = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  TTlsTestServer server(ServerOptions(), [&](TTlsTestConnection& c) { c.Write(c.Read(data.size())); });
  auto handler = Client(server.Port());
  handler->Open();
  const TIdBytes sent(data.begin(), data.end());
  handler->Write(sent);
  TIdBytes echoed;
  handler->ReadBytes(echoed, static_cast<int>(data.size()), false);
  EXPECT_TRUE(echoed == sent);
}

TEST_F(SChannel, TakesInSessionTicketsAndKeyUpdatesAfterTheHandshake) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("first\n");  // after the two session tickets OpenSSL sends
    c.KeyUpdate();
    c.Write("second\n");
    Echo(c);
  });
  auto handler = Client(server.Port());
  handler->Open();
  EXPECT_EQ(handler->ReadLn(), "first");
  EXPECT_EQ(handler->ReadLn(), "second");
  handler->WriteLn("third, under the new keys");
  EXPECT_EQ(handler->ReadLn(), "third, under the new keys");
  EXPECT_EQ(server.ScriptError(), "");
}

TEST_F(SChannel, FollowsTheServersRequestForANewHandshake) {
  bool pending = true;
  TTlsTestServer server(ServerOptions(), [&](TTlsTestConnection& c) {
    c.ReadUntil("\n");
    c.Renegotiate();
    c.ReadUntil("\n");  // runs the new handshake first
    pending = c.RenegotiationPending();
    c.Write("done\n");
  });
  auto handler = Client(server.Port(), tls1_2);
  handler->Open();
  handler->WriteLn("first");
  EXPECT_FALSE(handler->Readable(1000)) << "the request is taken in, and no data comes";
  handler->WriteLn("second");
  EXPECT_EQ(handler->ReadLn(), "done");
  EXPECT_FALSE(pending);
}

// ---------------------------------------------------------------- verification

TEST_F(SChannel, AFailedVerificationCarriesThePolicyStatusAndLeavesNoContext) {
  const TTestCertificates& pki = TTestCertificates::Get();
  struct TCase {
    const char* Name;
    std::string Cert, Key, URI;
    uint32_t Status;
  };
  const TCase cases[] = {{"another host", pki.ServerCert, pki.ServerKey, "https://wrong.example/", CERT_E_CN_NO_MATCH},
                         {"unknown CA", pki.UnknownCACert, pki.UnknownCAKey, "", CERT_E_UNTRUSTEDROOT},
                         {"expired", pki.ExpiredCert, pki.ExpiredKey, "", CERT_E_EXPIRED}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTlsTestServer server(ServerOptions(c.Cert, c.Key), [](TTlsTestConnection&) {});
    auto handler = Client(server.Port());
    handler->SetURIToCheck(c.URI);
    const int contexts = SecurityContextsInUse();
    const auto e = Raised<SChannelError>([&] { handler->Open(); });
    EXPECT_EQ(e.CertStatus(), c.Status);
    EXPECT_EQ(e.Message(),
              std::string(kInitializationError) + "CertVerifyCertificateChainPolicy.vStatus = " + IntToHex(c.Status, 8));
    EXPECT_EQ(SecurityContextsInUse(), contexts) << "the context of a failed start is deleted";
  }
}

TEST_F(SChannel, SendsNoServerNameForAnIPAddressButChecksTheCertificatesAddress) {
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SetHost("127.0.0.1");
  handler->Open();
  handler->WriteLn("by address");
  EXPECT_EQ(handler->ReadLn(), "by address");
  EXPECT_EQ(server.ServerName(), "");
}

// ---------------------------------------------------------------- client certificates

TEST_F(SChannel, SendsTheClientCertificateTheServerAsksFor) {
  const TTestCertificates& pki = TTestCertificates::Get();
  // Decoys before the right one in "MY": a client of another CA and a
  // certificate for servers only.
  FStores.Add("MY", pki.UnknownCAClientCert, "a-other-ca.pem");
  FStores.Add("MY", pki.UnknownCAClientKey, "a-other-ca.key");
  FStores.Add("MY", pki.ServerOnlyCert, "b-server-only.pem");
  FStores.Add("MY", pki.ServerOnlyKey, "b-server-only.key");
  FStores.Add("MY", pki.ClientCert, "c-client.pem");
  FStores.Add("MY", pki.ClientKey, "c-client.key");
  struct TCase {
    const char* Name;
    std::function<void(TqtxIdSSLIOHandlerSocketSChannel&)> Configure;
  };
  int credentialCalls = 0;
  const TCase cases[] = {
      {"PFX file with a password",
       [&](TqtxIdSSLIOHandlerSocketSChannel& h) {
         h.Certificate().SetCertFile(pki.ClientP12);
         h.Certificate().SetCertFilePassword(pki.Password);
       }},
      {"PFX file without a password",
       [&](TqtxIdSSLIOHandlerSocketSChannel& h) { h.Certificate().SetCertFile(pki.ClientP12NoPassword); }},
      {"thumbprint in MY", [&](TqtxIdSSLIOHandlerSocketSChannel& h) { h.Certificate().SetCertHash(test::CertificateThumbprint(pki.ClientCert)); }},
      {"issuer list search in MY",
       [&](TqtxIdSSLIOHandlerSocketSChannel& h) {
         h.OnCredentials = [&](TqtxIdSSLIOHandlerSocketSChannel&) { ++credentialCalls; };
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTlsTestServer::TOptions options = ServerOptions();
    options.ClientCAFile = pki.CAFile;
    std::string subject;
    TTlsTestServer server(options, [&](TTlsTestConnection& connection) {
      subject = connection.PeerSubject();
      Echo(connection);
    });
    auto handler = Client(server.Port(), tls1_2);
    c.Configure(*handler);
    handler->Open();
    handler->WriteLn("who am I");
    EXPECT_EQ(handler->ReadLn(), "who am I");
    EXPECT_EQ(subject, "/CN=qtx Test Client");
  }
  EXPECT_EQ(credentialCalls, 2) << "at the start and when the server asked";
}

TEST_F(SChannel, ACertHashOf39CharactersFailsTheStart) {
  TTlsTestServer::TOptions options = ServerOptions();
  options.ClientCAFile = TTestCertificates::Get().CAFile;
  TTlsTestServer server(options, Echo);
  auto handler = Client(server.Port());
  handler->Certificate().SetCertHash(std::string(39, 'A'));
  EXPECT_EQ(Raised<SChannelError>([&] { handler->Open(); }).Message(),
            std::string(kInitializationError) + "Invalid Certificate Hash Length, must be 40.");
}

// ---------------------------------------------------------------- negotiation

TEST_F(SChannel, NegotiatesALPN) {
  TTlsTestServer::TOptions options = ServerOptions();
  options.ALPN = {"http/1.1"};
  TTlsTestServer server(options, Echo);
  auto handler = Client(server.Port());
  handler->ALPNProtocols().Add("h2");
  handler->ALPNProtocols().Add("http/1.1");
  handler->Open();
  EXPECT_EQ(handler->GetALPNProtocol(), "http/1.1");
}

TEST_F(SChannel, TheCipherListChoosesTheBulkCipher) {
  const std::pair<const char*, int> ciphers[] = {{"CALG_AES_128", 128}, {"CALG_AES_256", 256}};
  for (const auto& [name, bits] : ciphers) {
    SCOPED_TRACE(name);
    TTlsTestServer server(ServerOptions(), Echo);
    auto handler = Client(server.Port());
    handler->SetCipherList(std::string("CALG_SHA_384:") + name);
    handler->Open();
    const TqtxSChannelConnectionInfo info = handler->GetInfo();
    EXPECT_EQ(info.Cipher, name);
    EXPECT_EQ(info.CiperStrength, bits);
    EXPECT_EQ(info.Exchange, "CALG_ECDH_EPHEM");
  }
}

// ---------------------------------------------------------------- ends of a connection

TEST_F(SChannel, ACleanTLSCloseEndsGracefullyAndAResetIsSocketError10054) {
  TTlsTestServer closing(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("bye");
    c.CloseNotify();
  });
  auto handler = Client(closing.Port());
  handler->Open();
  EXPECT_EQ(handler->ReadString(3), "bye");
  EXPECT_THROW(handler->ReadByte(), EIdConnClosedGracefully);
  EXPECT_FALSE(handler->Connected());

  TTlsTestServer resetting(ServerOptions(), [](TTlsTestConnection& c) {
    c.ReadUntil("\n");
    c.Reset();
  });
  handler = Client(resetting.Port());
  handler->Open();
  handler->WriteLn("go");
  EXPECT_EQ(Raised<EIdSocketError>([&] { handler->ReadLn(); }).LastError(), 10054);
}

TEST_F(SChannel, AStreamCutWithoutCloseNotifyIsAnErrorNotAClose) {
  for (const auto cut : {TTlsRecordRelay::TCut::AtRecordBoundary, TTlsRecordRelay::TCut::MidRecordClose}) {
    SCOPED_TRACE(cut == TTlsRecordRelay::TCut::AtRecordBoundary ? "at a record boundary" : "inside a record");
    TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
      c.ReadUntil("\n");
      c.Write("partial\n");
      c.Write("lost\n");
      c.ReadUntil("\n");
    });
    TTlsRecordRelay relay(server.Port(), TTlsRecordRelay::TMode::Pass);
    auto handler = Client(relay.Port(), tls1_2);
    handler->Open();
    relay.CutAfter(1, cut);
    handler->WriteLn("go");
    EXPECT_EQ(handler->ReadLn(), "partial");
    EXPECT_EQ(Raised<SChannelError>([&] { handler->ReadLn(); }).Message(),
              "The connection was closed without a TLS close_notify");
  }
}

TEST_F(SChannel, AReadTimeOutInsideARecordIsAReadTimeOut) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.ReadUntil("\n");
    c.Write("whole\n");
    c.Write("stalled in the middle\n");
    c.ReadUntil("\n");
  });
  TTlsRecordRelay relay(server.Port(), TTlsRecordRelay::TMode::Pass);
  auto handler = Client(relay.Port(), tls1_2);
  handler->Open();
  relay.CutAfter(1, TTlsRecordRelay::TCut::MidRecordStall);
  handler->SetReadTimeout(300);
  handler->WriteLn("go");
  EXPECT_EQ(handler->ReadLn(), "whole");
  const auto start = TClock::now();
  EXPECT_EQ(handler->ReadLn(), "");
  EXPECT_TRUE(handler->ReadLnTimedout());
  EXPECT_LT(ElapsedMs(start), 20000);
}

TEST_F(SChannel, AServerThatNeverAnswersFailsTheHandshakeAfterTheReadTimeout) {
  test::TScriptedServer silent([](test::TTestPeer& aPeer, int) { aPeer.ReadToEnd(); });
  auto handler = Client(silent.Port());
  handler->SetReadTimeout(300);
  const auto start = TClock::now();
  EXPECT_EQ(Raised<SChannelError>([&] { handler->Open(); }).Message(),
            std::string(kInitializationError) + "recv returns 0000274C");
  EXPECT_LT(ElapsedMs(start), 20000);
}

TEST_F(SChannel, ReadableWithoutWaitingAnswersAtOnce) {
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->Open();
  EXPECT_FALSE(handler->Readable(0)) << "nothing was sent";
  handler->WriteLn("now");
  EXPECT_TRUE(handler->Readable(10000));
  EXPECT_EQ(handler->ReadLn(), "now");
}

TEST_F(SChannel, CloseSendsCloseNotify) {
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
  for (int i = 0; i < 6000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(sawCloseNotify);
}

// ---------------------------------------------------------------- the handler

TEST_F(SChannel, UpgradesAPlainConnectionWhenPassThroughGoesOff) {
  TTlsTestServer::TOptions options = ServerOptions();
  options.PlainPrelude = true;
  TTlsTestServer server(options, Echo);
  auto handler = Client(server.Port());
  handler->SetPassThrough(true);
  handler->Open();
  handler->WriteLn("STARTTLS");
  EXPECT_EQ(handler->ReadLn(), "GO");
  handler->SetPassThrough(false);
  EXPECT_EQ(handler->GetInfo().Protocol, 4);
  handler->WriteLn("secret");
  EXPECT_EQ(handler->ReadLn(), "secret");
}

TEST_F(SChannel, ACloneKeepsTheSettings) {
  TqtxIdSSLIOHandlerSocketSChannel original;
  original.SetTLSVersion(tls1_2);
  original.Certificate().SetVerifyCertificate(true);
  original.Certificate().SetCertHash("00");
  original.SetCipherList("CALG_AES_256");
  original.ALPNProtocols().Add("http/1.1");
  const auto base = original.Clone();
  auto& clone = dynamic_cast<TqtxIdSSLIOHandlerSocketSChannel&>(*base);
  EXPECT_EQ(clone.TLSVersion(), tls1_2);
  EXPECT_TRUE(clone.Certificate().VerifyCertificate()) << "a clone must not drop the verification";
  EXPECT_EQ(clone.Certificate().CertHash(), "00");
  EXPECT_EQ(clone.CipherList(), "CALG_AES_256");
  EXPECT_EQ(clone.ALPNProtocols().Text(), original.ALPNProtocols().Text());
}

TEST_F(SChannel, WorksThroughASocks5Proxy) {
  test::TTestDaemon proxy("microsocks");
  const uint16_t port = test::FreeLoopbackPort();
  proxy.Start({"-i", "127.0.0.1", "-p", std::to_string(port)}, port);
  TIdSocksInfo socks;
  socks.SetHost("127.0.0.1");
  socks.SetPort(port);
  socks.SetVersion(svSocks5);
  TTlsTestServer server(ServerOptions(), Echo);
  auto handler = Client(server.Port());
  handler->SetTransparentProxy(&socks);
  handler->Open();
  handler->WriteLn("tunnelled");
  EXPECT_EQ(handler->ReadLn(), "tunnelled");
  EXPECT_EQ(server.ServerName(), "localhost") << "the target's name, never the proxy's";
}

}  // namespace
}  // namespace qtx
