#include "transport/qtxIdTextBytes.h"

#include <algorithm>
#include <iterator>

namespace qtx {

bool MapsASCIIToItself(const TIdTextEncodingBase& aEncoding) {
  // The shared instances live as long as the process.
  static const TIdTextEncodingBase* const kInstances[] = {
      IndyTextEncoding_ASCII().get(), IndyTextEncoding_8Bit().get(), IndyTextEncoding_UTF8().get()};
  return std::find(std::begin(kInstances), std::end(kInstances), &aEncoding) != std::end(kInstances);
}

}  // namespace qtx
