// TIdSSLContext and TIdSSLSocket on a plain connected socket, against the
// in-process OpenSSL server.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/qtxDateTime.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestTls.h"
#include "tls/qtxIdSSLOpenSSL.h"

namespace qtx {
namespace {

using test::Raised;
using test::TTestCertificates;
using test::TTlsTestConnection;
using test::TTlsTestServer;

// Records what the session reports and answers its questions.
struct TEventRecorder : IIdSSLEvents {
  std::vector<std::string> StatusInfo;
  std::vector<std::string> StatusTypes;
  std::string Password;
  bool AskedForPassword = false;
  std::function<bool(TIdX509&, bool, int, int)> Verify;
  std::vector<std::string> VerifiedSubjects;

  void FireStatusInfo(const std::string& aMsg) override { StatusInfo.push_back(aMsg); }
  void FireStatusInfoEx(PSSL, int, int, const std::string& aType, const std::string&) override {
    StatusTypes.push_back(aType);
  }
  void FireGetPassword(std::string& aPassword) override {
    AskedForPassword = true;
    aPassword = Password;
  }
  void FireGetPasswordEx(std::string&, bool) override {}
  bool FireVerifyPeer(TIdX509& aCertificate, bool aOk, int aDepth, int aError) override {
    VerifiedSubjects.push_back(aCertificate.Subject());
    return Verify ? Verify(aCertificate, aOk, aDepth, aError) : aOk;
  }
};

int ConnectTo(uint16_t aPort) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  return fd;
}

TTlsTestServer::TOptions ServerOptions(int aMinVersion = 0, int aMaxVersion = 0) {
  const TTestCertificates& pki = TTestCertificates::Get();
  TTlsTestServer::TOptions options;
  options.CertFile = pki.ServerCert;
  options.KeyFile = pki.ServerKey;
  options.MinVersion = aMinVersion;
  options.MaxVersion = aMaxVersion;
  return options;
}

// A client session on a fresh connection to the server.
class ClientSession {
public:
  explicit ClientSession(TEventRecorder& aEvents) { Context.SetParent(&aEvents); }
  ~ClientSession() {
    Socket.reset();
    if (FFd >= 0) close(FFd);
  }
  void Connect(uint16_t aPort, const std::string& aHost = "localhost") {
    Context.InitContext(sslCtxClient);
    Socket = std::make_unique<TIdSSLSocket>(Context.Parent());
    Socket->SetSSLContext(&Context);
    Socket->SetHostName(aHost);
    FFd = ConnectTo(aPort);
    Socket->Connect(FFd);
  }
  std::string Read(size_t aCount) {
    std::string text;
    TIdBytes buffer(aCount);
    while (text.size() < aCount) {
      buffer.resize(aCount - text.size());
      const int n = Socket->Recv(buffer);
      if (n <= 0) break;
      text.append(buffer.begin(), buffer.begin() + n);
    }
    return text;
  }
  int Write(const std::string& aText) {
    TIdBytes bytes(aText.begin(), aText.end());
    return Socket->Send(bytes, 0, static_cast<int>(bytes.size()));
  }

  TIdSSLContext Context;
  std::unique_ptr<TIdSSLSocket> Socket;

private:
  int FFd = -1;
};

std::string CommandOutput(const std::string& aCommand) {
  std::string output;
  FILE* pipe = popen(aCommand.c_str(), "r");
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof(buffer), pipe)) output.append(buffer, n);
  pclose(pipe);
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

void Echo(TTlsTestConnection& aConnection) { aConnection.Write(aConnection.ReadUntil("\n")); }

// ---------------------------------------------------------------- versions

