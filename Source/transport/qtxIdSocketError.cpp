#include "transport/qtxIdSocketError.h"

#include <string_view>

#include "core/qtxIdException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr std::string_view RSStackError = "Socket Error # %d\r\n%s";
constexpr int kNotASocket = 10038;
}  // namespace

// The texts by code arrive with the socket stack; until then every code reads
// as the bare number.
std::string SocketErrorText(int) { return {}; }

std::string SocketErrorMessage(int aErrorCode) {
  return Format(RSStackError, {aErrorCode, SocketErrorText(aErrorCode)});
}

void RaiseSocketError(int aErrorCode) {
  if (aErrorCode == kNotASocket) throw EIdNotASocket(aErrorCode, SocketErrorMessage(aErrorCode));
  throw EIdSocketError(aErrorCode, SocketErrorMessage(aErrorCode));
}

}  // namespace qtx
