#include "qtxTestShell.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qtx::test {

TTempFolder::TTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qtx-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

void WriteFileBytes(const std::string& aFileName, const TBytes& aBytes) {
  std::ofstream out(aFileName, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(aBytes.data()), static_cast<std::streamsize>(aBytes.size()));
  if (!out) throw std::runtime_error("cannot write " + aFileName);
}

TBytes ReadFileBytes(const std::string& aFileName) {
  std::ifstream in(aFileName, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + aFileName);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ShellQuote(const std::string& aWord) {
  std::string quoted = "'";
  for (char c : aWord) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

TBytes RunShell(const std::string& aCommand, const std::string& aFolder) {
  const std::string command = "cd " + ShellQuote(aFolder) + " && " + aCommand;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run: " + aCommand);
  TBytes output;
  uint8_t block[65536];
  size_t n;
  while ((n = fread(block, 1, sizeof block, pipe)) > 0) output.insert(output.end(), block, block + n);
  const int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("command failed: " + aCommand);
  }
  return output;
}

}  // namespace qtx::test
