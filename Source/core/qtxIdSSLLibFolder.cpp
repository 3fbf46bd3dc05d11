#include "core/qtxIdSSLLibFolder.h"

#include <mutex>

namespace qtx {

namespace {

std::mutex GFolderLock;
std::string GFolder;

}  // namespace

void SetOpenSSLLibFolder(std::string aFolder) {
  if (!aFolder.empty() && aFolder.back() != '/') aFolder += '/';
  const std::lock_guard lock(GFolderLock);
  GFolder = std::move(aFolder);
}

std::string GetOpenSSLLibFolder() {
  const std::lock_guard lock(GFolderLock);
  return GFolder;
}

}  // namespace qtx
