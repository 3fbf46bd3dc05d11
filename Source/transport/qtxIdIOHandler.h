#pragma once
// TIdIOHandler: the buffered byte pipe under the protocols. Raw bytes are read
// from the source in blocks into the input buffer, and lines, counted runs,
// integers, strings and streams are taken out of it; writes go to the target
// directly or through an optional write buffer. Descendants supply four
// primitives (read a block, write a block, is the source there, has it gone)
// and readability with a time-out; everything else is built on them here.
//
// Time-outs are milliseconds: -1 (IdTimeoutDefault) selects ReadTimeout,
// -2 (IdTimeoutInfinite) waits without limit; a ReadTimeout of -1 or 0 means
// no limit.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <variant>

#include "core/qtxIdComponent.h"
#include "core/qtxIdException.h"
#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"
#include "platform/qtxStrings.h"
#include "transport/qtxIdBuffer.h"
#include "transport/qtxIdIntercept.h"

namespace qtx {

constexpr int IdTimeoutDefault = -1;
constexpr int IdTimeoutInfinite = -2;
constexpr int IdMaxLineLengthDefault = 16384;
constexpr int IdRecvBufferSizeDefault = 32768;
constexpr int IdSendBufferSizeDefault = 32768;
constexpr int IdMaxCapturedLinesUnlimited = -1;

enum TIdMaxLineAction { maException = 0, maSplit = 1 };

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
  EIdReadLnMaxLineLengthExceeded();
};
class EIdReadLnWaitMaxAttemptsExceeded : public EIdException {
public:
  EIdReadLnWaitMaxAttemptsExceeded();
};
class EIdIOHandlerRequiresLargeStream : public EIdException {
public:
  EIdIOHandlerRequiresLargeStream();
};
class EIdIOHandlerStreamDataTooLarge : public EIdException {
public:
  EIdIOHandlerStreamDataTooLarge();
};
class EIdNoDataToRead : public EIdException {
public:
  EIdNoDataToRead();
};
class EIdObjectTypeNotSupported : public EIdException {
public:
  EIdObjectTypeNotSupported();
};
class EIdMaxCaptureLineExceeded : public EIdException {
public:
  EIdMaxCaptureLineExceeded();
};
class EIdFileNotFound : public EIdException {
public:
  explicit EIdFileNotFound(const std::string& aFileName);
};

// Where captured lines go: a string list, or a stream that receives each line
// encoded and followed by CR LF. A null destination is not supported.
using TIdCaptureDest = std::variant<TStrings*, TStream*>;

class TIdIOHandler : public TIdComponent {
public:
  explicit TIdIOHandler(TComponent* aOwner = nullptr);
  ~TIdIOHandler() override;

  // ---- life cycle
  // Clears the closed-gracefully flag, the write buffer and the input buffer,
  // then marks the handler opened.
  virtual void Open();
  // Tells the intercept, then clears the opened flag and the write buffer
  // (also when the intercept raised). The input buffer survives until Open.
  virtual void Close();
  // Marks the connection as closed by the peer.
  void CloseGracefully() { FClosedGracefully = true; }
  // Opened, and either not closed or still holding unread input.
  virtual bool Connected();
  virtual void AfterAccept() {}
  // Notices a closed connection; raises EIdConnClosedGracefully when it is
  // gone, aRaiseExceptionIfDisconnected is set and (aIgnoreBuffer or no
  // unread input remains).
  virtual void CheckForDisconnect(bool aRaiseExceptionIfDisconnected = true, bool aIgnoreBuffer = false) = 0;
  // Waits at most aMSec for input; the base has no source and returns false.
  virtual bool Readable(int aMSec = IdTimeoutDefault);
  // Reads what arrives within aTimeout into the input buffer, when connected.
  virtual void CheckForDataOnSource(int aTimeout = 0);

  // ---- filling the input buffer
  // One read into the input buffer (see the algorithm in the .cpp): the byte
  // count read, 0 when the source is gone, or -1 on a time-out.
  int FillInputBuffer(bool aRaiseExceptionIfDisconnected = true, int aTimeout = IdTimeoutDefault,
                      bool aRaiseExceptionOnTimeout = true);
  // Reads until the input buffer holds aByteCount bytes (raising
  // EIdConnClosedGracefully when the connection goes first); a negative count
  // reads once when the buffer is empty.
  void NeedInputBytes(int aByteCount);

