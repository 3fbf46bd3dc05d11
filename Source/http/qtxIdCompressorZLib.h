#pragma once
// The compressor over zlib: give one to the HTTP client and it offers and
// decodes gzip and deflate bodies.

#include "http/qtxIdZLibCompressorBase.h"

namespace qtx {

class TIdCompressorZLib : public TIdZLibCompressorBase {
public:
  explicit TIdCompressorZLib(TComponent* aOwner = nullptr) : TIdZLibCompressorBase(aOwner) {}

  void DeflateStream(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel = -1) override;
  void InflateStream(TStream& aInStream, TStream& aOutStream) override;
  void CompressStream(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel, int aWindowBits,
                      int aMemLevel, int aStrategy) override;
  void DecompressStream(TStream& aInStream, TStream& aOutStream, int aWindowBits) override;
};

}  // namespace qtx
