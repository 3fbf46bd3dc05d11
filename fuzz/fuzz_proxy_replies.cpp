// SOCKS 4, 4A and 5 and HTTP CONNECT over any proxy answer, read from a
// scripted IO handler (the answer arrives in pieces, then the proxy closes).
// The first byte picks the protocol, the authentication and the kind of
// target address; the second the size of the pieces. A tunnel either opens
// or fails with the library's named exceptions. When a SOCKS tunnel opens,
// the proxy's reply has been read exactly: what follows it is what the
// target sent.

#include <optional>

#include "platform/qtxException.h"
#include "qtxFuzzHelpers.h"
#include "support/qtxScriptedIOHandler.h"
#include "transport/qtxIdConnectThroughHttpProxy.h"
#include "transport/qtxIdSocks.h"

namespace {

using namespace qtx;

constexpr const char* kTargets[] = {"example.test", "10.1.2.3", "2001:db8::1"};

// The length of the SOCKS 5 answer at the start of aAnswer (method choice,
// authentication and reply), 0 when the answer is too short to hold a whole
// one, or nullopt for an address type that leaves the length unknown.
std::optional<size_t> Socks5AnswerLength(std::string_view aAnswer, bool aWithPassword) {
  size_t length = aWithPassword ? 4 : 2;
  if (aAnswer.size() < length + 5) return 0;
  switch (aAnswer[length + 3]) {
    case 1: length += 4 + 4 + 2; break;
    case 4: length += 4 + 16 + 2; break;
    case 3: length += 4 + 1 + static_cast<uint8_t>(aAnswer[length + 4]) + 2; break;
    default: return std::nullopt;
  }
  return length <= aAnswer.size() ? length : 0;
}

std::string Rest(test::TScriptedIOHandler& aIO) {
  TMemoryStream rest;
  aIO.ReadStream(&rest, -1, true);
  return std::string(rest.Bytes().begin(), rest.Bytes().end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 2) return 0;
  const uint8_t kind = aData[0];
  const size_t pieceSize = 1 + aData[1] % 32;
  const std::string_view answer = fuzz::Chars(aData + 2, aSize - 2);

  test::TScriptedIOHandler io;
  io.Open();
  for (size_t pos = 0; pos < answer.size(); pos += pieceSize) io.AddInput(answer.substr(pos, pieceSize));
  io.AddClose();

  TIdSocksInfo socks;
  TIdConnectThroughHttpProxy http;
  TIdCustomTransparentProxy* proxy = &socks;
  std::string target = kTargets[(kind >> 4) % std::size(kTargets)];
  const bool withPassword = kind & 8;
  switch (kind % 4) {
    case 0: socks.SetVersion(svSocks4); target = "10.1.2.3"; break;  // SOCKS 4 would look a name up
    case 1: socks.SetVersion(svSocks4A); break;
    case 2: socks.SetVersion(svSocks5); break;
    case 3: http.SetEnabled(true); proxy = &http; break;
  }
  if (withPassword) {
    socks.SetAuthentication(saUsernamePassword);
    proxy->SetUsername("user");
    proxy->SetPassword("secret");
  }

  try {
    proxy->Connect(io, target, 443, Id_IPv4);
  } catch (const Exception&) {
    return 0;
  }
  if (kind % 4 == 2) {
    const std::optional<size_t> length = Socks5AnswerLength(answer, withPassword);
    if (!length) return 0;
    QTX_FUZZ_CHECK(*length > 0);
    QTX_FUZZ_CHECK(Rest(io) == answer.substr(*length));
  } else if (kind % 4 < 2) {
    QTX_FUZZ_CHECK(answer.size() >= 8);
    QTX_FUZZ_CHECK(Rest(io) == answer.substr(8));
  }
  return 0;
}
