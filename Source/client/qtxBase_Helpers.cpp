#include "client/qtxBase_Helpers.h"

#include "platform/qtxUnicode.h"

namespace qtx {

std::string RepairUTF8Text(std::string_view aText) {
  TBytes bytes;
  if (!TextToRaw(aText, bytes)) return std::string(aText);
  return SanitizeUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace qtx
