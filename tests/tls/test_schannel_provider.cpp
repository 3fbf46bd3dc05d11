// The security provider's record framing and statuses, byte for byte,
// against a GnuTLS server session over memory.

#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "support/qtxTestTls.h"
#include "tls/provider/qtxSecurityProvider.h"

namespace qtx {
namespace {

using test::TTestCertificates;

constexpr uint32_t kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                              ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;

// A GnuTLS server whose bytes go to and come from memory.
class TMemoryServer {
public:
  TMemoryServer() {
    const TTestCertificates& pki = TTestCertificates::Get();
    gnutls_certificate_allocate_credentials(&FCredentials);
    gnutls_certificate_set_x509_key_file(FCredentials, pki.ServerCert.c_str(), pki.ServerKey.c_str(),
                                         GNUTLS_X509_FMT_PEM);
    gnutls_init(&FSession, GNUTLS_SERVER | GNUTLS_NONBLOCK);
    gnutls_set_default_priority(FSession);
    gnutls_credentials_set(FSession, GNUTLS_CRD_CERTIFICATE, FCredentials);
    gnutls_transport_set_ptr(FSession, this);
    gnutls_transport_set_push_function(FSession, [](gnutls_transport_ptr_t aSelf, const void* aData, size_t aSize) {
      auto& out = static_cast<TMemoryServer*>(aSelf)->FOut;
      out.insert(out.end(), static_cast<const uint8_t*>(aData), static_cast<const uint8_t*>(aData) + aSize);
      return static_cast<ssize_t>(aSize);
    });
    gnutls_transport_set_pull_function(FSession, [](gnutls_transport_ptr_t aSelf, void* aData, size_t aSize) {
      auto* self = static_cast<TMemoryServer*>(aSelf);
      if (self->FIn.empty()) {
        gnutls_transport_set_errno(self->FSession, EAGAIN);
        return ssize_t{-1};
      }
      const size_t count = std::min(aSize, self->FIn.size());
      std::memcpy(aData, self->FIn.data(), count);
      self->FIn.erase(self->FIn.begin(), self->FIn.begin() + static_cast<std::ptrdiff_t>(count));
      return static_cast<ssize_t>(count);
    });
  }
  ~TMemoryServer() {
    gnutls_deinit(FSession);
    gnutls_certificate_free_credentials(FCredentials);
  }

  // Takes the client's bytes, runs the handshake as far as they allow and
  // returns what the server wrote.
  TBytes Handshake(const TBytes& aFromClient) {
    FIn.insert(FIn.end(), aFromClient.begin(), aFromClient.end());
    gnutls_handshake(FSession);
    return Take();
  }
  TBytes Send(const std::string& aText) {
    gnutls_record_send(FSession, aText.data(), aText.size());
    return Take();
  }
  std::string Receive(const TBytes& aFromClient) {
    FIn.insert(FIn.end(), aFromClient.begin(), aFromClient.end());
    char buffer[256];
    ssize_t count;
    do count = gnutls_record_recv(FSession, buffer, sizeof(buffer));
    while (count == GNUTLS_E_AGAIN && !FIn.empty());
    return count > 0 ? std::string(buffer, static_cast<size_t>(count)) : std::string();
  }
  TBytes Bye() {
    gnutls_bye(FSession, GNUTLS_SHUT_WR);
    return Take();
  }

private:
  TBytes Take() { return std::exchange(FOut, {}); }

  gnutls_certificate_credentials_t FCredentials;
  gnutls_session_t FSession;
  TBytes FIn;
  TBytes FOut;
};

// A client context of the provider. Received bytes are kept as a caller
// keeps them: what a call did not use (its extra buffer) stays for the next.
class TClient {
public:
  explicit TClient(uint32_t aDisabledProtocols = 0) {
    const TLS_PARAMETERS parameters{aDisabledProtocols};
    const SCH_CREDENTIALS data{SCH_CREDENTIALS_VERSION, 0, nullptr, SCH_CRED_NO_DEFAULT_CREDS, 1, &parameters, 0,
                               nullptr};
    AcquireStatus = T.AcquireCredentialsHandle(UNISP_NAME, SECPKG_CRED_OUTBOUND, &data, &FCredentials);
  }
  ~TClient() {
    if (SecIsValidHandle(FContext)) T.DeleteSecurityContext(&FContext);
    if (SecIsValidHandle(FCredentials)) T.FreeCredentialsHandle(&FCredentials);
  }

