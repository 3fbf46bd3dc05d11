#pragma once
// A stream without storage: every operation is handed to an event, so that
// code which writes into (or reads from) a stream can be watched block by
// block. With no handler, a write reports its full count, a read and a seek
// give 0, and a size change does nothing.

#include <cstdint>
#include <functional>

#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"

namespace qtx {

class TIdEventStream : public TStream {
public:
  // aBuffer: the bytes (a write) or the place for them (a read); aResult: the
  // count moved, as the stream's call returns it.
  using TIdEventStreamReadEvent =
      std::function<void(TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult)>;
  using TIdEventStreamWriteEvent =
      std::function<void(const TIdBytes& aBuffer, int64_t aOffset, int64_t aCount, int64_t& aResult)>;
  using TIdEventStreamSeekEvent = std::function<void(int64_t aOffset, TSeekOrigin aOrigin, int64_t& aResult)>;
  using TIdEventStreamSetSizeEvent = std::function<void(int64_t aNewSize)>;

  // A read asks OnRead for up to aCount bytes in a fresh array, and copies
  // those it reports into aBuffer.
  int64_t Read(void* aBuffer, int64_t aCount) override;
  // Fewer than 1 byte returns 0 at once; otherwise the bytes are copied into
  // a fresh array and handed to OnWrite with offset 0.
  int64_t Write(const void* aBuffer, int64_t aCount) override;
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override;
  void SetSize(int64_t aNewSize) override;

  TIdEventStreamReadEvent OnRead;
  TIdEventStreamWriteEvent OnWrite;
  TIdEventStreamSeekEvent OnSeek;
  TIdEventStreamSetSizeEvent OnSetSize;
};

}  // namespace qtx
