#include "transport/qtxIdTextBytes.h"

#include <algorithm>
#include <iterator>

namespace qtx {

bool MapsASCIIToItself(const TIdTextEncodingBase& aEncoding) {
  // The shared instances live as long as the process.
  static const TIdTextEncodingBase* const kInstances[] = {
      IdTextEncoding_ASCII().get(), IdTextEncoding_8Bit().get(), IdTextEncoding_UTF8().get()};
  return std::find(std::begin(kInstances), std::end(kInstances), &aEncoding) != std::end(kInstances);
}

}  // namespace qtx