  // ---- reading lines
  // (Inline, so that reading line after line makes one call per line.)
  std::string ReadLn(const IIdTextEncoding& aByteEncoding = nullptr) {
    return ReadLn(kLineFeed, IdTimeoutDefault, -1, aByteEncoding);
  }
  std::string ReadLn(const std::string& aTerminator, const IIdTextEncoding& aByteEncoding) {
    return ReadLn(aTerminator, IdTimeoutDefault, -1, aByteEncoding);
  }
  // The full form: an empty terminator is LF; a negative max line length is
  // MaxLineLength, 0 no limit. A time-out returns an empty string and sets
  // ReadLnTimedout.
  virtual std::string ReadLn(const std::string& aTerminator, int aTimeout = IdTimeoutDefault,
                             int aMaxLineLength = -1, const IIdTextEncoding& aByteEncoding = nullptr);
  // ReadLn with MaxLineAction maSplit; aWasSplit tells whether the line was cut.
  std::string ReadLnSplit(bool& aWasSplit, const std::string& aTerminator = "\n", int aTimeout = IdTimeoutDefault,
                          int aMaxLineLength = -1, const IIdTextEncoding& aByteEncoding = nullptr);
  // The first line that is not empty after trimming, trimmed.
  virtual std::string ReadLnWait(int aFailCount = INT32_MAX, const IIdTextEncoding& aByteEncoding = nullptr);
  // One line of a dot-terminated message: aMsgEnd is set at the delimiter
  // line; a leading ".." loses its first dot.
  std::string ReadLnRFC(bool& aMsgEnd, const IIdTextEncoding& aByteEncoding = nullptr);
  std::string ReadLnRFC(bool& aMsgEnd, const std::string& aLineTerminator, const std::string& aDelim = ".",
                        const IIdTextEncoding& aByteEncoding = nullptr);
  // Interactive line input of characters read one at a time, with backspace
  // and tab handling and an optional echo (the mask in place of each
  // character when one is given).
  std::string InputLn(const std::string& aMask = "", bool aEcho = true, int aTabWidth = 8, int aMaxLineLength = -1,
                      const IIdTextEncoding& aByteEncoding = nullptr);
  bool ReadLnTimedout() const noexcept { return FReadLnTimedOut; }

  // ---- reading bytes, strings, numbers
  virtual void ReadBytes(TIdBytes& aBuffer, int aByteCount, bool aAppend = true);
  std::string ReadString(int aByteCount, const IIdTextEncoding& aByteEncoding = nullptr);
  uint8_t ReadByte();
  // One character (as UTF-8 text), reading as many bytes as it takes.
  std::string ReadChar(const IIdTextEncoding& aByteEncoding = nullptr);
  // The integers are read in network byte order unless aConvert is false.
  int16_t ReadInt16(bool aConvert = true);
  int16_t ReadSmallInt(bool aConvert = true) { return ReadInt16(aConvert); }
  uint16_t ReadUInt16(bool aConvert = true);
  uint16_t ReadWord(bool aConvert = true) { return ReadUInt16(aConvert); }
  int32_t ReadInt32(bool aConvert = true);
  int32_t ReadLongInt(bool aConvert = true) { return ReadInt32(aConvert); }
  uint32_t ReadUInt32(bool aConvert = true);
  uint32_t ReadLongWord(bool aConvert = true) { return ReadUInt32(aConvert); }
  int64_t ReadInt64(bool aConvert = true);
  uint64_t ReadUInt64(bool aConvert = true);

  // ---- reading runs of lines and streams
  // aByteCount bytes into the stream (null: dropped). A count of -1 without
  // aReadUntilDisconnect is read from the wire first (64-bit with
  // LargeStream, else 32-bit); a negative count reads until the peer closes.
  virtual void ReadStream(TStream* aStream, int64_t aByteCount = -1, bool aReadUntilDisconnect = false);
  // aReadLinesCount lines (-1: the count is read first as a 32-bit integer).
  void ReadStrings(TStrings& aValue, int aReadLinesCount = -1, const IIdTextEncoding& aByteEncoding = nullptr);
  // Lines up to the delimiter line ("." with dot transparency by default; an
  // empty delimiter ends at the first empty line).
  void Capture(TStream& aDest, const IIdTextEncoding& aByteEncoding = nullptr);
  void Capture(TStream& aDest, int& aLineCount, const std::string& aDelim = ".", bool aUsesDotTransparency = true,
               const IIdTextEncoding& aByteEncoding = nullptr);
  void Capture(TStream& aDest, const std::string& aDelim, bool aUsesDotTransparency = true,
               const IIdTextEncoding& aByteEncoding = nullptr);
  void Capture(TStrings& aDest, const IIdTextEncoding& aByteEncoding = nullptr);
  void Capture(TStrings& aDest, int& aLineCount, const std::string& aDelim = ".", bool aUsesDotTransparency = true,
               const IIdTextEncoding& aByteEncoding = nullptr);
  void Capture(TStrings& aDest, const std::string& aDelim, bool aUsesDotTransparency = true,
               const IIdTextEncoding& aByteEncoding = nullptr);
  virtual void CaptureLines(TIdCaptureDest aDest, int& aLineCount, const IIdTextEncoding& aByteEncoding,
                            bool aUsesDotTransparency, const std::string& aDelim);
  // Everything the peer sends until it closes, as one string.
  virtual std::string AllData(const IIdTextEncoding& aByteEncoding = nullptr);
  // The text before aString, reading until it arrives.
  std::string WaitFor(const std::string& aString, bool aRemoveFromBuffer = true, bool aInclusive = false,
                      const IIdTextEncoding& aByteEncoding = nullptr, int aTimeout = IdTimeoutDefault);
  void Discard(int64_t aByteCount);
  // Reads and drops everything until the peer closes.
  void DiscardAll();

