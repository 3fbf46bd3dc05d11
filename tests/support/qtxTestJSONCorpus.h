#pragma once
// The JSON texts the readers are tried on: the seed corpus of the JSON fuzz
// harness (answers of the service, lenient and broken texts, odd numbers and
// strings), each file one text.

#include <string>
#include <vector>

namespace qtx::test {

std::vector<std::string> JSONCorpus();

}  // namespace qtx::test
