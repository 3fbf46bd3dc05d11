#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/qtxIdSSLLibFolder.h"

namespace qtx {
namespace {

TEST(OpenSSLLibFolder, IsEmptyUntilSetAndKeepsWhatWasSet) {
  EXPECT_EQ(GetOpenSSLLibFolder(), "");
  SetOpenSSLLibFolder("/opt/ssl/lib/");
  EXPECT_EQ(GetOpenSSLLibFolder(), "/opt/ssl/lib/");
  SetOpenSSLLibFolder("");
  EXPECT_EQ(GetOpenSSLLibFolder(), "");
}

TEST(OpenSSLLibFolder, AFolderWithoutTrailingSlashGetsOne) {
  SetOpenSSLLibFolder("/opt/ssl/lib");
  EXPECT_EQ(GetOpenSSLLibFolder(), "/opt/ssl/lib/");
  SetOpenSSLLibFolder("");
}

TEST(OpenSSLLibFolder, ReadersSeeWholeValuesWhileOthersWrite) {
  const std::string first = std::string(200, 'a') + "/", second = std::string(300, 'b') + "/";
  SetOpenSSLLibFolder(first);
  std::vector<std::thread> threads;
  int torn = 0;
  threads.emplace_back([&] {
    for (int i = 0; i < 2000; ++i) SetOpenSSLLibFolder(i % 2 ? first : second);
  });
  threads.emplace_back([&] {
    for (int i = 0; i < 2000; ++i) {
      const std::string folder = GetOpenSSLLibFolder();
      if (folder != first && folder != second) ++torn;
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(torn, 0);
  SetOpenSSLLibFolder("");
}

}  // namespace
}  // namespace qtx
