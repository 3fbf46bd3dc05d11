#include "platform/qtxComputerName.h"

#include <unistd.h>

#include <climits>

namespace qtx {

std::string GetComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  return std::string(name);
}

}  // namespace qtx
