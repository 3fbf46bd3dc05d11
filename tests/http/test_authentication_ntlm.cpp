#include <gtest/gtest.h>

#include <string>

#include "core/qtxIdCoderMIME.h"
#include "core/qtxIdTextEncoding.h"
#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "http/qtxIdAuthenticationNTLM.h"
#include "http/qtxIdNTLM.h"
#include "platform/qtxComputerName.h"
#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"
#include "support/qtxTestHelpers.h"

namespace qtx {
namespace {

using test::Hex;

// The published NTLMv1 example: user "User", domain "Domain", password
// "Password", server challenge 0123456789abcdef.
constexpr TIdNTLMChallenge kChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
constexpr const char* kLMResponse = "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13";
constexpr const char* kNTResponse = "67c43011f30298a2ad35ece64f16331c44bdbed927841f94";


uint32_t UInt(const TIdBytes& aBytes, size_t aPos, size_t aSize) {
  uint32_t value = 0;
  for (size_t i = 0; i < aSize; ++i) value |= static_cast<uint32_t>(aBytes.at(aPos + i)) << (8 * i);
  return value;
}

// The payload of the security buffer at aPos, checking that length and maximum length agree.
TIdBytes SecurityBuffer(const TIdBytes& aMessage, size_t aPos) {
  const uint32_t length = UInt(aMessage, aPos, 2);
  EXPECT_EQ(UInt(aMessage, aPos + 2, 2), length);
  const uint32_t offset = UInt(aMessage, aPos + 4, 4);
  EXPECT_LE(offset + length, aMessage.size());
  return TIdBytes(aMessage.begin() + offset, aMessage.begin() + offset + length);
}

TIdBytes DecodeNTLMValue(const std::string& aValue) {
  EXPECT_EQ(aValue.rfind("NTLM ", 0), 0u) << aValue;
  return TIdDecoderMIME::DecodeBytes(aValue.substr(5));
}

// A type 2 message carrying kChallenge.
std::string ChallengeLine() {
  TIdBytes message = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 2, 0, 0, 0};
  message.resize(48, 0);
  std::copy(kChallenge.begin(), kChallenge.end(), message.begin() + 24);
  return "NTLM " + TIdEncoderMIME::EncodeBytes(message);
}

class NTLMTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(LoadNTLMCrypto()) << "libcrypto with DES and MD4 is needed"; }
};

TEST_F(NTLMTest, PublishedLMAndNTResponses) {
  EXPECT_EQ(Hex(NTLMLMResponse("Password", kChallenge)), kLMResponse);
  EXPECT_EQ(Hex(NTLMNTResponse("Password", kChallenge)), kNTResponse);
}

TEST_F(NTLMTest, NegotiateMessageLayout) {
  const TIdBytes message = BuildNTLMNegotiateMessage("Domain", "ws01");
  ASSERT_GE(message.size(), 32u);
  EXPECT_EQ(std::string(message.begin(), message.begin() + 8), std::string("NTLMSSP\0", 8));
  EXPECT_EQ(UInt(message, 8, 4), 1u);
  EXPECT_EQ(UInt(message, 12, 4), 0x0000B207u);
  EXPECT_EQ(UInt(message, 20, 4), 32u);
  EXPECT_EQ(UInt(message, 28, 4), 38u);
  const TIdBytes domain = SecurityBuffer(message, 16);
  const TIdBytes host = SecurityBuffer(message, 24);
  EXPECT_EQ(std::string(domain.begin(), domain.end()), "DOMAIN");
  EXPECT_EQ(std::string(host.begin(), host.end()), "WS01");
  EXPECT_EQ(message.size(), 42u);
}

TEST_F(NTLMTest, ChallengeIsReadOnlyFromAType2Message) {
  TIdNTLMChallenge challenge{};
  const TIdBytes good = DecodeNTLMValue(ChallengeLine());
  ASSERT_TRUE(ReadNTLMChallenge(good, challenge));
  EXPECT_EQ(challenge, kChallenge);
  EXPECT_FALSE(ReadNTLMChallenge(TIdBytes(good.begin(), good.begin() + 31), challenge));
  TIdBytes type3 = good;
  type3[8] = 3;
  EXPECT_FALSE(ReadNTLMChallenge(type3, challenge));
}

