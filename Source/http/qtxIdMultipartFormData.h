#pragma once
// multipart/form-data request bodies: a read-only stream that produces the
// body on the fly from a list of fields (text values and streams), so that
// files are never copied into memory whole.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/qtxIdException.h"
#include "core/qtxIdTextEncoding.h"
#include "platform/qtxStreams.h"

namespace qtx {

class EIdInvalidObjectType : public EIdException {
public:
  EIdInvalidObjectType()
      : EIdException(
            "Unsupported object type. You can assign only one of the following types or their descendants: "
            "TStrings, TStream.") {}
  using EIdException::EIdException;
};
class EIdUnsupportedTransfer : public EIdException {
public:
  EIdUnsupportedTransfer()
      : EIdException(
            "Unsupported transfer type. You can assign only an empty string or one of the following values: "
            "7bit, 8bit, binary, quoted-printable, base64.") {}
  using EIdException::EIdException;
};
class EIdUnsupportedEncoding : public EIdException {
public:
  EIdUnsupportedEncoding()
      : EIdException("Unsupported encoding. You can assign only one of the following values: Q, B, 8.") {}
  using EIdException::EIdException;
};
class EIdUnsupportedOperation : public EIdException {
public:
  EIdUnsupportedOperation() : EIdException("Unsupported operation.") {}
  using EIdException::EIdException;
};
// A content type or charset that would break the part's header: a line
// break or NUL anywhere, and in a charset name also a blank, quote,
// backslash or question mark.
class EIdInvalidHeaderValue : public EIdException { using EIdException::EIdException; };
// A file added with AddFile ends before the length it had when it was added.
class EIdFileEndedEarly : public EIdException { using EIdException::EIdException; };

// The charset in which field and file names are written when the locale
// (LC_ALL, LC_CTYPE or LANG, the first that is set) names a language whose
// mail traditionally uses one; "UTF-8" otherwise. Names are always
// written with the "B" encoding unless changed.
std::string DefaultHeaderCharSetForLocale(std::string_view aLocaleName);
std::string DefaultHeaderCharSet();

class TIdFormDataFields;

class TIdFormDataField {
public:
  explicit TIdFormDataField(TIdFormDataFields* aCollection = nullptr);
  ~TIdFormDataField();
  TIdFormDataField(const TIdFormDataField&) = delete;
  TIdFormDataField& operator=(const TIdFormDataField&) = delete;

  TIdFormDataFields* Collection() const noexcept { return FCollection; }

  const std::string& FieldName() const noexcept { return FFieldName; }
  void SetFieldName(std::string aValue) { FFieldName = std::move(aValue); }
  // Setting keeps only the name part of a path.
  const std::string& FileName() const noexcept { return FFileName; }
  void SetFileName(std::string_view aValue);
  // An empty value becomes the type of the file name (or
  // "application/octet-stream"); a charset parameter moves into Charset; a
  // "text" type without one gets Charset "us-ascii" unless one is set.
  // These three setters raise EIdInvalidHeaderValue for a value that would
  // break the header.
  const std::string& ContentType() const noexcept { return FContentType; }
  void SetContentType(std::string_view aValue);
  const std::string& Charset() const noexcept { return FCharset; }
  void SetCharset(std::string aValue);
  // Empty, "7bit", "8bit", "binary", "quoted-printable" or "base64".
  const std::string& ContentTransfer() const noexcept { return FContentTransfer; }
  void SetContentTransfer(std::string_view aValue);
  // "Q", "B" or "8".
  const std::string& HeaderEncoding() const noexcept { return FHeaderEncoding; }
  void SetHeaderEncoding(std::string_view aValue);
  const std::string& HeaderCharSet() const noexcept { return FHeaderCharSet; }
  void SetHeaderCharSet(std::string aValue);

  // A field holds either a text value or a stream; reading the one it does
  // not hold raises EIdInvalidObjectType.
  const std::string& FieldValue() const;
  // Drops the stream (freeing it when owned).
  void SetFieldValue(std::string aValue);
  TStream& FieldStream() const;
  // The stream stays the caller's; none raises EIdInvalidObjectType.
  void SetFieldStream(TStream* aStream);
  // The field takes the stream and frees it.
  void SetOwnedFieldStream(std::unique_ptr<TStream> aStream);
  bool HasFieldStream() const noexcept { return FFieldStream != nullptr; }
  bool CanFreeFieldStream() const noexcept { return FOwnedStream != nullptr; }

  // Bytes this field adds to the body.
  int64_t FieldSize();

  // The part's header lines, from the delimiter line to the empty line.
  TIdBytes FormatFieldHeader(std::string_view aBoundary) const;