TEST(TIdSSLSocket, TLS12OnlyNegotiatesTLS12) {
  TTlsTestServer server(ServerOptions(), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetSSLVersions({sslvTLSv1_2});
  client.Connect(server.Port());
  EXPECT_EQ(client.Socket->SSLVersion(), "TLSv1.2");
  EXPECT_EQ(client.Write("ping\n"), 5);
  EXPECT_EQ(client.Read(5), "ping\n");
}

TEST(TIdSSLSocket, TLS13OnlyNegotiatesTLS13) {
  TTlsTestServer server(ServerOptions(), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_3);
  client.Connect(server.Port());
  EXPECT_EQ(client.Socket->SSLVersion(), "TLSv1.3");
  EXPECT_EQ(client.Write("ping\n"), 5);
  EXPECT_EQ(client.Read(5), "ping\n");
}

TEST(TIdSSLSocket, AVersionTheServerRefusesFailsTheHandshake) {
  TTlsTestServer server(ServerOptions(0, 0x0303), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_3);
  const auto e = Raised<EIdOSSLConnectError>([&] { client.Connect(server.Port()); });
  EXPECT_EQ(e.Message().rfind("Error connecting with SSL.\r\n", 0), 0u) << e.Message();
  EXPECT_NE(e.Message().find("protocol version"), std::string::npos) << e.Message();
  EXPECT_EQ(e.ErrorCode(), SSL_ERROR_SSL);
}

TEST(TIdSSLSocket, SeveralVersionsReachTLS13) {
  // The flexible method must stay flexible: a TLS 1.3-only server is reachable.
  TTlsTestServer server(ServerOptions(0x0304, 0), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetSSLVersions({sslvTLSv1, sslvTLSv1_1, sslvTLSv1_2, sslvTLSv1_3});
  client.Connect(server.Port());
  EXPECT_EQ(client.Socket->SSLVersion(), "TLSv1.3");
}

TEST(TIdSSLSocket, ATLS12OnlySetRefusesATLS13OnlyServer) {
  TTlsTestServer server(ServerOptions(0x0304, 0), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetSSLVersions({sslvTLSv1_1, sslvTLSv1_2});
  EXPECT_THROW(client.Connect(server.Port()), EIdOSSLConnectError);
}

// ---------------------------------------------------------------- SNI, ALPN

TEST(TIdSSLSocket, SendsTheHostNameAsSNI) {
  TTlsTestServer server(ServerOptions(), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_2);
  client.Connect(server.Port(), "api.example.test");
  ASSERT_TRUE(server.WaitForHandshakes(1));
  EXPECT_EQ(server.ServerName(), "api.example.test");
}

TEST(TIdSSLSocket, OffersALPNAndReportsTheServersChoice) {
  TTlsTestServer::TOptions options = ServerOptions();
  options.ALPN = {"http/1.1"};
  TTlsTestServer server(options, [](TTlsTestConnection& c) {
    c.Write(c.ALPNProtocol() + "\n");
  });
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_3);
  client.Context.ALPNProtocols().Add("h2");
  client.Context.ALPNProtocols().Add("");
  client.Context.ALPNProtocols().Add("http/1.1");
  client.Connect(server.Port());
  EXPECT_EQ(client.Socket->ALPNProtocol(), "http/1.1");
  EXPECT_EQ(client.Read(9), "http/1.1\n");
}

// ---------------------------------------------------------------- verification

class Verification : public ::testing::Test {
protected:
  void Expect(bool aSucceeds, const std::string& aCert, const std::string& aKey, const std::string& aHost,
              const char* aReason = nullptr) {
    TTlsTestServer::TOptions options = ServerOptions();
    options.CertFile = aCert;
    options.KeyFile = aKey;
    TTlsTestServer server(options, Echo);
    ClientSession client(FEvents);
    client.Context.Options().SetMethod(sslvTLSv1_3);
    client.Context.Options().SetRootCertFile(TTestCertificates::Get().CAFile);
    client.Context.Options().SetVerifyMode({sslvrfPeer});
    client.Context.SetVerifyOn(FVerifyOn);
    if (aSucceeds) {
      ASSERT_NO_THROW(client.Connect(server.Port(), aHost));
      return;
    }
    try {
      client.Connect(server.Port(), aHost);
      ADD_FAILURE() << "the handshake succeeded";
    } catch (const EIdOSSLConnectError& e) {
      EXPECT_EQ(e.Message().rfind("Error connecting with SSL.\r\n", 0), 0u) << e.Message();
      if (aReason) {
        EXPECT_NE(e.Message().find(aReason), std::string::npos) << e.Message();
      }
    }
  }

  TEventRecorder FEvents;
  bool FVerifyOn = false;
};

TEST_F(Verification, PassesWithTheTestCA) {
  const TTestCertificates& pki = TTestCertificates::Get();
  Expect(true, pki.ServerCert, pki.ServerKey, "localhost");
}

TEST_F(Verification, FailsForACertificateOfAnotherHost) {
  const TTestCertificates& pki = TTestCertificates::Get();
  Expect(false, pki.OtherHostCert, pki.OtherHostKey, "localhost", "certificate verify failed");
}

TEST_F(Verification, FailsForAnotherHostNameThanTheCertificates) {
  const TTestCertificates& pki = TTestCertificates::Get();
  Expect(false, pki.ServerCert, pki.ServerKey, "wrong.example", "certificate verify failed");
}

TEST_F(Verification, FailsForAnUnknownCA) {
  const TTestCertificates& pki = TTestCertificates::Get();
  Expect(false, pki.UnknownCACert, pki.UnknownCAKey, "localhost", "certificate verify failed");
}

TEST_F(Verification, AcceptsAChainWithAnIntermediateWhenNoDepthIsSet) {
  const TTestCertificates& pki = TTestCertificates::Get();
  Expect(true, pki.ChainCert, pki.ChainKey, "localhost");
}

TEST_F(Verification, AskTheVerifyEventForEveryCertificateOfTheChain) {
  const TTestCertificates& pki = TTestCertificates::Get();
  FVerifyOn = true;
  std::vector<int> depths;
  FEvents.Verify = [&](TIdX509&, bool aOk, int aDepth, int aError) {
    depths.push_back(aDepth);
    EXPECT_TRUE(aOk);
    EXPECT_EQ(aError, 0);
    return true;
  };
  Expect(true, pki.ChainCert, pki.ChainKey, "localhost");
  EXPECT_EQ(depths, (std::vector<int>{2, 1, 0}));
  ASSERT_EQ(FEvents.VerifiedSubjects.size(), 3u);
  EXPECT_EQ(FEvents.VerifiedSubjects[0], "/CN=qtx Test CA");
  EXPECT_EQ(FEvents.VerifiedSubjects[2], "/CN=localhost");
}

TEST_F(Verification, TheVerifyEventCanRefuseAValidCertificate) {
  const TTestCertificates& pki = TTestCertificates::Get();
  FVerifyOn = true;
  FEvents.Verify = [](TIdX509&, bool, int aDepth, int) { return aDepth > 0; };
  Expect(false, pki.ServerCert, pki.ServerKey, "localhost", "certificate verify failed");
}

TEST_F(Verification, TheVerifyEventCanAcceptAnUnknownCA) {
  const TTestCertificates& pki = TTestCertificates::Get();
  FVerifyOn = true;
  bool sawFailure = false;
  FEvents.Verify = [&](TIdX509&, bool aOk, int, int aError) {
    sawFailure = sawFailure || (!aOk && aError != 0);
    return true;
  };
  Expect(true, pki.UnknownCACert, pki.UnknownCAKey, "localhost");
  EXPECT_TRUE(sawFailure) << "OpenSSL's own verdict reaches the event";
}

// ---------------------------------------------------------------- client credentials

class ClientCertificate : public ::testing::Test {
protected:
  std::string ConnectWith(const std::string& aCertFile, const std::string& aKeyFile, const std::string& aPassword) {
    TTlsTestServer::TOptions options = ServerOptions();
    options.ClientCAFile = TTestCertificates::Get().CAFile;
    TTlsTestServer server(options, [](TTlsTestConnection& c) { c.Write(c.PeerSubject() + "\n"); });
    TEventRecorder events;
    events.Password = aPassword;
    ClientSession client(events);
    client.Context.Options().SetMethod(sslvTLSv1_2);
    client.Context.Options().SetCertFile(aCertFile);
    client.Context.Options().SetKeyFile(aKeyFile);
    client.Connect(server.Port());
    EXPECT_TRUE(events.AskedForPassword);
    return client.Read(21);
  }
};

TEST_F(ClientCertificate, APasswordProtectedPEMKeyIsOpenedWithThePasswordEvent) {
  const TTestCertificates& pki = TTestCertificates::Get();
  EXPECT_EQ(ConnectWith(pki.ClientCert, pki.ClientKeyEncrypted, pki.Password), "/CN=qtx Test Client\n");
}

TEST_F(ClientCertificate, APKCS12FileIsOpenedWithThePasswordEvent) {
  const TTestCertificates& pki = TTestCertificates::Get();
  EXPECT_EQ(ConnectWith(pki.ClientP12, pki.ClientP12, pki.Password), "/CN=qtx Test Client\n");
}

TEST_F(ClientCertificate, AWrongPasswordFailsLoadingTheKey) {
  const TTestCertificates& pki = TTestCertificates::Get();
  const auto e = Raised<EIdOSSLLoadingKeyError>([&] { ConnectWith(pki.ClientCert, pki.ClientKeyEncrypted, "wrong"); });
  EXPECT_EQ(e.Message().rfind("Could not load key, check password.\r\n", 0), 0u) << e.Message();
  EXPECT_GT(e.Message().size(), 38u) << "OpenSSL's error text follows";
}

TEST_F(ClientCertificate, AWrongPKCS12PasswordFailsLoadingTheCertificate) {
  const TTestCertificates& pki = TTestCertificates::Get();
  EXPECT_THROW(ConnectWith(pki.ClientP12, pki.ClientP12, "wrong"), EIdOSSLLoadingCertError);
}

// ---------------------------------------------------------------- context failures

TEST(TIdSSLContext, AMissingRootCertificateFileFails) {
  TIdSSLContext context;
  context.Options().SetRootCertFile("/nonexistent/ca.pem");
  const auto e = Raised<EIdOSSLLoadingRootCertError>([&] { context.InitContext(sslCtxClient); });
  EXPECT_EQ(e.Message().rfind("Could not load root certificate.\r\n", 0), 0u) << e.Message();
  EXPECT_GT(e.Message().size(), 34u);
}

TEST(TIdSSLContext, AMissingCertificateFileFails) {
  TIdSSLContext context;
  context.Options().SetCertFile("/nonexistent/cert.pem");
  EXPECT_THROW(context.InitContext(sslCtxClient), EIdOSSLLoadingCertError);
}

TEST(TIdSSLContext, AnUnknownCipherListFails) {
  TIdSSLContext context;
  context.Options().SetMethod(sslvTLSv1_2);
  context.Options().SetCipherList("NO-SUCH-CIPHER");
  const auto e = Raised<EIdOSSLSettingCipherError>([&] { context.InitContext(sslCtxClient); });
  EXPECT_EQ(e.Message(), "SetCipher failed.");
}

TEST(TIdSSLContext, LoadsDHParametersAndRefusesABadFile) {
  TIdSSLContext context;
  context.Options().SetDHParamsFile(TTestCertificates::Get().DHParams);
  EXPECT_NO_THROW(context.InitContext(sslCtxClient));
  context.Options().SetDHParamsFile(TTestCertificates::Get().CAFile);
  const auto e = Raised<EIdOSSLLoadingDHParamsError>([&] { context.InitContext(sslCtxClient); });
  EXPECT_EQ(e.Message().rfind("Could not load DH Parameters.\r\n", 0), 0u) << e.Message();
}

// The protocol range the context set, read back from OpenSSL.
std::pair<long, long> ProtocolRange(TIdSSLVersions aVersions) {
  constexpr int SSL_CTRL_GET_MIN_PROTO_VERSION = 130;
  constexpr int SSL_CTRL_GET_MAX_PROTO_VERSION = 131;
  TIdSSLContext context;
  context.Options().SetSSLVersions(aVersions);
  context.InitContext(sslCtxClient);
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  return {api.SSL_CTX_ctrl(context.Context(), SSL_CTRL_GET_MIN_PROTO_VERSION, 0, nullptr),
          api.SSL_CTX_ctrl(context.Context(), SSL_CTRL_GET_MAX_PROTO_VERSION, 0, nullptr)};
}

TEST(TIdSSLContext, SetsTheProtocolRangeFromTheVersions) {
  EXPECT_EQ(ProtocolRange({sslvTLSv1_3}), std::make_pair(0x0303L, 0x0304L));
  EXPECT_EQ(ProtocolRange({sslvTLSv1_2, sslvTLSv1_3}), std::make_pair(0x0303L, 0x0304L));
  EXPECT_EQ(ProtocolRange({sslvTLSv1_1, sslvTLSv1_2}), std::make_pair(0x0303L, 0x0304L));
  EXPECT_EQ(ProtocolRange({sslvTLSv1, sslvTLSv1_1}), std::make_pair(0x0302L, 0x0304L));
  EXPECT_EQ(ProtocolRange({sslvSSLv3, sslvTLSv1}), std::make_pair(0x0301L, 0x0304L));
}

TEST(TIdSSLContext, AnUnassignedModeBecomesClient) {
  TIdSSLContext context;
  context.InitContext(sslCtxClient);
  EXPECT_EQ(context.Options().Mode(), sslmClient);
  EXPECT_NE(context.Context(), nullptr);
}

TEST(TIdSSLContext, ReportsMissingLibrariesWithPathAndMethods) {
  char pattern[] = "/tmp/qtx-nolib-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  UnloadTLSLibraries();
  SetOpenSSLLibFolder(pattern);
  try {
    TIdSSLContext context;
    ADD_FAILURE() << "the libraries loaded";
  } catch (const EIdOSSLCouldNotLoadSSLLibrary& e) {
    const std::string folder = std::string(pattern) + "/";
    EXPECT_EQ(e.Message(), "Could not load SSL library.\r\n***PATH*** " + folder +
                               "\r\n***VERSION*** \r\n***METHODS*** Failed to load " + folder +
                               "libcrypto.so.3.,Failed to load " + folder +
                               "libcrypto.so.1.1.,Failed to load " + folder + "libcrypto.so.1.0.0.");
  }
  SetOpenSSLLibFolder("");
  std::filesystem::remove(pattern);
  EXPECT_TRUE(LoadTLSLibraries());
}

// ---------------------------------------------------------------- status

TEST(TIdSSLSocket, ReportsTheCipherAndTheHandshakeStates) {
  TTlsTestServer server(ServerOptions(), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_3);
  client.Context.SetStatusInfoOn(true);
  client.Connect(server.Port());
  ASSERT_FALSE(events.StatusInfo.empty());
  const std::string& cipher = events.StatusInfo.back();
  const std::string name = client.Socket->Cipher().Name();
  EXPECT_EQ(cipher.rfind("Cipher: name = " + name + "; description = ", 0), 0u) << cipher;
  EXPECT_NE(cipher.find("; bits = " + std::to_string(client.Socket->Cipher().Bits()) + "; version = TLSv1.3; "),
            std::string::npos)
      << cipher;
  EXPECT_EQ(cipher.find('\n'), std::string::npos);
  EXPECT_EQ(events.StatusTypes.front(), "Handshake Start");
  EXPECT_NE(std::find(events.StatusTypes.begin(), events.StatusTypes.end(), "Connect Loop"), events.StatusTypes.end());
  EXPECT_NE(std::find(events.StatusTypes.begin(), events.StatusTypes.end(), "Handshake Done"),
            events.StatusTypes.end());
}

// ---------------------------------------------------------------- ends

TEST(TIdSSLSocket, ACleanTLSCloseReadsAsZero) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.Write("bye");
    c.CloseNotify();
  });
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_3);
  client.Connect(server.Port());
  EXPECT_EQ(client.Read(3), "bye");
  TIdBytes buffer(16);
  EXPECT_EQ(client.Socket->Recv(buffer), 0);
}