TEST_F(NTLMTest, HandshakeProducesNegotiateThenAuthenticate) {
  TIdNTLMAuthentication auth;
  auth.AuthParams().Add("NTLM");
  EXPECT_EQ(auth.Next(), wnAskTheProgram);
  auth.SetUsername("Domain\\User");
  auth.SetPassword("Password");
  EXPECT_EQ(auth.Domain(), "Domain");
  EXPECT_EQ(auth.User(), "User");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.CurrentStep(), 1);

  const TIdBytes negotiate = DecodeNTLMValue(auth.Authentication());
  EXPECT_EQ(UInt(negotiate, 8, 4), 1u);
  EXPECT_EQ(auth.Host(), GetComputerName());
  const TIdBytes host = SecurityBuffer(negotiate, 24);
  EXPECT_EQ(std::string(host.begin(), host.end()), UpperCase(GetComputerName()));

  auth.AuthParams().Clear();
  auth.AuthParams().Add(ChallengeLine());
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.CurrentStep(), 2);
  const TIdBytes message = DecodeNTLMValue(auth.Authentication());
  EXPECT_EQ(UInt(message, 8, 4), 3u);
  EXPECT_EQ(UInt(message, 16, 4), 64u);
  EXPECT_EQ(UInt(message, 60, 4), 0x00018205u);
  EXPECT_EQ(Hex(SecurityBuffer(message, 12)), kLMResponse);
  EXPECT_EQ(Hex(SecurityBuffer(message, 20)), kNTResponse);
  const IIdTextEncoding utf16 = IdTextEncoding_UTF16LE();
  EXPECT_EQ(utf16->GetString(SecurityBuffer(message, 28)), "DOMAIN");
  EXPECT_EQ(utf16->GetString(SecurityBuffer(message, 36)), "User");
  EXPECT_EQ(utf16->GetString(SecurityBuffer(message, 44)), UpperCase(GetComputerName()));
  EXPECT_EQ(UInt(message, 52, 2), 0u);
  EXPECT_EQ(UInt(message, 56, 4), message.size());
}

TEST_F(NTLMTest, UserWithoutDomainHasABlankDomain) {
  TIdNTLMAuthentication auth;
  auth.SetUsername("User");
  EXPECT_EQ(auth.Domain(), " ");
  EXPECT_EQ(auth.User(), "User");
  EXPECT_EQ(auth.Username(), "User");
}

TEST_F(NTLMTest, MissingChallengeResetsAndAbortsSilently) {
  TIdNTLMAuthentication auth;
  auth.SetUsername("u");
  auth.AuthParams().Add("NTLM");
  ASSERT_EQ(auth.Next(), wnDoRequest);
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_THROW(auth.Authentication(), EAbort);
  EXPECT_EQ(auth.CurrentStep(), 0);
}

TEST_F(NTLMTest, ShortChallengeResetsAndAbortsSilently) {
  TIdNTLMAuthentication auth;
  auth.SetUsername("u");
  auth.AuthParams().Add("NTLM TlRMTVNTUAACAAAA");  // a type 2 header and nothing more
  ASSERT_EQ(auth.Next(), wnDoRequest);
  ASSERT_EQ(auth.Next(), wnDoRequest);
  EXPECT_THROW(auth.Authentication(), EAbort);
  EXPECT_EQ(auth.CurrentStep(), 0);
}

TEST_F(NTLMTest, ThirdChallengeFails) {
  TIdNTLMAuthentication auth;
  auth.SetUsername("u");
  EXPECT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.Next(), wnDoRequest);
  EXPECT_EQ(auth.CurrentStep(), 3);
  EXPECT_EQ(auth.Next(), wnFail);
  EXPECT_EQ(auth.CurrentStep(), 0);
  EXPECT_EQ(auth.Steps(), 3);
  EXPECT_TRUE(auth.KeepAlive());
}

TEST(NTLMWithoutLibrary, CreatingRaisesCouldNotLoad) {
  const std::string folder = OpenSSLLibFolder();
  UnloadTLSLibraries();
  SetOpenSSLLibFolder("/nonexistent-folder-for-this-test");
  try {
    TIdNTLMAuthentication auth;
    ADD_FAILURE() << "created without libcrypto";
  } catch (const EIdOSSLCouldNotLoadSSLLibrary& e) {
    EXPECT_STREQ(e.what(), "Could not load SSL library.");
  }
  SetOpenSSLLibFolder(folder);
  UnloadTLSLibraries();
}

TEST(NTLMRegistry, NtlmIsRegisteredAtStartUp) {
  EXPECT_EQ(FindAuthClass("ntlm"), &NewAuthentication<TIdNTLMAuthentication>);
}

}  // namespace
}  // namespace qtx
