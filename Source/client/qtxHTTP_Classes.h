#pragma once
// The bases of the library's HTTP components, the library's string stream
// and its comma-delimited string list.

#include <string>
#include <string_view>

#include "client/qtxBase_Classes.h"
#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"
#include "platform/qtxStrings.h"

namespace qtx {

class TqtxHTTPComponent_Base : public TqtxComponent_Base {
public:
  using TqtxComponent_Base::TqtxComponent_Base;
};

class TqtxHTTPComponentClient_Base : public TqtxHTTPComponent_Base {
public:
  using TqtxHTTPComponent_Base::TqtxHTTPComponent_Base;
};

// A memory stream over text: text goes in and comes out through the chosen
// encoding (UTF-8 when none is given).
class TqtxStringStream : public TMemoryStream {
public:
  explicit TqtxStringStream(std::string_view aText = {}, IIdTextEncoding aEncoding = nullptr);
  explicit TqtxStringStream(IIdTextEncoding aEncoding) : TqtxStringStream(std::string_view(), std::move(aEncoding)) {}

  const IIdTextEncoding& Encoding() const noexcept { return FEncoding; }
  // All bytes of the stream as text.
  std::string DataString() const;
  // Writes the text's bytes at the position.
  void WriteString(std::string_view aText);
  // Reads up to aCount bytes from the position and returns them as text.
  std::string ReadString(int64_t aCount);

private:
  IIdTextEncoding FEncoding;
};

// A string list with the delimiter "," and strict delimiting: only commas
// split items, blanks do not.
class TqtxDelimitedStringList : public TStringList {
public:
  TqtxDelimitedStringList();
};

}  // namespace qtx
