#include "transport/qtxIdIOHandler.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <exception>
#include <filesystem>

#include "platform/qtxScopeExit.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"
#include "transport/qtxIdAntiFreezeBase.h"
#include "transport/qtxIdNetworkOrder.h"
#include "transport/qtxIdSocketError.h"
#include "transport/qtxIdTextBytes.h"

namespace qtx {

namespace {
constexpr std::string_view RSReadLnMaxLineLengthExceeded = "Max line length exceeded.";
constexpr std::string_view RSReadLnWaitMaxAttemptsExceeded = "Max line read attempts exceeded.";
constexpr std::string_view RSRequiresLargeStream = "Set LargeStream to True to send streams greater than 2GB";
constexpr std::string_view RSDataTooLarge = "Data is too large for stream";
constexpr std::string_view RSNoDataToRead = "No data to read.";
constexpr std::string_view RSObjectTypeNotSupported = "Object type not supported.";
constexpr std::string_view RSMaximumNumberOfCaptureLineExceeded = "Maximum number of line allowed exceeded";
constexpr std::string_view RSFileNotFound = "File \"%s\" not found";

constexpr std::string_view kLF = "\n";
constexpr std::string_view kCR = "\r";
constexpr std::string_view kEOL = "\r\n";
constexpr int kSocketTimedOut = 10060;  // WSAETIMEDOUT: a time-out, not a failure
constexpr int kAllDataWait = 250;
// How far ReadStream sizes a stream ahead of the bytes that have arrived.
constexpr int64_t kMaxStreamPresize = 1 << 20;

int64_t TicksNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The usable length of a run of aBuffer: from aOffset, at most aLength (-1: to the end).
int RunLength(const TIdBytes& aBuffer, int aLength, int aOffset) {
  const int64_t available = static_cast<int64_t>(aBuffer.size()) - std::max(aOffset, 0);
  if (available <= 0) return 0;
  const int64_t length = aLength < 0 ? available : std::min<int64_t>(aLength, available);
  return static_cast<int>(std::min<int64_t>(length, INT_MAX));
}

template <typename T>
TIdBytes IntegerBytes(T aValue, bool aConvert) {
  const T value = aConvert ? HostToNetwork(aValue) : aValue;
  TIdBytes bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

}  // namespace

EIdReadLnMaxLineLengthExceeded::EIdReadLnMaxLineLengthExceeded()
    : EIdException(std::string(RSReadLnMaxLineLengthExceeded)) {}
EIdReadLnWaitMaxAttemptsExceeded::EIdReadLnWaitMaxAttemptsExceeded()
    : EIdException(std::string(RSReadLnWaitMaxAttemptsExceeded)) {}
EIdIOHandlerRequiresLargeStream::EIdIOHandlerRequiresLargeStream()
    : EIdException(std::string(RSRequiresLargeStream)) {}
EIdIOHandlerStreamDataTooLarge::EIdIOHandlerStreamDataTooLarge() : EIdException(std::string(RSDataTooLarge)) {}
EIdNoDataToRead::EIdNoDataToRead() : EIdException(std::string(RSNoDataToRead)) {}
EIdObjectTypeNotSupported::EIdObjectTypeNotSupported() : EIdException(std::string(RSObjectTypeNotSupported)) {}
EIdMaxCaptureLineExceeded::EIdMaxCaptureLineExceeded()
    : EIdException(std::string(RSMaximumNumberOfCaptureLineExceeded)) {}
EIdFileNotFound::EIdFileNotFound(const std::string& aFileName)
    : EIdException(Format(RSFileNotFound, {aFileName})) {}

// ---- life cycle --------------------------------------------------------------------

TIdIOHandler::TIdIOHandler(TComponent* aOwner)
    : TIdComponent(aOwner),
      FInputBuffer(std::make_unique<TIdBuffer>([this](TIdBuffer&, int aBytes) { DoWork(wmRead, aBytes); })),
      FDefStringEncoding(IdTextEncoding_ASCII()) {}

TIdIOHandler::~TIdIOHandler() {
  // Descendants close their own source first; this tells the intercept.
  try {
    TIdIOHandler::Close();
  } catch (...) {
  }
}

void TIdIOHandler::Open() {
  FOpened = false;
  FClosedGracefully = false;
  WriteBufferClear();
  FInputBuffer->Clear();
  FOpened = true;
}

void TIdIOHandler::Close() {
  const TScopeExit closed([this] {
    FOpened = false;
    WriteBufferClear();
  });
  if (FIntercept != nullptr) FIntercept->Disconnect();
}

bool TIdIOHandler::Connected() {
  CheckForDisconnect(false, false);
  return (!FClosedGracefully || !InputBufferIsEmpty()) && FOpened;
}

bool TIdIOHandler::Readable(int) { return false; }

void TIdIOHandler::CheckForDataOnSource(int aTimeout) {
  if (Connected()) FillInputBuffer(false, aTimeout, false);
}

void TIdIOHandler::RaiseSocketErrorCode(int aErrorCode) { RaiseSocketError(aErrorCode); }

void TIdIOHandler::RaiseSourceGone() const {
  if (FClosedGracefully) throw EIdConnClosedGracefully();
  throw EIdNotConnected();
}

// ---- properties ----------------------------------------------------------------------

void TIdIOHandler::SetDestination(const std::string& aValue) {
  FDestination = aValue;
  const size_t colon = aValue.rfind(':');
  if (aValue.empty() || colon == std::string::npos) return;
  SetHost(aValue.substr(0, colon));
  SetPort(StrToIntDef(Trim(aValue.substr(colon + 1)), FPort));
}

void TIdIOHandler::SetIntercept(TIdConnectionIntercept* aValue) {
  if (aValue == FIntercept) return;
  if (FIntercept != nullptr) RemoveFreeNotification(FIntercept);
  FIntercept = aValue;
  if (FIntercept != nullptr) FreeNotification(FIntercept);
}

void TIdIOHandler::Notification(TComponent* aComponent, TOperation aOperation) {
  TIdComponent::Notification(aComponent, aOperation);
  if (aOperation == TOperation::opRemove && aComponent == FIntercept) FIntercept = nullptr;
}

void TIdIOHandler::SetDefStringEncoding(IIdTextEncoding aValue) {
  FDefStringEncoding = aValue ? std::move(aValue) : IdTextEncoding_Default();
}

// ---- filling the input buffer --------------------------------------------------------

int TIdIOHandler::FillInputBuffer(bool aRaiseExceptionIfDisconnected, int aTimeout, bool aRaiseExceptionOnTimeout) {
  return ReceiveFromSource(aRaiseExceptionIfDisconnected, aTimeout, aRaiseExceptionOnTimeout, false);
}

int TIdIOHandler::ReceiveFromSource(bool aRaiseExceptionIfDisconnected, int aTimeout, bool aRaiseExceptionOnTimeout,
                                    bool aIntoReadBlock) {
  if (aTimeout == IdTimeoutDefault) {
    aTimeout = (FReadTimeOut == IdTimeoutDefault || FReadTimeOut == 0) ? IdTimeoutInfinite : FReadTimeOut;
  }
  CheckForDisconnect(aRaiseExceptionIfDisconnected, false);
  if (!SourceIsAvailable()) {
    if (aRaiseExceptionIfDisconnected) throw EIdNotConnected();
    return 0;
  }
  int count = 0;
  do {
    count = 0;
    bool sourceClosed = false;
    if (!Readable(aTimeout)) {
      if (aRaiseExceptionOnTimeout) throw EIdReadTimeout();
      return -1;
    }
    if (!FOpened) {
      if (aRaiseExceptionIfDisconnected) throw EIdNotConnected();
      sourceClosed = true;
    } else if (!SourceIsAvailable()) {
      if (aRaiseExceptionIfDisconnected) throw EIdClosedSocket();
      sourceClosed = true;
    } else {
      count = ReadDataFromSource(ReceiveSpace(aIntoReadBlock));
      sourceClosed = count == 0;
      if (count > 0) count = TakeReceived(aIntoReadBlock, count);
    }
    if (count < 0) {
      const int errorCode = FilterSocketError(count);
      if (errorCode == kSocketTimedOut) {
        if (aRaiseExceptionOnTimeout) throw EIdReadTimeout();
        return -1;
      }
      FClosedGracefully = true;
      Close();
      // Bytes that arrived before the failure are read first.
      if (InputBufferIsEmpty() && aRaiseExceptionIfDisconnected) RaiseSocketErrorCode(errorCode);
      count = 0;
    } else if (sourceClosed) {
      FClosedGracefully = true;
    }
    CheckForDisconnect(aRaiseExceptionIfDisconnected, false);
    // An intercept may keep every byte of a block for itself: that is no
    // close, so read on.
  } while (count == 0 && !FClosedGracefully && SourceIsAvailable());
  return count;
}

std::span<uint8_t> TIdIOHandler::ReceiveSpace(bool aIntoReadBlock) {
  const int size = std::max(FRecvBufferSize, 1);
  if (!aIntoReadBlock && FIntercept == nullptr) return FInputBuffer->AppendSpace(size);
  if (FReadBlock.size() < static_cast<size_t>(size)) FReadBlock.resize(static_cast<size_t>(size));
  return {FReadBlock.data(), static_cast<size_t>(size)};
}

int TIdIOHandler::TakeReceived(bool aIntoReadBlock, int aCount) {
  if (FIntercept == nullptr) {
    if (!aIntoReadBlock) FInputBuffer->CommitAppend(aCount);
    return aCount;
  }
  TIdBytes received(FReadBlock.begin(), FReadBlock.begin() + aCount);
  FIntercept->Receive(received);
  const int count = static_cast<int>(received.size());
  if (aIntoReadBlock) {
    FReadBlock = std::move(received);
  } else {
    FInputBuffer->Write(std::move(received));
  }
  return count;
}

void TIdIOHandler::NeedInputBytes(int aByteCount) {
  if (aByteCount > 0) {
    while (FInputBuffer->Size() < aByteCount) {
      const int result = FillInputBuffer(false, IdTimeoutDefault, true);
      if (result > 0 && FInputBuffer->Size() >= aByteCount) break;
      CheckForDisconnect(true, true);
      if (result == 0) RaiseSourceGone();
    }
  } else if (aByteCount < 0 && InputBufferIsEmpty()) {
    FillInputBuffer(false, FReadTimeOut, false);
    CheckForDisconnect(true, true);
  }
}

// ---- reading lines -------------------------------------------------------------------

const TIdIOHandler::TTerminatorBytes& TIdIOHandler::RefreshTerminatorBytes(const std::string& aTerminator,
                                                                            const IIdTextEncoding& aEncoding) {
  TTerminatorBytes& cache = FTerminatorCache;
  cache.Bytes = aEncoding->GetBytes(aTerminator);
  cache.CRBytes = aTerminator == kLF ? aEncoding->GetBytes(kCR) : TIdBytes();
  cache.Terminator = aTerminator;
  cache.Encoding = aEncoding;
  cache.EncodingMapsASCII = MapsASCIIToItself(*aEncoding);
  cache.PlainLF = cache.EncodingMapsASCII && aTerminator == kLF;
  return cache;
}

int TIdIOHandler::BufferedLF(int aMaxLineLength) const {
  const int size = FInputBuffer->Size();
  if (size == 0) return -1;
  const uint8_t* data = FInputBuffer->Data();
  const auto* lf = static_cast<const uint8_t*>(std::memchr(data, '\n', static_cast<size_t>(size)));
  if (lf == nullptr || (aMaxLineLength > 0 && lf - data > aMaxLineLength)) return -1;
  return static_cast<int>(lf - data);
}

[[gnu::always_inline]] inline std::string TIdIOHandler::TakeLFLine(int aLFPos, const TTerminatorBytes& aTerminator) {
  const uint8_t* data = FInputBuffer->Data();
  const int lineLength = aLFPos > 0 && data[aLFPos - 1] == '\r' ? aLFPos - 1 : aLFPos;
  std::string line = DecodeBytes(data, lineLength, *aTerminator.Encoding, true);
  FInputBuffer->Remove(aLFPos + 1);
  return line;
}

std::string TIdIOHandler::ReadLn(const std::string& aTerminator, int aTimeout, int aMaxLineLength,
                                 const IIdTextEncoding& aByteEncoding) {
  const TTerminatorBytes& terminator =
      TerminatorBytes(aTerminator.empty() ? kLineFeed : aTerminator, ChooseEncoding(aByteEncoding));
  FReadLnSplit = false;
  FReadLnTimedOut = false;
  const int limit = aMaxLineLength < 0 ? FMaxLineLength : aMaxLineLength;
  // The usual case, kept lean: a whole LF line within the limit is already
  // buffered. It is taken without calling out (no source, no event until the
  // bytes are decoded), so the cached terminator is used in place.
  const int lfPos = terminator.PlainLF ? BufferedLF(limit) : -1;
  return lfPos >= 0 ? TakeLFLine(lfPos, terminator) : ReadLnAnyTerminator(terminator, aTimeout, limit);
}

std::string TIdIOHandler::ReadLnAnyTerminator(const TTerminatorBytes& aTerminator, int aTimeout, int aMaxLineLength) {
  const int terminatorPos = FindTerminator(aTerminator, 0);
  if (terminatorPos >= 0 && (aMaxLineLength <= 0 || terminatorPos <= aMaxLineLength)) {
    return TakeLine(terminatorPos, aTerminator);
  }
  // Reading more may fire events that read other kinds of lines or change
  // the default encoding: from here on, a copy of both is used.
  const TTerminatorBytes held = aTerminator;
  return ReadLnFromSource(held, terminatorPos, aTimeout, aMaxLineLength);
}

std::string TIdIOHandler::TakeLine(int aTerminatorPos, const TTerminatorBytes& aTerminator) {
  TIdBuffer& input = *FInputBuffer;
  const uint8_t* data = input.Data();
  int lineLength = aTerminatorPos;
  const TIdBytes& carriageReturn = aTerminator.CRBytes;
  const int crLength = static_cast<int>(carriageReturn.size());
  if (crLength > 0 && lineLength >= crLength) {
    const uint8_t* before = data + lineLength - crLength;
    if (crLength == 1 ? *before == carriageReturn[0]
                      : std::memcmp(before, carriageReturn.data(), carriageReturn.size()) == 0) {
      lineLength -= crLength;
    }
  }
  std::string line = DecodeBytes(data, lineLength, *aTerminator.Encoding, aTerminator.EncodingMapsASCII);
  input.Remove(aTerminatorPos + static_cast<int>(aTerminator.Bytes.size()));
  return line;
}

std::string TIdIOHandler::ReadLnFromSource(const TTerminatorBytes& aTerminator, int aTerminatorPos, int aTimeout,
                                           int aMaxLineLength) {
  const int terminatorLength = static_cast<int>(aTerminator.Bytes.size());
  int terminatorPos = aTerminatorPos;
  // Search on from where the last search ended, keeping room for a
  // terminator that arrives split across two reads.
  int searchStart = std::max(FInputBuffer->Size() - (terminatorLength - 1), 0);
  int64_t startTime = -1;
  while (true) {
    if (aMaxLineLength > 0 &&
        (terminatorPos > aMaxLineLength || (terminatorPos == -1 && searchStart > aMaxLineLength))) {
      if (FMaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded();
      FReadLnSplit = true;
      return FInputBuffer->ExtractToString(aMaxLineLength, aTerminator.Encoding);
    }
    if (terminatorPos != -1) return TakeLine(terminatorPos, aTerminator);
    CheckForDisconnect(true, true);
    if (startTime < 0) startTime = TicksNow();
    const int result = FillInputBuffer(true, aTimeout, false);
    if (result == -1) {
      FReadLnTimedOut = true;
    } else if (aTimeout >= 0 && TicksNow() - startTime >= aTimeout) {
      FReadLnTimedOut = true;
    }
    if (FReadLnTimedOut) return {};
    const int size = FInputBuffer->Size();
    if (size > 0) {
      terminatorPos = FindTerminator(aTerminator, searchStart);
      searchStart = std::max(size - (terminatorLength - 1), 0);
    }
  }
}

std::string TIdIOHandler::ReadLnSplit(bool& aWasSplit, const std::string& aTerminator, int aTimeout,
                                      int aMaxLineLength, const IIdTextEncoding& aByteEncoding) {
  const TRestoreOnExit restoreAction(FMaxLineAction);
  FMaxLineAction = maSplit;
  std::string line = ReadLn(aTerminator, aTimeout, aMaxLineLength, aByteEncoding);
  aWasSplit = FReadLnSplit;
  return line;
}

std::string TIdIOHandler::ReadLnWait(int aFailCount, const IIdTextEncoding& aByteEncoding) {
  for (int attempts = 0; attempts < aFailCount; ++attempts) {
    std::string line = Trim(ReadLn(aByteEncoding));
    if (!line.empty()) return line;
    if (FReadLnTimedOut) throw EIdReadTimeout();
  }
  throw EIdReadLnWaitMaxAttemptsExceeded();
}

std::string TIdIOHandler::ReadLnRFC(bool& aMsgEnd, const IIdTextEncoding& aByteEncoding) {
  return ReadLnRFC(aMsgEnd, std::string(kLF), ".", aByteEncoding);
}

std::string TIdIOHandler::ReadLnRFC(bool& aMsgEnd, const std::string& aLineTerminator, const std::string& aDelim,
                                    const IIdTextEncoding& aByteEncoding) {
  std::string line = ReadLn(aLineTerminator, aByteEncoding);
  if (line == aDelim) {
    aMsgEnd = true;
    return line;
  }
  aMsgEnd = false;
  if (line.starts_with("..")) line.erase(0, 1);
  return line;
}

std::string TIdIOHandler::ReadLnOrTimeout(const IIdTextEncoding& aEncoding) {
  std::string line = ReadLn(aEncoding);
  if (FReadLnTimedOut) throw EIdReadTimeout();
  return line;
}

std::string TIdIOHandler::InputLn(const std::string& aMask, bool aEcho, int aTabWidth, int aMaxLineLength,
                                  const IIdTextEncoding& aByteEncoding) {
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  if (aMaxLineLength < 0) aMaxLineLength = FMaxLineLength;
  std::string result;
  size_t length = 0;  // in UTF-16 code units, as line lengths are counted
  std::string ch;
  do {
    ch = ReadChar(encoding);
    if (ch == "\b") {
      if (!result.empty()) {
        // Drop the last character with all its bytes.
        size_t last = result.size() - 1;
        while (last > 0 && (static_cast<uint8_t>(result[last]) & 0xC0) == 0x80) --last;
        length -= Utf16Length(std::string_view(result).substr(last));
        result.erase(last);
        if (aEcho) Write(std::string("\b \b"), encoding);
      }
    } else if (ch == "\t" && aTabWidth > 0) {
      const size_t spaces = static_cast<size_t>(aTabWidth) - length % static_cast<size_t>(aTabWidth);
      const size_t room = static_cast<size_t>(aMaxLineLength) - std::min(length, static_cast<size_t>(aMaxLineLength));
      const std::string blanks(std::min(spaces, room), ' ');
      result += blanks;
      length += blanks.size();
      if (aEcho && !blanks.empty()) Write(blanks, encoding);
    } else if (ch != "\r" && ch != "\n" && ch != "\x1b") {
      const size_t units = Utf16Length(ch);
      if (length + units <= static_cast<size_t>(aMaxLineLength)) {
        result += ch;
        length += units;
        if (aEcho) Write(aMask.empty() ? ch : aMask, encoding);
      }
    }
  } while (ch != "\n");
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n')) result.pop_back();
  if (aEcho) WriteLn(encoding);
  return result;
}

// ---- reading bytes, strings, numbers -------------------------------------------------

void TIdIOHandler::ReadBytes(TIdBytes& aBuffer, int aByteCount, bool aAppend) {
  NeedInputBytes(aByteCount);
  if (aByteCount != 0) FInputBuffer->ExtractToBytes(aBuffer, aByteCount < 0 ? -1 : aByteCount, aAppend);
}

std::string TIdIOHandler::ReadString(int aByteCount, const IIdTextEncoding& aByteEncoding) {
  if (aByteCount < 1) return {};
  NeedInputBytes(aByteCount);
  return FInputBuffer->ExtractToString(aByteCount, ChooseEncoding(aByteEncoding));
}

uint8_t TIdIOHandler::ReadByte() {
  NeedInputBytes(1);
  return FInputBuffer->ExtractToUInt8();
}

std::string TIdIOHandler::ReadChar(const IIdTextEncoding& aByteEncoding) {
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  // Enough bytes for two code units, so a surrogate pair fits.
  const int maxBytes = encoding->GetIsSingleByte() ? 1 : std::max(encoding->GetMaxByteCount(2), 1);
  std::string text;
  for (int count = 1; count <= maxBytes; ++count) {
    NeedInputBytes(count);
    text = FInputBuffer->PeekString(0, count, encoding);
    if (text.empty()) continue;  // not even one code unit yet
    size_t firstEnd = 0;
    const char32_t first = NextCodePoint(text, firstEnd);
    if (first != kReplacementChar) {
      FInputBuffer->Remove(count);
      return text.substr(0, firstEnd);
    }
    if (firstEnd < text.size()) {
      // The bytes before the last ones form no character: take only those and
      // leave the character that follows for the next read.
      const std::string rest = text.substr(firstEnd);
      int consumed = count - 1;
      for (int head = 1; head < count; ++head) {
        if (FInputBuffer->PeekString(head, count - head, encoding) == rest) {
          consumed = head;
          break;
        }
      }
      FInputBuffer->Remove(consumed);
      return text.substr(0, firstEnd);
    }
  }
  FInputBuffer->Remove(maxBytes);
  return CodePointToUtf8(kReplacementChar);
}

int16_t TIdIOHandler::ReadInt16(bool aConvert) { return static_cast<int16_t>(ReadUInt16(aConvert)); }

uint16_t TIdIOHandler::ReadUInt16(bool aConvert) {
  NeedInputBytes(2);
  return FInputBuffer->ExtractToUInt16(-1, aConvert);
}

int32_t TIdIOHandler::ReadInt32(bool aConvert) { return static_cast<int32_t>(ReadUInt32(aConvert)); }

uint32_t TIdIOHandler::ReadUInt32(bool aConvert) {
  NeedInputBytes(4);
  return FInputBuffer->ExtractToUInt32(-1, aConvert);
}

int64_t TIdIOHandler::ReadInt64(bool aConvert) { return static_cast<int64_t>(ReadUInt64(aConvert)); }

uint64_t TIdIOHandler::ReadUInt64(bool aConvert) {
  NeedInputBytes(8);
  return FInputBuffer->ExtractToUInt64(-1, aConvert);
}

// ---- reading runs of lines and streams -----------------------------------------------

int64_t TIdIOHandler::MoveInputToStream(TStream* aStream, int64_t aMax) {
  const int count = static_cast<int>(std::min<int64_t>(FInputBuffer->Size(), aMax));
  if (count <= 0) return 0;
  if (aStream != nullptr) {
    FInputBuffer->ExtractToStream(*aStream, count);
  } else {
    FInputBuffer->Remove(count);
  }
  return count;
}

int64_t TIdIOHandler::DeliverReadBlock(TStream* aStream, int aCount, int64_t aMax) {
  if (aCount > aMax) {
    FInputBuffer->Write(FReadBlock.data(), aCount);
    return MoveInputToStream(aStream, aMax);
  }
  if (aStream != nullptr) {
    try {
      aStream->WriteBuffer(FReadBlock.data(), aCount);
    } catch (...) {
      // As when they are taken from the input buffer, bytes that the stream
      // failed to take stay there to be read.
      FInputBuffer->Write(FReadBlock.data(), aCount);
      throw;
    }
  }
  DoWork(wmRead, aCount);
  return aCount;
}

void TIdIOHandler::ReadStream(TStream* aStream, int64_t aByteCount, bool aReadUntilDisconnect) {
  int64_t byteCount = aByteCount;
  if (byteCount == -1 && !aReadUntilDisconnect) byteCount = FLargeStream ? ReadInt64() : ReadInt32();
  if (aStream != nullptr && byteCount >= 0) {
    // Size the stream once up front; a short read is trimmed again below.
    // The count comes from the peer (a length on the wire, a Content-Length),
    // so the stream grows ahead by a bounded step only, and the rest of a
    // large count as its bytes arrive: a peer cannot make us allocate what
    // it never sends.
    const int64_t position = aStream->Position();
    if (INT64_MAX - position < byteCount) throw EIdIOHandlerStreamDataTooLarge();
    const int64_t size = aStream->Size();
    const int64_t wanted = position + byteCount;
    aStream->SetSize(wanted <= size ? wanted : std::min(wanted, std::max(size, position) + kMaxStreamPresize));
    if (aStream->Position() != position) aStream->SetPosition(position);
  }
  if (byteCount < 0) aReadUntilDisconnect = true;

  const TScopeExit trimStream([aStream] {
    if (aStream != nullptr && aStream->Size() > aStream->Position()) aStream->SetSize(aStream->Position());
  });
  TIdWorkBracket work(*this, wmRead, aReadUntilDisconnect ? 0 : byteCount);
  int64_t remaining = aReadUntilDisconnect ? INT64_MAX : byteCount;
  remaining -= MoveInputToStream(aStream, remaining);
  // What was buffered is in the stream now, and while more is wanted the
  // input buffer stays empty: each read goes from the read block straight
  // to the stream, and only bytes past the count stop in the buffer.
  while (aReadUntilDisconnect || remaining > 0) {
    const int result = ReceiveFromSource(!aReadUntilDisconnect, IdTimeoutDefault, true, true);
    if (result > 0) remaining -= DeliverReadBlock(aStream, result, remaining);
    if (result < 1) {
      CheckForDisconnect(false, false);
      break;
    }
    TIdAntiFreezeBase::DoProcess();
  }
  // A counted read that ended early is a failure, not a short success.
  if (!aReadUntilDisconnect && remaining > 0) RaiseSourceGone();
}

void TIdIOHandler::ReadStrings(TStrings& aValue, int aReadLinesCount, const IIdTextEncoding& aByteEncoding) {
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  if (aReadLinesCount < 0) aReadLinesCount = ReadInt32();
  for (int i = 0; i < aReadLinesCount; ++i) aValue.Add(ReadLnOrTimeout(encoding));
}

void TIdIOHandler::Capture(TStream& aDest, const IIdTextEncoding& aByteEncoding) {
  int lineCount = 0;
  CaptureLines(&aDest, lineCount, aByteEncoding, true, ".");
}

void TIdIOHandler::Capture(TStream& aDest, int& aLineCount, const std::string& aDelim, bool aUsesDotTransparency,
                           const IIdTextEncoding& aByteEncoding) {
  CaptureLines(&aDest, aLineCount, aByteEncoding, aUsesDotTransparency, aDelim);
}

void TIdIOHandler::Capture(TStream& aDest, const std::string& aDelim, bool aUsesDotTransparency,
                           const IIdTextEncoding& aByteEncoding) {
  int lineCount = 0;
  CaptureLines(&aDest, lineCount, aByteEncoding, aUsesDotTransparency, aDelim);
}

void TIdIOHandler::Capture(TStrings& aDest, const IIdTextEncoding& aByteEncoding) {
  int lineCount = 0;
  CaptureLines(&aDest, lineCount, aByteEncoding, true, ".");
}

void TIdIOHandler::Capture(TStrings& aDest, int& aLineCount, const std::string& aDelim, bool aUsesDotTransparency,
                           const IIdTextEncoding& aByteEncoding) {
  CaptureLines(&aDest, aLineCount, aByteEncoding, aUsesDotTransparency, aDelim);
}

void TIdIOHandler::Capture(TStrings& aDest, const std::string& aDelim, bool aUsesDotTransparency,
                           const IIdTextEncoding& aByteEncoding) {
  int lineCount = 0;
  CaptureLines(&aDest, lineCount, aByteEncoding, aUsesDotTransparency, aDelim);
}

void TIdIOHandler::CaptureLines(TIdCaptureDest aDest, int& aLineCount, const IIdTextEncoding& aByteEncoding,
                                bool aUsesDotTransparency, const std::string& aDelim) {
  TStrings* const strings = std::holds_alternative<TStrings*>(aDest) ? std::get<TStrings*>(aDest) : nullptr;
  TStream* const stream = std::holds_alternative<TStream*>(aDest) ? std::get<TStream*>(aDest) : nullptr;
  if (strings == nullptr && stream == nullptr) throw EIdObjectTypeNotSupported();
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  aLineCount = 0;
  TIdWorkBracket work(*this, wmRead);
  while (true) {
    std::string line = ReadLnOrTimeout(encoding);
    if (line == aDelim) break;
    if (FMaxCapturedLines > 0 && aLineCount >= FMaxCapturedLines) throw EIdMaxCaptureLineExceeded();
    if (aUsesDotTransparency && line.starts_with("..")) line.erase(0, 1);
    ++aLineCount;
    if (strings != nullptr) {
      strings->Add(line);
    } else {
      line += kEOL;
      stream->WriteBuffer(encoding->GetBytes(line));
    }
  }
}

std::string TIdIOHandler::AllData(const IIdTextEncoding& aByteEncoding) {
  std::string result;
  TIdWorkBracket work(*this, wmRead);
  if (Connected()) {
    try {
      // A quiet stretch (-1) reads on; only the end of the source (0) stops.
      while (FillInputBuffer(false, kAllDataWait, false) != 0) {
      }
    } catch (const std::exception&) {
      // The peer going away in any manner ends the data.
    }
    if (!InputBufferIsEmpty()) result = InputBufferAsString(aByteEncoding);
  }
  return result;
}

std::string TIdIOHandler::WaitFor(const std::string& aString, bool aRemoveFromBuffer, bool aInclusive,
                                  const IIdTextEncoding& aByteEncoding, int aTimeout) {
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  const TIdBytes pattern = encoding->GetBytes(aString);
  const int patternLength = static_cast<int>(pattern.size());
  int searchStart = 0;
  while (true) {
    const int size = FInputBuffer->Size();
    const int pos = searchStart < size ? FInputBuffer->IndexOf(pattern, searchStart) : -1;
    if (pos != -1) {
      std::string result = FInputBuffer->PeekString(0, pos, encoding);
      if (aInclusive) result += aString;
      if (aRemoveFromBuffer) FInputBuffer->Remove(pos + patternLength);
      return result;
    }
    searchStart = std::max(size - (patternLength - 1), 0);
    FillInputBuffer(true, aTimeout, true);
  }
}

void TIdIOHandler::Discard(int64_t aByteCount) {
  if (aByteCount <= 0) return;
  TIdWorkBracket work(*this, wmRead, aByteCount);
  while (true) {
    const int count = static_cast<int>(std::min<int64_t>(aByteCount, FInputBuffer->Size()));
    if (count > 0) {
      FInputBuffer->Remove(count);
      aByteCount -= count;
      if (aByteCount < 1) break;
    }
    const int result = FillInputBuffer(false, IdTimeoutDefault, true);
    if (result < 1) {
      CheckForDisconnect(true, true);
      RaiseSourceGone();
    }
  }
}

void TIdIOHandler::DiscardAll() {
  TIdWorkBracket work(*this, wmRead);
  auto drop = [this] { FInputBuffer->Remove(FInputBuffer->Size()); };
  const TScopeExit dropLast(drop);
  try {
    while (true) {
      drop();
      if (FillInputBuffer(true, IdTimeoutDefault, true) == 0) {
        CheckForDisconnect(true, true);
        RaiseSourceGone();
      }
    }
  } catch (const EIdConnClosedGracefully&) {
    // The normal end: the peer closed after its last byte.
  }
}

std::string TIdIOHandler::InputBufferAsString(const IIdTextEncoding& aByteEncoding) {
  return FInputBuffer->ExtractToString(FInputBuffer->Size(), ChooseEncoding(aByteEncoding));
}

// ---- writing -------------------------------------------------------------------------

void TIdIOHandler::Write(const TIdBytes& aBuffer, int aLength, int aOffset) {
  const int length = RunLength(aBuffer, aLength, aOffset);
  if (length <= 0) return;
  if (FWriteBuffer == nullptr) {
    WriteDirect(aBuffer, length, std::max(aOffset, 0));
    return;
  }
  FWriteBuffer->Write(aBuffer, length, std::max(aOffset, 0));
  // Send threshold-sized pieces; the remainder waits for more or a flush.
  while (FWriteBufferThreshold > 0 && FWriteBuffer != nullptr && FWriteBuffer->Size() >= FWriteBufferThreshold) {
    WriteBufferFlush(FWriteBufferThreshold);
  }
}

void TIdIOHandler::Write(const std::string& aOut, const IIdTextEncoding& aByteEncoding) {
  if (aOut.empty()) return;
  Write(ChooseEncoding(aByteEncoding)->GetBytes(aOut));
}

void TIdIOHandler::Write(char32_t aValue, const IIdTextEncoding& aByteEncoding) {
  Write(CodePointToUtf8(aValue), aByteEncoding);
}

void TIdIOHandler::Write(const TStrings& aValue, bool aWriteLinesCount, const IIdTextEncoding& aByteEncoding) {
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  const bool bufferingStarted = !WriteBufferingActive();
  if (bufferingStarted) WriteBufferOpen();
  try {
    if (aWriteLinesCount) Write(static_cast<int32_t>(aValue.Count()));
    for (int i = 0; i < aValue.Count(); ++i) WriteLn(aValue[i], encoding);
    if (bufferingStarted) WriteBufferClose();
  } catch (...) {
    if (bufferingStarted) WriteBufferCancel();
    throw;
  }
}

void TIdIOHandler::Write(TStream& aStream, int64_t aSize, bool aWriteByteCount) {
  if (aSize < 0) {
    aSize = aStream.Size() - aStream.Position();
  } else if (aSize == 0) {
    aSize = aStream.Size();
    aStream.SetPosition(0);
  }
  if (aWriteByteCount) {
    if (FLargeStream) {
      Write(aSize);
    } else {
      if (aSize > INT32_MAX) throw EIdIOHandlerRequiresLargeStream();
      Write(static_cast<int32_t>(aSize));
    }
  }
  TIdWorkBracket work(*this, wmWrite, aSize);
  TIdBytes block(static_cast<size_t>(std::max(FSendBufferSize, 1)));
  while (aSize > 0) {
    const int64_t wanted = std::min<int64_t>(aSize, static_cast<int64_t>(block.size()));
    // A stream fed in real time may give less than asked for.
    const int64_t got = aStream.Read(block.data(), wanted);
    if (got <= 0) throw EIdNoDataToRead();
    Write(block, static_cast<int>(got));
    aSize -= got;
  }
}

void TIdIOHandler::Write(uint8_t aValue) { Write(TIdBytes{aValue}); }
void TIdIOHandler::Write(int16_t aValue, bool aConvert) { Write(IntegerBytes(aValue, aConvert)); }
void TIdIOHandler::Write(uint16_t aValue, bool aConvert) { Write(IntegerBytes(aValue, aConvert)); }
void TIdIOHandler::Write(int32_t aValue, bool aConvert) { Write(IntegerBytes(aValue, aConvert)); }
void TIdIOHandler::Write(uint32_t aValue, bool aConvert) { Write(IntegerBytes(aValue, aConvert)); }
void TIdIOHandler::Write(int64_t aValue, bool aConvert) { Write(IntegerBytes(aValue, aConvert)); }
void TIdIOHandler::Write(uint64_t aValue, bool aConvert) { Write(IntegerBytes(aValue, aConvert)); }

void TIdIOHandler::WriteLn(const std::string& aOut, const IIdTextEncoding& aByteEncoding) {
  Write(aOut + std::string(kEOL), aByteEncoding);
}

void TIdIOHandler::WriteLnRFC(const std::string& aOut, const IIdTextEncoding& aByteEncoding) {
  WriteLn(aOut.starts_with('.') ? "." + aOut : aOut, aByteEncoding);
}

void TIdIOHandler::WriteRFCStrings(const TStrings& aValue, bool aWriteTerminator, const IIdTextEncoding& aByteEncoding) {
  const IIdTextEncoding encoding = ChooseEncoding(aByteEncoding);
  for (int i = 0; i < aValue.Count(); ++i) WriteLnRFC(aValue[i], encoding);
  if (aWriteTerminator) WriteLn(".", encoding);
}

int64_t TIdIOHandler::WriteFile(const std::string& aFile, bool) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(aFile, error)) throw EIdFileNotFound(aFile);
  TFileStream stream(aFile, fmOpenRead | fmShareDenyWrite);
  Write(stream);
  return stream.Size();
}

void TIdIOHandler::WriteDirect(const TIdBytes& aBuffer, int aLength, int aOffset) {
  CheckForDisconnect(true, true);
  TIdBytes intercepted;
  const TIdBytes* source = &aBuffer;
  int position = std::max(aOffset, 0);
  int remaining = RunLength(aBuffer, aLength, aOffset);
  if (FIntercept != nullptr) {
    intercepted.assign(aBuffer.begin() + position, aBuffer.begin() + position + remaining);
    FIntercept->Send(intercepted);
    source = &intercepted;
    position = 0;
    remaining = static_cast<int>(intercepted.size());
  }
  while (remaining > 0) {
    const int sent = WriteDataToTarget(*source, position, remaining);
    if (sent < 0) {
      const int errorCode = FilterSocketError(sent);
      if (errorCode != kSocketTimedOut) {
        FClosedGracefully = true;
        Close();
      }
      RaiseSocketErrorCode(errorCode);
    }
    TIdAntiFreezeBase::DoProcess(false);
    if (sent == 0) FClosedGracefully = true;
    CheckForDisconnect(true, false);
    if (sent == 0) RaiseSourceGone();
    DoWork(wmWrite, sent);
    position += sent;
    remaining -= sent;
  }
}

// ---- write buffering -------------------------------------------------------------------

void TIdIOHandler::WriteBufferOpen(int aThreshold) {
  if (FWriteBuffer != nullptr) {
    FWriteBuffer->Clear();
  } else {
    FWriteBuffer = std::make_unique<TIdBuffer>();
  }
  FWriteBufferThreshold = aThreshold;
}

void TIdIOHandler::WriteBufferFlush(int aByteCount) {
  if (FWriteBuffer == nullptr || FWriteBuffer->Size() == 0) return;
  const int count = aByteCount < 0 ? FWriteBuffer->Size() : std::min(aByteCount, FWriteBuffer->Size());
  TIdBytes bytes;
  FWriteBuffer->ExtractToBytes(bytes, count);
  WriteDirect(bytes);
}

void TIdIOHandler::WriteBufferClose() {
  const TScopeExit release([this] { FWriteBuffer.reset(); });
  WriteBufferFlush();
}

void TIdIOHandler::WriteBufferClear() {
  if (FWriteBuffer != nullptr) FWriteBuffer->Clear();
}

void TIdIOHandler::WriteBufferCancel() {
  WriteBufferClear();
  WriteBufferClose();
}

}  // namespace qtx
