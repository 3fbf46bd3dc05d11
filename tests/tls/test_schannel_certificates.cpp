// The certificate layer under the SChannel channel: store folders, PFX
// files, thumbprints, chains with the SSL policy, and the search by issuer.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "support/qtxTestCertStores.h"
#include "support/qtxTestShell.h"
#include "support/qtxTestSockets.h"
#include "support/qtxTestTls.h"
#include "tls/provider/qtxCertificateStore.h"

namespace qtx {
namespace {

using test::TTestCertificates;

std::vector<std::string> SubjectsOf(const std::vector<PCCERT_CONTEXT>& aCertificates, bool aWithKeyOnly = false) {
  std::vector<std::string> subjects;
  for (const auto& certificate : aCertificates)
    if (!aWithKeyOnly || certificate->PrivateKey()) subjects.push_back(certificate->Subject());
  return subjects;
}

TEST(CertificateStores, AStoreFolderHoldsCertificatesWithTheirKeysAndPasswordlessPFXFiles) {
  const TTestCertificates& pki = TTestCertificates::Get();
  test::TTestCertStores stores;
  stores.Add("MY", pki.CAFile, "a-ca.crt");
  stores.Add("MY", pki.ClientCert, "b-client.pem");
  stores.Add("MY", pki.ClientKey, "b-client.key");
  stores.Add("MY", pki.ClientP12NoPassword, "c-client.pfx");
  std::ofstream(stores.Folder("MY") + "/d-server.pem")
      << test::Text(test::ReadFileBytes(pki.ServerKey)) << test::Text(test::ReadFileBytes(pki.ServerCert));
  const auto certificates = CertOpenSystemStore("MY")->Certificates();
  EXPECT_EQ(SubjectsOf(certificates),
            (std::vector<std::string>{"CN=qtx Test CA", "CN=qtx Test Client", "CN=qtx Test Client", "CN=localhost"}));
  EXPECT_EQ(SubjectsOf(certificates, true),
            (std::vector<std::string>{"CN=qtx Test Client", "CN=qtx Test Client", "CN=localhost"}));
  EXPECT_TRUE(CertOpenSystemStore("CA")->Certificates().empty()) << "a missing folder is an empty store";
}

TEST(CertificateStores, AStoreIsOpenedByLocationAndSearchedByThumbprint) {
  const TTestCertificates& pki = TTestCertificates::Get();
  test::TTestCertStores stores;
  stores.Add("Trust", pki.ClientCert);
  stores.Add("Trust", pki.ServerCert);
  const uint32_t existing = CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG;
  EXPECT_EQ(CertOpenStore(existing, "CA"), nullptr);
  const HCERTSTORE store = CertOpenStore(existing, "Trust");
  ASSERT_NE(store, nullptr);
  TBytes hash;
  ASSERT_TRUE(CryptStringToBinary(test::CertificateThumbprint(pki.ServerCert), hash));
  const PCCERT_CONTEXT found = CertFindCertificateInStore(*store, hash);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Subject(), "CN=localhost");
  hash[0] ^= 1;
  EXPECT_EQ(CertFindCertificateInStore(*store, hash), nullptr);
}

TEST(CertificateStores, CryptStringToBinaryReadsPairsOfHexadecimalDigits) {
  const std::pair<const char*, std::optional<TBytes>> cases[] = {
      {"0aFF", TBytes{0x0A, 0xFF}}, {"0a ff\r\n", TBytes{0x0A, 0xFF}}, {"", TBytes{}},
      {"0g", std::nullopt},         {"abc", std::nullopt},              {"0x12", std::nullopt}};
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    TBytes bytes{0x99};
    EXPECT_EQ(CryptStringToBinary(text, bytes), expected.has_value());
    if (expected) {
      EXPECT_EQ(bytes, *expected);
    }
  }
}

