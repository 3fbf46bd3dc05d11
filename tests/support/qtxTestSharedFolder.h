#pragma once
// A folder made once per build and shared by the test processes: each test
// runs in a process of its own, and some fixtures (certificates, a compiled
// locale) take seconds to make.

#include <functional>
#include <string>

namespace qtx::test {

// The folder aName in the build's test folder, made by aMake (which receives
// it empty) when it is missing or older than aMaxAgeSeconds. A lock makes the
// first process make it while the others wait; a failed make throws and
// leaves no folder behind that counts as made.
std::string SharedFolder(const std::string& aName, long aMaxAgeSeconds,
                         const std::function<void(const std::string&)>& aMake);

}  // namespace qtx::test
