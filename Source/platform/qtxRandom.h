#pragma once
// Bytes from the system's cryptographic random source, for whatever a peer
// must not guess: nonces, GUIDs, multipart boundaries.

#include <cstdint>
#include <span>

namespace qtx {

// Fills the bytes from getrandom; EOSError when the system cannot.
void FillRandom(std::span<uint8_t> aBytes);

}  // namespace qtx
