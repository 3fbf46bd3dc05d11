#include "platform/qtxException.h"

#include <cerrno>
#include <cstring>

namespace qtx {

std::string SysErrorMessage(int aErrorCode) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not live in buffer.
  return strerror_r(aErrorCode, buffer, sizeof buffer);
}

void RaiseLastOSError(const std::string& aWhat) {
  const int code = errno;
  throw EOSError(code, aWhat + ": " + SysErrorMessage(code));
}

}  // namespace qtx
