#pragma once
// NTLM version 1 messages and responses, with DES and MD4 taken from the
// run-time loaded libcrypto.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/qtxIdTextEncoding.h"

namespace qtx {

using TIdNTLMChallenge = std::array<uint8_t, 8>;

// Loads libcrypto when needed; true when DES and MD4 are at hand.
bool LoadNTLMCrypto();

// The type 1 message: flags 0x0000B207, then domain and workstation
// (upper-cased, US-ASCII) after the 32-byte header.
TIdBytes BuildNTLMNegotiateMessage(std::string_view aDomain, std::string_view aHost);

// The server challenge of a type 2 message; false when the message is not one.
bool ReadNTLMChallenge(const TIdBytes& aMessage, TIdNTLMChallenge& aChallenge);

// The 24-byte LM and NT responses to a server challenge.
TIdBytes NTLMLMResponse(std::string_view aPassword, const TIdNTLMChallenge& aChallenge);
TIdBytes NTLMNTResponse(std::string_view aPassword, const TIdNTLMChallenge& aChallenge);

// The type 3 message: flags 0x00018205; LM and NT responses, the upper-cased
// domain, the user and the upper-cased workstation (UTF-16LE) after the
// 64-byte header.
TIdBytes BuildNTLMAuthenticateMessage(const TIdNTLMChallenge& aChallenge, std::string_view aDomain,
                                      std::string_view aUser, std::string_view aHost, std::string_view aPassword);

}  // namespace qtx
