#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "crypto/qtxIdSSLOpenSSLHeaders.h"

namespace qtx {
namespace {

namespace fs = std::filesystem;

// Where the system keeps the 3.x libraries (the ones installed here).
fs::path SystemLibrary(const char* aName) {
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib",
                             "/usr/lib/aarch64-linux-gnu"}) {
    fs::path path = fs::path(folder) / aName;
    if (fs::exists(path)) return path;
  }
  return {};
}

class OpenSSLLoader : public ::testing::Test {
protected:
  void SetUp() override {
    Reset();
    char pattern[] = "/tmp/qtx-loader-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    FFolder = pattern;
  }
  void TearDown() override {
    Reset();
    fs::remove_all(FFolder);
  }
  static void Reset() {
    UnloadTLSLibraries();
    SetOpenSSLLibFolder("");
    SetOpenSSLGeneration(2);
  }
  void Link(const char* aName, const fs::path& aTarget) {
    ASSERT_FALSE(aTarget.empty());
    fs::create_symlink(aTarget, FFolder / aName);
  }

  fs::path FFolder;
};

TEST_F(OpenSSLLoader, LoadsTheInstalledGenerationFromTheSystemSearch) {
  ASSERT_TRUE(LoadTLSLibraries()) << WhichFailedToLoad();
  EXPECT_TRUE(TLSLibrariesLoaded());
  EXPECT_EQ(LoadedOpenSSLGeneration(), 2);
  EXPECT_GE(OpenSSLVersionNumber(), 0x30000000UL);
  EXPECT_EQ(OpenSSLVersionText().rfind("OpenSSL 3", 0), 0u) << OpenSSLVersionText();
  EXPECT_TRUE(OpenSSLFailures().empty());
  EXPECT_NE(OpenSSLAPI().SSL_CTX_new, nullptr);
  EXPECT_NE(OpenSSLAPI().SSL_get_peer_certificate, nullptr);
}

TEST_F(OpenSSLLoader, FallsBackToTheNewestInstalledGenerationWhenTheChosenOneIsMissing) {
  SetOpenSSLGeneration(0);
  ASSERT_TRUE(LoadTLSLibraries()) << WhichFailedToLoad();
  EXPECT_EQ(LoadedOpenSSLGeneration(), 2);
  EXPECT_EQ(OpenSSLGeneration(), 0) << "the choice itself stays as the caller set it";
}

TEST_F(OpenSSLLoader, AFolderWithoutLibrariesFailsNamingEveryFileTried) {
  SetOpenSSLGeneration(1);
  SetOpenSSLLibFolder(FFolder.string());
  EXPECT_FALSE(LoadTLSLibraries());
  EXPECT_FALSE(TLSLibrariesLoaded());
  EXPECT_EQ(LoadedOpenSSLGeneration(), -1);
  const std::string folder = FFolder.string() + "/";
  const std::vector<std::string> expected = {
      "Failed to load " + folder + "libcrypto.so.1.1.",
      "Failed to load " + folder + "libcrypto.so.3.",
      "Failed to load " + folder + "libcrypto.so.1.0.0.",
  };
  EXPECT_EQ(OpenSSLFailures(), expected);
  EXPECT_EQ(WhichFailedToLoad(), expected[0] + "," + expected[1] + "," + expected[2]);
}

TEST_F(OpenSSLLoader, TheFolderGetsATrailingSlashOnce) {
  SetOpenSSLLibFolder("/opt/ssl");
  EXPECT_EQ(OpenSSLLibFolder(), "/opt/ssl/");
  SetOpenSSLLibFolder("/opt/ssl/");
  EXPECT_EQ(OpenSSLLibFolder(), "/opt/ssl/");
  SetOpenSSLLibFolder("");
  EXPECT_EQ(OpenSSLLibFolder(), "");
}

TEST_F(OpenSSLLoader, LoadsFromTheGivenFolder) {
  Link("libcrypto.so.3", SystemLibrary("libcrypto.so.3"));
  Link("libssl.so.3", SystemLibrary("libssl.so.3"));
  SetOpenSSLLibFolder(FFolder.string());
  ASSERT_TRUE(LoadTLSLibraries()) << WhichFailedToLoad();
  EXPECT_EQ(LoadedOpenSSLGeneration(), 2);
}