  // The bytes of the part after its header: Owned holds them encoded, with
  // the line break that ends the part; without Owned, Stream is the caller's
  // stream sent as it is, and the reader adds the line break after it.
  struct TFieldData {
    std::unique_ptr<TStream> Owned;
    TStream* Stream = nullptr;
  };
  TFieldData PrepareFieldData();

private:
  friend class TIdMultiPartFormDataStream;  // sets default content types without the setter's charset rule

  void ReleaseStream();
  // The encoding that turns the value into bytes for the transfer.
  IIdTextEncoding ValueEncoding() const;
  // A caller's stream in 7bit, 8bit or binary goes out unchanged, read
  // straight from the stream; everything else through WriteEncodedData.
  bool SendsStreamAsIs() const;
  // The value or the stream through the transfer encoding, with the line
  // break that ends the part; the stream's position is kept.
  void WriteEncodedData(TStream& aOut) const;

  TIdFormDataFields* FCollection;
  std::string FFieldName;
  std::string FFileName;
  std::string FContentType;
  std::string FCharset;
  std::string FContentTransfer;
  std::string FFieldValue;
  TStream* FFieldStream = nullptr;
  std::unique_ptr<TStream> FOwnedStream;
  std::string FHeaderCharSet;
  std::string FHeaderEncoding;
};

class TIdMultiPartFormDataStream;

class TIdFormDataFields {
public:
  explicit TIdFormDataFields(TIdMultiPartFormDataStream* aParent = nullptr) : FParent(aParent) {}

  TIdMultiPartFormDataStream* MultipartFormDataStream() const noexcept { return FParent; }
  TIdFormDataField& Add();
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TIdFormDataField& Items(int aIndex) const;
  void Delete(int aIndex);
  void Clear() { FItems.clear(); }

private:
  TIdMultiPartFormDataStream* FParent;
  std::vector<std::unique_ptr<TIdFormDataField>> FItems;
};

class TIdMultiPartFormDataStream : public TStream {
public:
  TIdMultiPartFormDataStream();
  ~TIdMultiPartFormDataStream() override;

  const std::string& Boundary() const noexcept { return FBoundary; }
  const std::string& RequestContentType() const noexcept { return FRequestContentType; }
  TIdFormDataFields& Fields() noexcept { return FFields; }

  // A text field: "text/plain" (or the type given, through the field's
  // setter), sent quoted-printable.
  TIdFormDataField& AddFormField(const std::string& aFieldName, const std::string& aFieldValue,
                                 const std::string& aCharset = std::string(),
                                 const std::string& aContentType = std::string(),
                                 const std::string& aFileName = std::string());
  // A stream field, sent binary; the stream stays the caller's. The content
  // type, when not given, comes from the file name.
  TIdFormDataField& AddFormField(const std::string& aFieldName, const std::string& aContentType,
                                 const std::string& aCharset, TStream* aFieldValue,
                                 const std::string& aFileName = std::string());
  // Any polymorphic object: a stream becomes a stream field, anything else
  // raises EIdInvalidObjectType.
  template <typename T>
  TIdFormDataField& AddObject(const std::string& aFieldName, const std::string& aContentType,
                              const std::string& aCharset, T* aFileData, const std::string& aFileName = std::string()) {
    static_assert(std::is_polymorphic_v<T>, "AddObject takes an object of a class with virtual members");
    return AddFormField(aFieldName, aContentType, aCharset, dynamic_cast<TStream*>(aFileData), aFileName);
  }
  // A file, opened for reading with writers shut out, owned by the field.
  TIdFormDataField& AddFile(const std::string& aFieldName, const std::string& aFileName,
                            const std::string& aContentType = std::string());

  void Clear();

  int64_t Read(void* aBuffer, int64_t aCount) override;
  int64_t Write(const void* aBuffer, int64_t aCount) override;
  // Offset 0 from the beginning rewinds, offset 0 from the end gives the
  // size; anything else gives the position without moving.
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override;
  int64_t Size() override;
  void SetSize(int64_t aNewSize) override;

private:
  // Adds a field and sets it up; when a setter refuses, the field goes again.
  TIdFormDataField& AddField(const std::function<void(TIdFormDataField&)>& aSetUp);
  void Rewind();
  void CloseInput();
  void StartField();
  void FinishField();
  // "--" boundary "--" CR LF, which ends the body.
  std::string ClosingDelimiter() const;
  void AppendToBuffer(const TIdBytes& aBytes);
  void AppendToBuffer(std::string_view aText);

  TIdFormDataFields FFields;
  std::string FBoundary;
  std::string FRequestContentType;
  TIdFormDataField::TFieldData FInput;
  TIdBytes FInternalBuffer;
  size_t FBufferStart = 0;  // bytes of FInternalBuffer already read
  int FCurrentItem = 0;
  bool FInitialized = false;
  bool FClosed = false;  // the closing delimiter was put in the buffer
  int64_t FPosition = 0;
};

}  // namespace qtx
