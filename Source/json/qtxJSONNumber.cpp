#include "json/qtxJSONNumber.h"

#include "platform/qtxSysUtils.h"

namespace qtx {

bool TryJSONNumberToDouble(std::string_view aText, double& aValue) noexcept {
  TqtxJSONNumber number;
  const char* const end = aText.data() + aText.size();
  if (TqtxJSONNumber::Scan(aText.data(), end, number) == end && number.ExactDouble(aValue)) return true;
  return TryStrToFloat(aText, aValue);
}

}  // namespace qtx
