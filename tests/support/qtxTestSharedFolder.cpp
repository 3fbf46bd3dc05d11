#include "qtxTestSharedFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/qtxScopeExit.h"

namespace qtx::test {
namespace {

bool IsFresh(const std::string& aMarker, long aMaxAgeSeconds) {
  struct stat status{};
  return stat(aMarker.c_str(), &status) == 0 && std::time(nullptr) - status.st_mtime < aMaxAgeSeconds;
}

}  // namespace

std::string SharedFolder(const std::string& aName, long aMaxAgeSeconds,
                         const std::function<void(const std::string&)>& aMake) {
  const std::string folder = std::string(QTX_TEST_SHARED_DIR) + "/" + aName;
  std::filesystem::create_directories(QTX_TEST_SHARED_DIR);
  const int lock = open((folder + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  if (lock < 0) throw std::runtime_error("cannot open " + folder + ".lock");
  const TScopeExit closeLock([lock] { close(lock); });  // closing releases the lock
  if (flock(lock, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + folder + ".lock");
  const std::string marker = folder + "/.made";
  if (!IsFresh(marker, aMaxAgeSeconds)) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    aMake(folder);
    std::ofstream{marker};
  }
  return folder;
}

}  // namespace qtx::test