TEST(TIdSSLSocket, AResetReadsAsASystemError) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.ReadUntil("\n");
    c.Reset();
  });
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_2);
  client.Connect(server.Port());
  client.Write("go\n");
  TIdBytes buffer(16);
  const int ret = client.Socket->Recv(buffer);
  const int error = errno;
  EXPECT_LT(ret, 0);
  EXPECT_EQ(client.Socket->SSLErrorOf(ret), SSL_ERROR_SYSCALL);
  EXPECT_EQ(error, ECONNRESET);
}

TEST(TIdSSLSocket, WritingToAVanishedPeerFailsInsteadOfEndingTheProcess) {
  TTlsTestServer server(ServerOptions(), [](TTlsTestConnection& c) {
    c.ReadUntil("\n");
    c.Reset();
  });
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_2);
  client.Connect(server.Port());
  client.Write("go\n");
  ASSERT_TRUE(server.WaitForHandshakes(1));
  int ret = 1;
  const std::string block(65536, 'x');
  for (int i = 0; i < 100 && ret > 0; ++i) ret = client.Write(block);  // until the reset is seen
  EXPECT_LT(ret, 0);
}

// ---------------------------------------------------------------- certificate

TEST(TIdX509, DescribesThePeerCertificate) {
  const TTestCertificates& pki = TTestCertificates::Get();
  TTlsTestServer server(ServerOptions(), Echo);
  TEventRecorder events;
  ClientSession client(events);
  client.Context.Options().SetMethod(sslvTLSv1_3);
  client.Connect(server.Port());
  TIdX509* certificate = client.Socket->PeerCert();
  ASSERT_NE(certificate, nullptr);
  EXPECT_EQ(certificate->Subject(), "/CN=localhost");
  EXPECT_EQ(certificate->Issuer(), "/CN=qtx Test CA");
  EXPECT_EQ("serial=" + certificate->SerialNumber(),
            CommandOutput("openssl x509 -in " + pki.ServerCert + " -noout -serial"));
  EXPECT_EQ("sha256 Fingerprint=" + certificate->FingerprintSHA256AsString(),
            CommandOutput("openssl x509 -in " + pki.ServerCert + " -noout -fingerprint -sha256"));
  EXPECT_EQ("sha1 Fingerprint=" + certificate->FingerprintSHA1AsString(),
            CommandOutput("openssl x509 -in " + pki.ServerCert + " -noout -fingerprint -sha1"));
  EXPECT_EQ(certificate->FingerprintSHA256().size(), 32u);
  const TDateTime now = NowUTC();
  EXPECT_LT(certificate->NotBefore(), now + 1.0 / 24);
  EXPECT_GT(certificate->NotBefore(), now - 1);
  EXPECT_NEAR(certificate->NotAfter() - certificate->NotBefore(), 3.0, 1.0 / 86400);
}

}  // namespace
}  // namespace qtx
