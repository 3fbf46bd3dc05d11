#include "support/qtxTestJSONCorpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qtx::test {

std::vector<std::string> JSONCorpus() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(QTX_JSON_CORPUS_DIR)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> texts;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return texts;
}

}  // namespace qtx::test
