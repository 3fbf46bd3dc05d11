#include "client/qtxHTTP_Classes.h"

#include <algorithm>

namespace qtx {

TqtxStringStream::TqtxStringStream(std::string_view aText, IIdTextEncoding aEncoding)
    : FEncoding(aEncoding ? std::move(aEncoding) : IdTextEncoding_UTF8()) {
  WriteString(aText);
  SetPosition(0);
}

std::string TqtxStringStream::DataString() const { return FEncoding->GetString(Bytes()); }

void TqtxStringStream::WriteString(std::string_view aText) { WriteBuffer(FEncoding->GetBytes(aText)); }

std::string TqtxStringStream::ReadString(int64_t aCount) {
  TIdBytes bytes(static_cast<size_t>(std::max<int64_t>(std::min(aCount, Size() - Position()), 0)));
  ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return FEncoding->GetString(bytes);
}

TqtxDelimitedStringList::TqtxDelimitedStringList() {
  SetDelimiter(',');
  SetStrictDelimiter(true);
}

}  // namespace qtx