  // ---- the input buffer
  TIdBuffer& InputBuffer() noexcept { return *FInputBuffer; }
  bool InputBufferIsEmpty() const noexcept { return FInputBuffer->Size() == 0; }
  void InputBufferToStream(TStream& aStream, int aByteCount = -1) { FInputBuffer->ExtractToStream(aStream, aByteCount); }
  std::string InputBufferAsString(const IIdTextEncoding& aByteEncoding = nullptr);

  // ---- writing
  // The primitive of every write: to the write buffer while one is open,
  // otherwise straight to the target.
  virtual void Write(const TIdBytes& aBuffer, int aLength = -1, int aOffset = 0);
  virtual void Write(const std::string& aOut, const IIdTextEncoding& aByteEncoding = nullptr);
  void Write(const char* aOut, const IIdTextEncoding& aByteEncoding = nullptr) { Write(std::string(aOut), aByteEncoding); }
  // One character given by its code point.
  void Write(char32_t aValue, const IIdTextEncoding& aByteEncoding = nullptr);
  void Write(char aValue) = delete;  // a char is neither a number nor a code point here
  virtual void Write(const TStrings& aValue, bool aWriteLinesCount = false, const IIdTextEncoding& aByteEncoding = nullptr);
  // aSize bytes of the stream: 0 the whole stream from its start, negative
  // the rest from its position; with aWriteByteCount the size goes first.
  virtual void Write(TStream& aStream, int64_t aSize = 0, bool aWriteByteCount = false);
  // Integers in network byte order unless aConvert is false.
  void Write(uint8_t aValue);
  void Write(int16_t aValue, bool aConvert = true);
  void Write(uint16_t aValue, bool aConvert = true);
  void Write(int32_t aValue, bool aConvert = true);
  void Write(uint32_t aValue, bool aConvert = true);
  void Write(int64_t aValue, bool aConvert = true);
  void Write(uint64_t aValue, bool aConvert = true);
  void WriteLn(const IIdTextEncoding& aByteEncoding = nullptr) { WriteLn(std::string(), aByteEncoding); }
  virtual void WriteLn(const std::string& aOut, const IIdTextEncoding& aByteEncoding = nullptr);
  // WriteLn, with a "." put before a line that starts with ".".
  virtual void WriteLnRFC(const std::string& aOut = "", const IIdTextEncoding& aByteEncoding = nullptr);
  void WriteRFCStrings(const TStrings& aValue, bool aWriteTerminator = true, const IIdTextEncoding& aByteEncoding = nullptr);
  // Sends the whole file; EIdFileNotFound when it does not exist.
  virtual int64_t WriteFile(const std::string& aFile, bool aEnableTransferFile = false);
  // Sends a run to the target now, through the intercept.
  virtual void WriteDirect(const TIdBytes& aBuffer, int aLength = -1, int aOffset = 0);

  // ---- write buffering
  virtual void WriteBufferOpen(int aThreshold = -1);
  // Sends up to aByteCount buffered bytes (-1: all).
  virtual void WriteBufferFlush(int aByteCount = -1);
  // Flushes, then drops the write buffer (also when the flush raised).
  virtual void WriteBufferClose();
  virtual void WriteBufferClear();
  void WriteBufferCancel();
  bool WriteBufferingActive() const noexcept { return FWriteBuffer != nullptr; }

