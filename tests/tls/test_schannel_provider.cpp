// The security provider's record framing and statuses, byte for byte,
// against a GnuTLS server session over memory.

#include <gnutls/gnutls.h>
#include <gtest/gtest.h>

#include <string>

#include "support/qtxTestSecurityProvider.h"
#include "support/qtxTestTls.h"

namespace qtx {
namespace {

using test::TTestCertificates;

using test::TMemoryTlsServer;
using test::TProviderClient;

// The server of the test PKI's "localhost" certificate.
class TServer : public TMemoryTlsServer {
public:
  TServer() : TMemoryTlsServer(Credentials()) {}

private:
  static gnutls_certificate_credentials_t Credentials() {
    static const gnutls_certificate_credentials_t credentials = [] {
      const TTestCertificates& pki = TTestCertificates::Get();
      gnutls_certificate_credentials_t result;
      gnutls_certificate_allocate_credentials(&result);
      gnutls_certificate_set_x509_key_file(result, pki.ServerCert.c_str(), pki.ServerKey.c_str(), GNUTLS_X509_FMT_PEM);
      return result;
    }();
    return credentials;
  }
};

TEST(SecurityProvider, AHandshakeFedByteByByteWaitsForWholeRecords) {
  TServer server;
  TProviderClient client;
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
  TServer server;
  TProviderClient client;
  ASSERT_EQ(client.Handshake(server), SEC_E_OK);
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
    TServer server;
    TProviderClient client;
    ASSERT_EQ(client.Handshake(server), SEC_E_OK);
    client.Received = server.Send("a record");
    client.Received[c.Offset] ^= c.Value;
    std::string text;
    EXPECT_EQ(client.Decrypt(text), SEC_E_DECRYPT_FAILURE);
    EXPECT_TRUE(client.BuffersWithinInput);
  }
}

TEST(SecurityProvider, ThePeersCloseNotifyExpiresTheContext) {
  TServer server;
  TProviderClient client;
  ASSERT_EQ(client.Handshake(server), SEC_E_OK);
  client.Received = server.Bye();
  std::string text;
  EXPECT_EQ(client.Decrypt(text), SEC_I_CONTEXT_EXPIRED);
  TBytes record;
  EXPECT_EQ(client.Encrypt("too late", record), SEC_I_CONTEXT_EXPIRED);
}

TEST(SecurityProvider, SSL3IsNeverNegotiatedWhateverTheCredentialsAsk) {
  const uint32_t allButSSL3 = SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT |
                              SP_PROT_TLS1_3_CLIENT;
  EXPECT_EQ(TProviderClient(allButSSL3).AcquireStatus, SEC_E_ALGORITHM_MISMATCH);
  EXPECT_EQ(TProviderClient(0).AcquireStatus, SEC_E_OK);
}

}  // namespace
}  // namespace qtx
