#pragma once
// The compressor interface of the HTTP engine: it unwraps gzip and zlib
// containers and hands the compressed data to the inflate operation that a
// concrete compressor supplies. The engine offers and decodes gzip and
// deflate only when it has a compressor that is ready.

#include <cstdint>

#include "core/qtxIdComponent.h"
#include "core/qtxIdException.h"
#include "platform/qtxStreams.h"

namespace qtx {

// A compressed body that cannot be decoded: corrupt, truncated or failing its
// check value. The message carries the decoder's reason.
class EIdDecompressionError : public EIdException { using EIdException::EIdException; };
// Compression that could not be done.
class EIdCompressionError : public EIdException { using EIdException::EIdException; };

// 0 (store) .. 9 (smallest); -1 lets the compressor choose.
using TIdCompressionLevel = int;

// Two bytes that open a zlib stream: deflate method, a window of at most
// 32 KiB and the check bits that make the pair a multiple of 31.
bool IsZLibHeader(uint8_t aCmf, uint8_t aFlg) noexcept;

class TIdZLibCompressorBase : public TIdComponent {
public:
  explicit TIdZLibCompressorBase(TComponent* aOwner = nullptr) : TIdComponent(aOwner) {}

  virtual bool GetIsReady() const { return true; }
  bool IsReady() const { return GetIsReady(); }

  // Writes aInStream, from its position to its end, as a zlib stream.
  virtual void DeflateStream(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel = -1) = 0;
  // Inflates the zlib stream at aInStream's position into aOutStream and
  // leaves aInStream just after the data it used. A zlib stream whose input
  // ends right after the compressed data, without its check value, is
  // accepted: the gzip container carries its own check. Anything corrupt or
  // cut short raises EIdDecompressionError.
  virtual void InflateStream(TStream& aInStream, TStream& aOutStream) = 0;
  // Compression with zlib's parameters; aWindowBits selects the container
  // (8..15 zlib, -8..-15 raw deflate, 24..31 gzip).
  virtual void CompressStream(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel, int aWindowBits,
                              int aMemLevel, int aStrategy) = 0;
  // Decompression with zlib's window-bits convention (47 detects zlib or
  // gzip); aInStream is left just after the data it used.
  virtual void DecompressStream(TStream& aInStream, TStream& aOutStream, int aWindowBits) = 0;

  // A "deflate" content coding: a zlib stream (what HTTP means by deflate),
  // a gzip stream, or the raw deflate data that some servers send. An empty
  // input, here and for gzip, gives an empty output.
  virtual void DecompressDeflateStream(TStream& aInStream, TStream& aOutStream);
  // A "gzip" content coding: one member or several in a row, each with its
  // header walked, its data inflated and its trailer's CRC-32 and length
  // checked. Bytes after the last member that are no member raise.
  virtual void DecompressGZipStream(TStream& aInStream, TStream& aOutStream);

  // Inflates a zlib stream after checking its two-byte header; aInStream is
  // left at the position it had.
  void DecompressHTTPDeflate(TStream& aInStream, TStream& aOutStream);
  void CompressHTTPDeflate(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel = -1);
  void CompressFTPDeflate(TStream& aInStream, TStream& aOutStream, TIdCompressionLevel aLevel, int aWindowBits,
                          int aMemLevel, int aStrategy);
  void DecompressFTPDeflate(TStream& aInStream, TStream& aOutStream, int aWindowBits);
};

}  // namespace qtx