  // ---- properties
  const std::string& Destination() const noexcept { return FDestination; }
  // "host:port" (split at the last colon) sets Host and Port.
  virtual void SetDestination(const std::string& aValue);
  const std::string& Host() const noexcept { return FHost; }
  virtual void SetHost(const std::string& aValue) { FHost = aValue; }
  int Port() const noexcept { return FPort; }
  virtual void SetPort(int aValue) { FPort = aValue; }
  TIdConnectionIntercept* Intercept() const noexcept { return FIntercept; }
  virtual void SetIntercept(TIdConnectionIntercept* aValue);
  int MaxLineLength() const noexcept { return FMaxLineLength; }
  void SetMaxLineLength(int aValue) { FMaxLineLength = aValue; }
  TIdMaxLineAction MaxLineAction() const noexcept { return FMaxLineAction; }
  void SetMaxLineAction(TIdMaxLineAction aValue) { FMaxLineAction = aValue; }
  int RecvBufferSize() const noexcept { return FRecvBufferSize; }
  void SetRecvBufferSize(int aValue) { FRecvBufferSize = aValue; }
  int SendBufferSize() const noexcept { return FSendBufferSize; }
  void SetSendBufferSize(int aValue) { FSendBufferSize = aValue; }
  int ConnectTimeout() const noexcept { return FConnectTimeout; }
  void SetConnectTimeout(int aValue) { FConnectTimeout = aValue; }
  bool ClosedGracefully() const noexcept { return FClosedGracefully; }
  bool LargeStream() const noexcept { return FLargeStream; }
  void SetLargeStream(bool aValue) { FLargeStream = aValue; }
  int MaxCapturedLines() const noexcept { return FMaxCapturedLines; }
  void SetMaxCapturedLines(int aValue) { FMaxCapturedLines = aValue; }
  bool Opened() const noexcept { return FOpened; }
  int ReadTimeout() const noexcept { return FReadTimeOut; }
  void SetReadTimeout(int aValue) { FReadTimeOut = aValue; }
  int WriteBufferThreshold() const noexcept { return FWriteBufferThreshold; }
  void SetWriteBufferThreshold(int aValue) { FWriteBufferThreshold = aValue; }
  const IIdTextEncoding& DefStringEncoding() const noexcept { return FDefStringEncoding; }
  // None stores the process default encoding.
  void SetDefStringEncoding(IIdTextEncoding aValue);

protected:
  // ---- the primitives of a descendant
  // Reads what is available into aBuffer (RecvBufferSize bytes, often the
  // free tail of the input buffer); returns the byte count, 0 when the peer
  // closed, or a negative value on failure.
  virtual int ReadDataFromSource(std::span<uint8_t> aBuffer) = 0;
  // Sends up to aLength bytes from aOffset; returns the count sent, 0 when
  // the peer closed, or a negative value on failure.
  virtual int WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) = 0;
  virtual bool SourceIsAvailable() = 0;
  // Maps a failed (negative) primitive result to an error code in Winsock
  // numbering; descendants raise for codes that are not tolerated.
  virtual int FilterSocketError(int aResult) { return aResult; }
  // Raises EIdSocketError for the code.
  [[noreturn]] virtual void RaiseSocketErrorCode(int aErrorCode);

  void Notification(TComponent* aComponent, TOperation aOperation) override;

  // The encoding selection rule: the given one, else DefStringEncoding
  // (which is never none).
  const IIdTextEncoding& ChooseEncoding(const IIdTextEncoding& aByteEncoding) const {
    return aByteEncoding ? aByteEncoding : FDefStringEncoding;
  }
  // The terminator of ReadLn without one.
  static inline const std::string kLineFeed{"\n"};

