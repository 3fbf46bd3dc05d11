#include "platform/qtxException.h"

#include <cerrno>
#include <cstring>

#include "platform/qtxSysUtils.h"

namespace qtx {

EListError EListError::IndexOutOfBounds(int aIndex) {
  return EListError(Format("List index out of bounds (%d)", {aIndex}));
}

void RaiseLastOSError(const std::string& aWhat) {
  const int code = errno;
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not live in buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  throw EOSError(code, aWhat + ": " + text);
}

}  // namespace qtx
