// The proxy environment over arbitrary variables. The input is a request URL,
// a proxy URL and a no-proxy list, separated by NUL. Oracle: the reader
// either names a usable proxy (enabled, a host, a port from 1 to 65535,
// login texts that are valid UTF-8) or none, or raises
// EqtxProxyEnvironmentError; nothing else escapes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "client/qtxHTTP_ProxyEnvironment.h"
#include "platform/qtxUnicode.h"

namespace {

std::string TakePiece(std::string_view& aInput) {
  const size_t nul = aInput.find('\0');
  const std::string_view piece = aInput.substr(0, nul);
  aInput.remove_prefix(nul == std::string_view::npos ? aInput.size() : nul + 1);
  return qtx::SanitizeUtf8(piece);
}

void Check(bool aHolds) {
  if (!aHolds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  std::string_view input(reinterpret_cast<const char*>(aData), aSize);
  const std::string url = TakePiece(input);
  const std::string proxy = TakePiece(input);
  const std::string noProxy = TakePiece(input);
  const auto lookup = [&](const std::string& aName) -> std::optional<std::string> {
    if (aName == "all_proxy") return proxy;
    if (aName == "no_proxy") return noProxy;
    return std::nullopt;
  };
  try {
    const auto found = qtx::ProxyFromEnvironment(url, lookup);
    if (!found) return 0;
    Check(found->Enabled() && !found->Host().empty() && found->Port() >= 1 && found->Port() <= 65535);
    Check(qtx::IsValidUtf8(found->Username()) && qtx::IsValidUtf8(found->Password()));
  } catch (const qtx::EqtxProxyEnvironmentError&) {
  }
  return 0;
}