TEST_F(OpenSSLLoader, AMissingSSLLibraryIsNamedAfterItsCryptoLibraryLoaded) {
  Link("libcrypto.so.3", SystemLibrary("libcrypto.so.3"));
  SetOpenSSLLibFolder(FFolder.string());
  EXPECT_FALSE(LoadTLSLibraries());
  const std::vector<std::string> failures = OpenSSLFailures();
  ASSERT_FALSE(failures.empty());
  EXPECT_EQ(failures[0], "Failed to load " + FFolder.string() + "/libssl.so.3.");
}

TEST_F(OpenSSLLoader, MissingRequiredFunctionsAreListedByName) {
  // A library that opens but is not libssl: every SSL function is missing.
  Link("libcrypto.so.3", SystemLibrary("libcrypto.so.3"));
  Link("libssl.so.3", SystemLibrary("libz.so.1"));
  SetOpenSSLLibFolder(FFolder.string());
  EXPECT_FALSE(LoadTLSLibraries());
  const std::vector<std::string> failures = OpenSSLFailures();
  ASSERT_GE(failures.size(), 2u);
  EXPECT_EQ(failures[0], "SSL_CTX_new");
  EXPECT_NE(std::find(failures.begin(), failures.end(), "SSL_get1_peer_certificate"), failures.end());
  EXPECT_EQ(std::find(failures.begin(), failures.end(), "SSL_peek"), failures.end())
      << "optional functions are not failures";
  EXPECT_EQ(std::find(failures.begin(), failures.end(), "ERR_get_error"), failures.end())
      << "libcrypto's functions were found";
}

TEST_F(OpenSSLLoader, AFailedLoadCanBeRetriedAfterTheSettingsChange) {
  SetOpenSSLLibFolder(FFolder.string());
  ASSERT_FALSE(LoadTLSLibraries());
  SetOpenSSLLibFolder("");
  EXPECT_TRUE(LoadTLSLibraries()) << WhichFailedToLoad();
  EXPECT_TRUE(OpenSSLFailures().empty());
}

TEST_F(OpenSSLLoader, ConcurrentFirstLoadsAllSucceedOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> successes{0};
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      if (LoadTLSLibraries()) ++successes;
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(successes.load(), 8);
}

TEST_F(OpenSSLLoader, OffersLibcryptoPrimitivesForOtherUnits) {
  EXPECT_EQ(OpenSSLCryptoSymbol("EVP_sha1"), nullptr) << "nothing is loaded yet";
  ASSERT_TRUE(LoadTLSLibraries());
  EXPECT_NE(OpenSSLCryptoSymbol("EVP_sha1"), nullptr);
  EXPECT_EQ(OpenSSLCryptoSymbol("NoSuchFunction"), nullptr);

  // MD4 and DES, as the NTLM scheme uses them (test vectors: RFC 1320 and
  // the classic DES example key 133457799BBCDFF1).
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  ASSERT_NE(api.MD4, nullptr);
  unsigned char digest[16];
  api.MD4(reinterpret_cast<const unsigned char*>("abc"), 3, digest);
  const unsigned char md4abc[16] = {0xa4, 0x48, 0x01, 0x7a, 0xaf, 0x21, 0xd8, 0x52,
                                    0x5f, 0xc1, 0x0a, 0xe8, 0x7a, 0xa6, 0x72, 0x9d};
  EXPECT_EQ(0, memcmp(digest, md4abc, 16));

  ASSERT_NE(api.DES_set_key_unchecked, nullptr);
  ASSERT_NE(api.DES_ecb_encrypt, nullptr);
  const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  const unsigned char plain[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const unsigned char cipher[8] = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
  alignas(16) unsigned char schedule[128];  // DES_key_schedule is 128 bytes
  unsigned char out[8];
  api.DES_set_key_unchecked(key, schedule);
  api.DES_ecb_encrypt(plain, out, schedule, 1);
  EXPECT_EQ(0, memcmp(out, cipher, 8));
}

}  // namespace
}  // namespace qtx
