#include "http/qtxIdNTLM.h"

#include <algorithm>
#include <cstring>

#include "crypto/qtxIdSSLOpenSSLHeaders.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
constexpr uint32_t kNegotiateFlags = 0x0000B207;
constexpr uint32_t kAuthenticateFlags = 0x00018205;
constexpr size_t kNegotiateHeaderSize = 32;
constexpr size_t kAuthenticateHeaderSize = 64;
constexpr size_t kChallengeOffset = 24;
constexpr int kDESEncrypt = 1;

// Room for OpenSSL's DES_key_schedule (16 blocks of 8 bytes).
struct alignas(16) TDESKeySchedule {
  uint8_t Bytes[128];
};

void PutUInt16(TIdBytes& aOut, size_t aPos, size_t aValue) {
  aOut[aPos] = static_cast<uint8_t>(aValue);
  aOut[aPos + 1] = static_cast<uint8_t>(aValue >> 8);
}

void PutUInt32(TIdBytes& aOut, size_t aPos, size_t aValue) {
  for (size_t i = 0; i < 4; ++i) aOut[aPos + i] = static_cast<uint8_t>(aValue >> (8 * i));
}

// A header of the given size with signature and message type.
TIdBytes NewMessage(size_t aHeaderSize, uint32_t aType) {
  TIdBytes message(aHeaderSize, 0);
  std::copy(std::begin(kSignature), std::end(kSignature), message.begin());
  PutUInt32(message, 8, aType);
  return message;
}

// Writes a security buffer (length, maximum length, offset) at aPos and
// appends its payload.
void AddSecurityBuffer(TIdBytes& aMessage, size_t aPos, const TIdBytes& aPayload) {
  PutUInt16(aMessage, aPos, aPayload.size());
  PutUInt16(aMessage, aPos + 2, aPayload.size());
  PutUInt32(aMessage, aPos + 4, aMessage.size());
  aMessage.insert(aMessage.end(), aPayload.begin(), aPayload.end());
}

// Spreads 7 key bytes over the 8 bytes of a DES key (the low bit of each is parity).
void DESEncrypt(const uint8_t* aKey7, const uint8_t* aInput, uint8_t* aOutput) {
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  uint8_t key[8];
  key[0] = aKey7[0];
  for (int i = 1; i < 7; ++i) key[i] = static_cast<uint8_t>((aKey7[i - 1] << (8 - i)) | (aKey7[i] >> i));
  key[7] = static_cast<uint8_t>(aKey7[6] << 1);
  api.DES_set_odd_parity(key);
  TDESKeySchedule schedule{};
  api.DES_set_key_unchecked(key, &schedule);
  api.DES_ecb_encrypt(aInput, aOutput, &schedule, kDESEncrypt);
}

// The 16-byte hash, padded to 21 bytes, as three DES keys over the challenge.
TIdBytes ChallengeResponse(const uint8_t (&aHash)[16], const TIdNTLMChallenge& aChallenge) {
  uint8_t keys[21] = {};
  std::memcpy(keys, aHash, 16);
  TIdBytes response(24);
  for (int i = 0; i < 3; ++i) DESEncrypt(keys + 7 * i, aChallenge.data(), response.data() + 8 * i);
  return response;
}

TIdBytes UTF16LE(std::string_view aText) { return IdTextEncoding_UTF16LE()->GetBytes(aText); }

// The OEM code page of the LM password: 437, the US OEM code page.
TIdBytes OEMBytes(std::string_view aText) { return EncodingForCodePage(437)->GetBytes(aText); }
}  // namespace

bool LoadNTLMCrypto() {
  if (!LoadTLSLibraries()) return false;
  const TIdOpenSSLAPI& api = OpenSSLAPI();
  return api.DES_set_odd_parity && api.DES_set_key_unchecked && api.DES_ecb_encrypt && api.MD4;
}

TIdBytes BuildNTLMNegotiateMessage(std::string_view aDomain, std::string_view aHost) {
  const IIdTextEncoding ascii = IdTextEncoding_ASCII();
  TIdBytes message = NewMessage(kNegotiateHeaderSize, 1);
  PutUInt32(message, 12, kNegotiateFlags);
  AddSecurityBuffer(message, 16, ascii->GetBytes(UpperCase(aDomain)));
  AddSecurityBuffer(message, 24, ascii->GetBytes(UpperCase(aHost)));
  return message;
}

bool ReadNTLMChallenge(const TIdBytes& aMessage, TIdNTLMChallenge& aChallenge) {
  if (aMessage.size() < kChallengeOffset + aChallenge.size()) return false;
  if (!std::equal(std::begin(kSignature), std::end(kSignature), aMessage.begin())) return false;
  if (aMessage[8] != 2 || aMessage[9] != 0 || aMessage[10] != 0 || aMessage[11] != 0) return false;
  std::copy_n(aMessage.begin() + kChallengeOffset, aChallenge.size(), aChallenge.begin());
  return true;
}

TIdBytes NTLMLMResponse(std::string_view aPassword, const TIdNTLMChallenge& aChallenge) {
  static constexpr uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  TIdBytes password = OEMBytes(UpperCase(aPassword));
  password.resize(14, 0);
  uint8_t hash[16];
  DESEncrypt(password.data(), kMagic, hash);
  DESEncrypt(password.data() + 7, kMagic, hash + 8);
  return ChallengeResponse(hash, aChallenge);
}

TIdBytes NTLMNTResponse(std::string_view aPassword, const TIdNTLMChallenge& aChallenge) {
  const TIdBytes password = UTF16LE(aPassword);
  uint8_t hash[16];
  OpenSSLAPI().MD4(password.data(), password.size(), hash);
  return ChallengeResponse(hash, aChallenge);
}

TIdBytes BuildNTLMAuthenticateMessage(const TIdNTLMChallenge& aChallenge, std::string_view aDomain,
                                      std::string_view aUser, std::string_view aHost, std::string_view aPassword) {
  TIdBytes message = NewMessage(kAuthenticateHeaderSize, 3);
  AddSecurityBuffer(message, 12, NTLMLMResponse(aPassword, aChallenge));
  AddSecurityBuffer(message, 20, NTLMNTResponse(aPassword, aChallenge));
  AddSecurityBuffer(message, 28, UTF16LE(UpperCase(aDomain)));
  AddSecurityBuffer(message, 36, UTF16LE(aUser));
  AddSecurityBuffer(message, 44, UTF16LE(UpperCase(aHost)));
  AddSecurityBuffer(message, 52, TIdBytes());  // no session key
  PutUInt32(message, 60, kAuthenticateFlags);
  return message;
}

}  // namespace qtx