private:
  bool FLargeStream = false;
  bool FClosedGracefully = false;
  int FConnectTimeout = 0;
  std::string FDestination;
  std::string FHost;
  int FPort = 0;
  std::unique_ptr<TIdBuffer> FInputBuffer;
  TIdConnectionIntercept* FIntercept = nullptr;
  int FMaxCapturedLines = IdMaxCapturedLinesUnlimited;
  TIdMaxLineAction FMaxLineAction = maException;
  int FMaxLineLength = IdMaxLineLengthDefault;
  bool FOpened = false;
  bool FReadLnSplit = false;
  bool FReadLnTimedOut = false;
  int FReadTimeOut = IdTimeoutDefault;
  int FRecvBufferSize = IdRecvBufferSizeDefault;
  int FSendBufferSize = IdSendBufferSizeDefault;
  std::unique_ptr<TIdBuffer> FWriteBuffer;
  int FWriteBufferThreshold = 0;
  IIdTextEncoding FDefStringEncoding;

  // The encoded terminator (and, for LF, the encoded CR) of the last ReadLn,
  // kept so that reading line after line encodes nothing.
  struct TTerminatorBytes {
    IIdTextEncoding Encoding;
    std::string Terminator;
    TIdBytes Bytes;
    TIdBytes CRBytes;
    bool EncodingMapsASCII = false;
    // LF in an encoding that maps ASCII to itself: lines end at byte 0x0A
    // with an optional 0x0D before it, and ASCII lines are their bytes.
    bool PlainLF = false;
  };
  const TTerminatorBytes& TerminatorBytes(const std::string& aTerminator, const IIdTextEncoding& aEncoding) {
    const TTerminatorBytes& cache = FTerminatorCache;
    const bool same = cache.Encoding == aEncoding && cache.Terminator.size() == aTerminator.size() &&
                      (aTerminator.size() == 1 ? cache.Terminator[0] == aTerminator[0] : cache.Terminator == aTerminator);
    return same ? cache : RefreshTerminatorBytes(aTerminator, aEncoding);
  }
  const TTerminatorBytes& RefreshTerminatorBytes(const std::string& aTerminator, const IIdTextEncoding& aEncoding);
  // The position of the terminator in the input buffer from aStartPos, or -1.
  int FindTerminator(const TTerminatorBytes& aTerminator, int aStartPos) const {
    if (aStartPos >= FInputBuffer->Size()) return -1;
    if (aTerminator.Bytes.size() == 1) return FInputBuffer->IndexOf(aTerminator.Bytes[0], aStartPos);
    return FInputBuffer->IndexOf(aTerminator.Bytes, aStartPos);
  }
  // Takes the line that ends at aTerminatorPos, with its terminator, out of
  // the input buffer.
  std::string TakeLine(int aTerminatorPos, const TTerminatorBytes& aTerminator);
  // For a PlainLF terminator: the position of the first LF buffered, or -1
  // when there is none or the line before it is over aMaxLineLength (0: no
  // limit).
  int BufferedLF(int aMaxLineLength) const;
  // TakeLine for a PlainLF terminator.
  std::string TakeLFLine(int aLFPos, const TTerminatorBytes& aTerminator);
  // ReadLn past its LF fast path: any terminator, and lines not (or not
  // wholly) buffered yet. aMaxLineLength is resolved (0: no limit).
  std::string ReadLnAnyTerminator(const TTerminatorBytes& aTerminator, int aTimeout, int aMaxLineLength);
  // ReadLn once the buffered bytes hold no whole line (aTerminatorPos -1) or
  // a line over the limit: reads on, with the length and time-out rules.
  std::string ReadLnFromSource(const TTerminatorBytes& aTerminator, int aTerminatorPos, int aTimeout,
                               int aMaxLineLength);
  // Reads a line for the line readers that cannot return a timed-out line as
  // an empty one: a time-out raises EIdReadTimeout.
  std::string ReadLnOrTimeout(const IIdTextEncoding& aEncoding);
  // Moves up to aMax buffered bytes to the stream (or drops them).
  int64_t MoveInputToStream(TStream* aStream, int64_t aMax);
  // FillInputBuffer, or, with aIntoReadBlock, the same read with its bytes
  // left at the start of the read block instead of in the input buffer.
  int ReceiveFromSource(bool aRaiseExceptionIfDisconnected, int aTimeout, bool aRaiseExceptionOnTimeout,
                        bool aIntoReadBlock);
  // Where one read of the source goes: the free tail of the input buffer,
  // or the read block when the bytes go elsewhere or pass an intercept.
  std::span<uint8_t> ReceiveSpace(bool aIntoReadBlock);
  // Completes a read of aCount bytes into ReceiveSpace, through the
  // intercept when there is one; returns the count that came through.
  int TakeReceived(bool aIntoReadBlock, int aCount);
  // Hands the first aCount bytes of the read block to a ReadStream wanting
  // at most aMax more: straight to the stream (null: dropped), with the
  // work reported as for bytes taken from the input buffer; bytes past aMax
  // stay in the input buffer. Returns the count delivered.
  int64_t DeliverReadBlock(TStream* aStream, int aCount, int64_t aMax);
  // For a read that got nothing from a source which a descendant's
  // CheckForDisconnect did not report as gone: closed or not connected.
  [[noreturn]] void RaiseSourceGone() const;

  TTerminatorBytes FTerminatorCache;
  // The block that reads go into when they do not go straight into the
  // input buffer, kept between reads.
  TIdBytes FReadBlock;
};

}  // namespace qtx
