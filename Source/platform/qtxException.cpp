#include "platform/qtxException.h"

#include <cerrno>
#include <cstring>

#include "platform/qtxSysUtils.h"

namespace qtx {

EListError EListError::IndexOutOfBounds(int aIndex) {
  return EListError(Format("List index out of bounds (%d)", {aIndex}));
}

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
