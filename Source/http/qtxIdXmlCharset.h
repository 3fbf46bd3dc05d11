#pragma once
// The charset an XML document declares for itself: by its byte-order mark,
// or by the encoding named in its XML declaration, read in whichever of the
// usual layouts (UTF-32 in four byte orders, UTF-16 in two, ASCII-compatible,
// EBCDIC) the first four bytes show.

#include <string>

#include "platform/qtxStreams.h"

namespace qtx {

// Reads aStream from its start. "UTF-8" when neither a mark nor a declared
// encoding says otherwise; empty for the two UCS-4 marks of unusual byte
// order. The stream's position is left where the reading ended.
std::string DetectXmlCharset(TStream& aStream);

}  // namespace qtx
