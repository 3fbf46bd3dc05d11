#pragma once
// Seekable byte streams: the abstract TStream and the memory, file and string
// streams built on it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/qtxTypes.h"

namespace qtx {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;

  // Reads or writes up to aCount bytes; returns the number moved.
  virtual int64_t Read(void* aBuffer, int64_t aCount) = 0;
  virtual int64_t Write(const void* aBuffer, int64_t aCount) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) = 0;

  virtual int64_t Size();
  virtual void SetSize(int64_t aNewSize);
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t aPosition) { Seek(aPosition, TSeekOrigin::soBeginning); }

  // Exactly aCount bytes or EReadError / EWriteError.
  void ReadBuffer(void* aBuffer, int64_t aCount);
  void WriteBuffer(const void* aBuffer, int64_t aCount);
  void WriteBuffer(const TBytes& aBytes) { WriteBuffer(aBytes.data(), static_cast<int64_t>(aBytes.size())); }

  // Copies aCount bytes from aSource's position, or, with 0, the whole of
  // aSource from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& aSource, int64_t aCount = 0);
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(TBytes aBytes) : FData(std::move(aBytes)) {}

  int64_t Read(void* aBuffer, int64_t aCount) override;
  int64_t Write(const void* aBuffer, int64_t aCount) override;
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t aNewSize) override;

  void Clear();
  const uint8_t* Memory() const noexcept { return FData.data(); }
  const TBytes& Bytes() const noexcept { return FData; }
  void LoadFromStream(TStream& aStream);
  void LoadFromFile(const std::string& aFileName);
  void SaveToStream(TStream& aStream) const;
  void SaveToFile(const std::string& aFileName) const;

private:
  TBytes FData;
  int64_t FPosition = 0;
};

// Drops what is written to it and counts it; its size and position are the
// count, and reading gives nothing.
class TNullStream : public TStream {
public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t aCount) override {
    FCount += aCount;
    return aCount;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return FCount; }
  void SetSize(int64_t) override {}
  int64_t Count() const noexcept { return FCount; }

private:
  int64_t FCount = 0;
};

// File open modes: one access mode, optionally with a share mode or'ed in.
enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

// A stream over a file. The share modes that deny others are kept with an
// advisory lock: exclusive modes take it exclusively, deny-write shares it.
class TFileStream : public TStream {
public:
  TFileStream(const std::string& aFileName, uint16_t aMode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* aBuffer, int64_t aCount) override;
  int64_t Write(const void* aBuffer, int64_t aCount) override;
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override;
  void SetSize(int64_t aNewSize) override;

  const std::string& FileName() const noexcept { return FFileName; }

private:
  std::string FFileName;
  int FHandle = -1;
};

// A memory stream whose bytes are text. Text is UTF-8 throughout the library,
// so the bytes are the text's UTF-8 bytes.
class TStringStream : public TMemoryStream {
public:
  TStringStream() = default;
  explicit TStringStream(const std::string& aText);

  std::string DataString() const;
  void WriteString(const std::string& aText);
  // Reads up to aCount bytes from the position as text.
  std::string ReadString(int64_t aCount);
};

}  // namespace qtx