TEST(CertificateStores, APFXFileImportsOnlyWithItsPassword) {
  const TTestCertificates& pki = TTestCertificates::Get();
  const TBytes protectedPFX = test::ReadFileBytes(pki.ClientP12);
  const TBytes openPFX = test::ReadFileBytes(pki.ClientP12NoPassword);
  EXPECT_EQ(PFXImportCertStore(protectedPFX, "wrong"), nullptr);
  EXPECT_EQ(PFXImportCertStore(protectedPFX, nullptr), nullptr);
  EXPECT_EQ(PFXImportCertStore(TBytes{1, 2, 3}, nullptr), nullptr);
  for (const HCERTSTORE& store : {PFXImportCertStore(protectedPFX, pki.Password.c_str()),
                                  PFXImportCertStore(openPFX, nullptr)}) {
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(SubjectsOf(store->Certificates(), true), std::vector<std::string>{"CN=qtx Test Client"});
  }
}

TEST(CertificateChains, ThePolicyNamesWhatIsWrongWithAServerCertificate) {
  const TTestCertificates& pki = TTestCertificates::Get();
  test::TTestCertStores stores;
  stores.Add("Root", pki.CAFile);
  stores.Add("Peer", pki.ChainCert);  // the leaf, then the intermediate it was sent with
  struct TCase {
    std::string Cert;
    const char* Host;
    uint32_t Status;
  };
  const TCase cases[] = {{pki.ServerCert, "localhost", 0},
                         {pki.ServerCert, "127.0.0.1", 0},
                         {pki.ServerCert, "", 0},
                         {pki.ServerCert, "wrong.example", CERT_E_CN_NO_MATCH},
                         {pki.UnknownCACert, "localhost", CERT_E_UNTRUSTEDROOT},
                         {pki.ExpiredCert, "localhost", CERT_E_EXPIRED},
                         {pki.ServerOnlyCert, "localhost", 0},
                         {"", "localhost", 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Cert + " for " + c.Host);
    std::vector<PCCERT_CONTEXT> sent;
    if (c.Cert.empty()) {
      sent = CertOpenSystemStore("Peer")->Certificates();
    } else {
      const TBytes der = test::RunShell("openssl x509 -outform DER -in " + test::ShellQuote(c.Cert), "/");
      sent.push_back(TCertContext::FromDER(der.data(), der.size()));
    }
    TCertStore rest;
    for (size_t i = 1; i < sent.size(); ++i) rest.Add(sent[i]);
    const PCCERT_CHAIN_CONTEXT chain =
        CertGetCertificateChain(sent.front(), &rest, {szOID_PKIX_KP_SERVER_AUTH, szOID_SERVER_GATED_CRYPTO});
    EXPECT_EQ(CertVerifyCertificateChainPolicy(*chain, c.Host), c.Status);
  }
}

TEST(CertificateChains, TheIssuerSearchFindsClientCertificatesOfTheCAsAServerAccepts) {
  const TTestCertificates& pki = TTestCertificates::Get();
  test::TTestCertStores stores;
  stores.Add("Root", pki.CAFile);
  stores.Add("MY", pki.UnknownCAClientCert, "a.pem");
  stores.Add("MY", pki.UnknownCAClientKey, "a.key");
  stores.Add("MY", pki.ServerOnlyCert, "b.pem");
  stores.Add("MY", pki.ServerOnlyKey, "b.key");
  stores.Add("MY", pki.ClientCert, "c.pem");  // no key: not a candidate
  stores.Add("MY", pki.ClientP12NoPassword, "d.pfx");
  const HCERTSTORE my = CertOpenSystemStore("MY");
  const auto leaves = [](const std::vector<PCCERT_CHAIN_CONTEXT>& aChains) {
    std::vector<std::string> subjects;
    for (const auto& chain : aChains) subjects.push_back(chain->Elements.front()->Subject());
    return subjects;
  };
  const TBytes testCA = CertOpenSystemStore("Root")->Certificates().front()->RawSubject();
  EXPECT_EQ(leaves(CertFindChainInStore(*my, szOID_PKIX_KP_CLIENT_AUTH, {testCA})),
            std::vector<std::string>{"CN=qtx Test Client"});
  EXPECT_EQ(leaves(CertFindChainInStore(*my, szOID_PKIX_KP_CLIENT_AUTH, {})),
            (std::vector<std::string>{"CN=qtx Unknown Client", "CN=qtx Test Client"}))
      << "no issuers named: any issuer, but still the usage";
}

}  // namespace
}  // namespace qtx
