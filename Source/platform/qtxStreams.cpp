#include "platform/qtxStreams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/qtxException.h"

namespace qtx {

namespace {
const char* const SSetSizeError = "Stream size cannot be changed";
const char* const SFCreateError = "Cannot create file \"%s\". %s";
const char* const SFOpenError = "Cannot open file \"%s\". %s";

std::string FileErrorText(const char* aFormat, const std::string& aFileName, int aErrno) {
  std::string text(aFormat);
  text.replace(text.find("%s"), 2, aFileName);
  text.replace(text.find("%s"), 2, std::strerror(aErrno));
  return text;
}
}  // namespace

// ---- TStream ---------------------------------------------------------------

int64_t TStream::Size() {
  const int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError(SSetSizeError); }

void TStream::ReadBuffer(void* aBuffer, int64_t aCount) {
  auto* out = static_cast<uint8_t*>(aBuffer);
  while (aCount > 0) {
    const int64_t n = Read(out, aCount);
    if (n <= 0) throw EReadError();
    out += n;
    aCount -= n;
  }
}

void TStream::WriteBuffer(const void* aBuffer, int64_t aCount) {
  const auto* in = static_cast<const uint8_t*>(aBuffer);
  while (aCount > 0) {
    const int64_t n = Write(in, aCount);
    if (n <= 0) throw EWriteError();
    in += n;
    aCount -= n;
  }
}

int64_t TStream::CopyFrom(TStream& aSource, int64_t aCount) {
  if (aCount == 0) {
    aSource.SetPosition(0);
    aCount = aSource.Size();
  }
  constexpr int64_t kBlock = 64 * 1024;
  std::vector<uint8_t> block(static_cast<size_t>(std::min(aCount, kBlock)));
  int64_t copied = 0;
  while (copied < aCount) {
    const int64_t n = std::min(kBlock, aCount - copied);
    aSource.ReadBuffer(block.data(), n);
    WriteBuffer(block.data(), n);
    copied += n;
  }
  return copied;
}

// ---- TMemoryStream -----------------------------------------------------------

int64_t TMemoryStream::Read(void* aBuffer, int64_t aCount) {
  const int64_t available = Size() - FPosition;
  const int64_t n = std::clamp<int64_t>(aCount, 0, std::max<int64_t>(available, 0));
  if (n > 0) std::memcpy(aBuffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* aBuffer, int64_t aCount) {
  if (aCount <= 0) return 0;
  const int64_t end = FPosition + aCount;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, aBuffer, static_cast<size_t>(aCount));
  FPosition = end;
  return aCount;
}

int64_t TMemoryStream::Seek(int64_t aOffset, TSeekOrigin aOrigin) {
  switch (aOrigin) {
    case TSeekOrigin::soBeginning: FPosition = aOffset; break;
    case TSeekOrigin::soCurrent: FPosition += aOffset; break;
    case TSeekOrigin::soEnd: FPosition = Size() + aOffset; break;
  }
  FPosition = std::max<int64_t>(FPosition, 0);
  return FPosition;
}

void TMemoryStream::SetSize(int64_t aNewSize) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(aNewSize, 0)));
  FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& aStream) {
  aStream.SetPosition(0);
  const int64_t size = aStream.Size();
  FData.resize(static_cast<size_t>(size));
  if (size > 0) aStream.ReadBuffer(FData.data(), size);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& aFileName) {
  TFileStream file(aFileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& aStream) const {
  if (!FData.empty()) aStream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TMemoryStream::SaveToFile(const std::string& aFileName) const {
  TFileStream file(aFileName, fmCreate);
  SaveToStream(file);
}

// ---- TFileStream -------------------------------------------------------------

TFileStream::TFileStream(const std::string& aFileName, uint16_t aMode) : FFileName(aFileName) {
  int flags = O_CLOEXEC;
  int lockMode = 0;
  if ((aMode & fmCreate) == fmCreate) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
    lockMode = LOCK_EX;
  } else {
    switch (aMode & 0x0003) {
      case fmOpenWrite: flags |= O_WRONLY; break;
      case fmOpenReadWrite: flags |= O_RDWR; break;
      default: flags |= O_RDONLY; break;
    }
    switch (aMode & 0x00F0) {
      case fmShareExclusive: case fmShareDenyRead: lockMode = LOCK_EX; break;
      case fmShareDenyWrite: lockMode = LOCK_SH; break;
      default: break;
    }
  }
  FHandle = ::open(aFileName.c_str(), flags, 0666);
  const bool creating = (aMode & fmCreate) == fmCreate;
  if (FHandle < 0) {
    const int error = errno;
    if (creating) throw EFCreateError(FileErrorText(SFCreateError, aFileName, error));
    throw EFOpenError(FileErrorText(SFOpenError, aFileName, error));
  }
  if (lockMode != 0 && ::flock(FHandle, lockMode | LOCK_NB) != 0) {
    const int error = errno;
    ::close(FHandle);
    FHandle = -1;
    if (creating) throw EFCreateError(FileErrorText(SFCreateError, aFileName, error));
    throw EFOpenError(FileErrorText(SFOpenError, aFileName, error));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* aBuffer, int64_t aCount) {
  if (aCount <= 0) return 0;
  for (;;) {
    const ssize_t n = ::read(FHandle, aBuffer, static_cast<size_t>(aCount));
    if (n >= 0) return n;
    if (errno != EINTR) RaiseLastOSError("read " + FFileName);
  }
}

int64_t TFileStream::Write(const void* aBuffer, int64_t aCount) {
  if (aCount <= 0) return 0;
  for (;;) {
    const ssize_t n = ::write(FHandle, aBuffer, static_cast<size_t>(aCount));
    if (n >= 0) return n;
    if (errno != EINTR) RaiseLastOSError("write " + FFileName);
  }
}

int64_t TFileStream::Seek(int64_t aOffset, TSeekOrigin aOrigin) {
  const int whence = aOrigin == TSeekOrigin::soBeginning ? SEEK_SET
                     : aOrigin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                         : SEEK_END;
  const off_t result = ::lseek(FHandle, aOffset, whence);
  if (result < 0) RaiseLastOSError("seek " + FFileName);
  return result;
}

void TFileStream::SetSize(int64_t aNewSize) {
  if (::ftruncate(FHandle, aNewSize) != 0) RaiseLastOSError("truncate " + FFileName);
  if (Position() > aNewSize) SetPosition(aNewSize);
}

// ---- TStringStream -----------------------------------------------------------

TStringStream::TStringStream(const std::string& aText)
    : TMemoryStream(TBytes(aText.begin(), aText.end())) {}

std::string TStringStream::DataString() const { return std::string(Bytes().begin(), Bytes().end()); }

void TStringStream::WriteString(const std::string& aText) {
  WriteBuffer(aText.data(), static_cast<int64_t>(aText.size()));
}

std::string TStringStream::ReadString(int64_t aCount) {
  std::string text(static_cast<size_t>(std::max<int64_t>(std::min(aCount, Size() - Position()), 0)), '\0');
  ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  return text;
}

}  // namespace qtx
