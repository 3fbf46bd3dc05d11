#pragma once
// Hostile loopback peers for the readers' tests: answers that stall, stop
// short, reset the connection at a chosen byte or never end their header.
// They run inside a TScriptedServer script (or a TLS server's script, see
// qtxTestTls.h) once it has read what it needs of the request, and lie as
// the bytes they are given lie. Every wait is bounded by kPeerWaitMs and every
// flood by a byte limit, so a reader that never gives up fails its test
// instead of hanging it or exhausting memory.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "qtxTestSockets.h"

namespace qtx::test {

// How a hostile answer ends once its bytes are out.
enum class TPeerEnd {
  Stall,  // the connection stays open and silent until the client goes
  Close,  // the connection is closed (for TLS: without close_notify)
  Reset,  // the connection is reset
};

constexpr size_t kWholeAnswer = std::string_view::npos;

// Sends the first aCut bytes of aAnswer (all of it with kWholeAnswer), then
// ends as aEnd says.
void SendHostile(TTestPeer& aPeer, std::string_view aAnswer, size_t aCut, TPeerEnd aEnd);

// Waits, dropping whatever arrives, until the client closes or resets the
// connection or kPeerWaitMs pass.
void StallUntilClientGoes(int aFd);

// Sends aHead, then header lines without end until the client stops taking
// them (it closed or reset the connection, or stopped reading) or aLimit
// bytes went out, then closes. Returns the number of bytes sent.
constexpr size_t kFloodLimit = 64 << 20;
size_t FloodHeaderLines(TTestPeer& aPeer, std::string_view aHead, size_t aLimit = kFloodLimit);
// The same through any sender that throws std::runtime_error once the client
// stops taking bytes (the TLS variant uses it); closing is the caller's.
size_t FloodHeaderLines(const std::function<void(std::string_view)>& aSend, std::string_view aHead, size_t aLimit);

}  // namespace qtx::test