  SECURITY_STATUS Initialize(TBytes& aToken) {
    SecBuffer input[2] = {{static_cast<uint32_t>(Received.size()), SECBUFFER_TOKEN, Received.data()},
                          {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
    uint32_t attributes;
    const SECURITY_STATUS status =
        T.InitializeSecurityContext(&FCredentials, SecIsValidHandle(FContext) ? &FContext : nullptr, "localhost",
                                    kRequest, SECURITY_NATIVE_DREP, &inputDesc, &FContext, &output, &attributes);
    const auto* bytes = static_cast<const uint8_t*>(token.pvBuffer);
    aToken.assign(bytes, bytes + token.cbBuffer);
    T.FreeContextBuffer(token.pvBuffer);
    Keep(status, input[1]);
    return status;
  }

  SECURITY_STATUS Decrypt(std::string& aText) {
    SecBuffer buffers[4] = {{static_cast<uint32_t>(Received.size()), SECBUFFER_DATA, Received.data()}, {}, {}, {}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = T.DecryptMessage(&FContext, &message, 0, nullptr);
    aText.clear();
    SecBuffer extra{};
    for (const SecBuffer& buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA) aText.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer;
    }
    Keep(status, extra);
    return status;
  }

  SECURITY_STATUS Encrypt(const std::string& aText, TBytes& aRecord) {
    SecPkgContext_StreamSizes sizes{};
    EXPECT_EQ(T.QueryContextAttributes(&FContext, SECPKG_ATTR_STREAM_SIZES, &sizes), SEC_E_OK);
    TBytes buffer(sizes.cbHeader + aText.size() + sizes.cbTrailer);
    std::memcpy(buffer.data() + sizes.cbHeader, aText.data(), aText.size());
    SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, buffer.data()},
                            {static_cast<uint32_t>(aText.size()), SECBUFFER_DATA, buffer.data() + sizes.cbHeader},
                            {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, buffer.data() + sizes.cbHeader + aText.size()},
                            {}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = T.EncryptMessage(&FContext, 0, &message, 0);
    EXPECT_LE(buffers[2].cbBuffer, sizes.cbTrailer);
    aRecord.assign(buffer.begin(), buffer.begin() + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    return status;
  }

  // The handshake with aServer, every flight passed whole.
  void Handshake(TMemoryServer& aServer) {
    TBytes token;
    SECURITY_STATUS status = Initialize(token);
    while (status == SEC_I_CONTINUE_NEEDED) {
      const TBytes answer = aServer.Handshake(token);
      Received.insert(Received.end(), answer.begin(), answer.end());
      status = Initialize(token);
    }
    ASSERT_EQ(status, SEC_E_OK);
    aServer.Handshake(token);
  }

  const SecurityFunctionTable& T = *InitSecurityInterface();
  SECURITY_STATUS AcquireStatus;
  TBytes Received;

private:
  void Keep(SECURITY_STATUS aStatus, const SecBuffer& aExtra) {
    if (aExtra.BufferType == SECBUFFER_EXTRA)
      Received.erase(Received.begin(), Received.end() - aExtra.cbBuffer);
    else if (aStatus != SEC_E_INCOMPLETE_MESSAGE)
      Received.clear();
  }

  CredHandle FCredentials;
  CtxtHandle FContext;
};

TEST(SecurityProvider, AHandshakeFedByteByByteWaitsForWholeRecords) {
  TMemoryServer server;
  TClient client;
  TBytes token;
  ASSERT_EQ(client.Initialize(token), SEC_I_CONTINUE_NEEDED);
  TBytes pending = server.Handshake(token);
  int incomplete = 0;
  SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
  while (status != SEC_E_OK) {
    ASSERT_FALSE(pending.empty()) << "the server has nothing more to say";
    client.Received.push_back(pending.front());
    pending.erase(pending.begin());
    status = client.Initialize(token);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      ++incomplete;
      EXPECT_TRUE(token.empty());
      continue;
    }
    ASSERT_TRUE(status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK) << std::hex << status;
    const TBytes answer = server.Handshake(token);
    pending.insert(pending.end(), answer.begin(), answer.end());
  }
  EXPECT_GT(incomplete, 100);
  TBytes record;
  ASSERT_EQ(client.Encrypt("after a slow start", record), SEC_E_OK);
  EXPECT_EQ(server.Receive(record), "after a slow start");
}

TEST(SecurityProvider, DecryptMessageTakesOneRecordAndHandsBackTheRest) {
  TMemoryServer server;
  TClient client;
  client.Handshake(server);
  const TBytes first = server.Send("one");
  const TBytes second = server.Send("two");
  client.Received = first;
  client.Received.insert(client.Received.end(), second.begin(), second.begin() + 3);
  std::string text;
  SECURITY_STATUS status;
  do status = client.Decrypt(text);  // session tickets may come first
  while (status == SEC_E_OK && text.empty() && !client.Received.empty());
  EXPECT_EQ(status, SEC_E_OK);
  EXPECT_EQ(text, "one");
  EXPECT_EQ(client.Received, TBytes(second.begin(), second.begin() + 3)) << "the start of the next record is extra";
  EXPECT_EQ(client.Decrypt(text), SEC_E_INCOMPLETE_MESSAGE);
  client.Received.insert(client.Received.end(), second.begin() + 3, second.end());
  EXPECT_EQ(client.Decrypt(text), SEC_E_OK);
  EXPECT_EQ(text, "two");
  EXPECT_TRUE(client.Received.empty());
}

TEST(SecurityProvider, ABadRecordIsADecryptFailure) {
  struct TCase {
    const char* Name;
    size_t Offset;
    uint8_t Value;
  };
  const TCase cases[] = {{"a changed byte of the body", 9, 0x5A},
                         {"an unknown content type", 0, 99},
                         {"a length beyond what TLS allows", 3, 0xFF}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryServer server;
    TClient client;
    client.Handshake(server);
    client.Received = server.Send("a record");
    client.Received[c.Offset] ^= c.Value;
    std::string text;
    EXPECT_EQ(client.Decrypt(text), SEC_E_DECRYPT_FAILURE);
  }
}

TEST(SecurityProvider, ThePeersCloseNotifyExpiresTheContext) {
  TMemoryServer server;
  TClient client;
  client.Handshake(server);
  client.Received = server.Bye();
  std::string text;
  EXPECT_EQ(client.Decrypt(text), SEC_I_CONTEXT_EXPIRED);
  TBytes record;
  EXPECT_EQ(client.Encrypt("too late", record), SEC_I_CONTEXT_EXPIRED);
}

TEST(SecurityProvider, SSL3IsNeverNegotiatedWhateverTheCredentialsAsk) {
  const uint32_t allButSSL3 = SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT |
                              SP_PROT_TLS1_3_CLIENT;
  EXPECT_EQ(TClient(allButSSL3).AcquireStatus, SEC_E_ALGORITHM_MISMATCH);
  EXPECT_EQ(TClient(0).AcquireStatus, SEC_E_OK);
}

}  // namespace
}  // namespace qtx
