#pragma once
// The quoted-printable encoder of multipart bodies (RFC 2045, section 6.7).
// Only CR LF is a line break of the input; a lone CR or LF is encoded, so
// every byte comes back unchanged on decoding. The output always ends with
// CR LF, which a multipart body takes as the line break before the next
// delimiter.

#include <string>

#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"

namespace qtx {

class TIdEncoderQuotedPrintable {
public:
  // Encodes aSource from its position to its end into aDest.
  static void EncodeStream(TStream& aSource, TStream& aDest);
  static std::string EncodeBytes(const TIdBytes& aBytes);
};

}  // namespace qtx
