#pragma once
// The name of this computer, as the system's host name.

#include <string>

namespace qtx {

// gethostname's answer; empty when the system gives none.
std::string GetComputerName();

}  // namespace qtx
