#include "http/qtxIdMultipartFormData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/qtxIdCoderHeader.h"
#include "core/qtxIdCoderMIME.h"
#include "core/qtxIdCoderQuotedPrintable.h"
#include "http/qtxIdHeaderItems.h"
#include "http/qtxIdMimeTable.h"
#include "platform/qtxDateTime.h"
#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {
const char* const SFileEndedEarly = "File \"%s\" changed while it was sent: it ends after %d of its %d bytes.";
const char* const SContentTypeText = "text/plain";
const char* const SDefaultContentType = "application/octet-stream";
const char* const SDefaultTextCharset = "us-ascii";
const char* const SCharsetParam = "charset";
const char* const STransferQuotedPrintable = "quoted-printable";
const char* const STransferBinary = "binary";
const char* const SBoundaryPrefix = "--------";
const char* const SContentTypePrefix = "multipart/form-data; boundary=";
const char* const SCRLF = "\r\n";

// ---- transfer encodings ------------------------------------------------------

enum class TTransferKind { tk7Bit, tk8Bit, tkQuotedPrintable, tkBase64 };

const char* const kTransferNames[] = {"7bit", "8bit", "binary", "quoted-printable", "base64"};

TTransferKind TransferKind(std::string_view aName) {
  if (SameText(aName, "8bit") || SameText(aName, "binary")) return TTransferKind::tk8Bit;
  if (SameText(aName, "quoted-printable")) return TTransferKind::tkQuotedPrintable;
  if (SameText(aName, "base64")) return TTransferKind::tkBase64;
  return TTransferKind::tk7Bit;  // empty or anything else
}

// A file as it was when it was added: its length is fixed then, so that the
// body holds exactly the bytes its size announced. Bytes the file gained
// since are left out; a file cut short since raises, for a short body would
// pass for a whole one. (The exclusive lock on the file is only advisory.)
class TAddedFileStream : public TStream {
public:
  explicit TAddedFileStream(std::unique_ptr<TFileStream> aFile) : FFile(std::move(aFile)), FLength(FFile->Size()) {}

  int64_t Read(void* aBuffer, int64_t aCount) override {
    const int64_t position = FFile->Position();
    const int64_t wanted = std::max<int64_t>(std::min(aCount, FLength - position), 0);
    auto* out = static_cast<uint8_t*>(aBuffer);
    for (int64_t got = 0; got < wanted;) {
      const int64_t n = FFile->Read(out + got, wanted - got);
      if (n <= 0) throw EIdFileEndedEarly(Format(SFileEndedEarly, {FFile->FileName(), position + got, FLength}));
      got += n;
    }
    return wanted;
  }
  int64_t Write(const void*, int64_t) override { throw EIdUnsupportedOperation(); }
  int64_t Seek(int64_t aOffset, TSeekOrigin aOrigin) override {
    if (aOrigin == TSeekOrigin::soEnd) return FFile->Seek(FLength + aOffset, TSeekOrigin::soBeginning);
    return FFile->Seek(aOffset, aOrigin);
  }
  int64_t Size() override { return FLength; }

private:
  std::unique_ptr<TFileStream> FFile;
  int64_t FLength;
};

void AppendText(TIdBytes& aOut, std::string_view aText) { aOut.insert(aOut.end(), aText.begin(), aText.end()); }

// ---- names in the part header -------------------------------------------------

// Bytes that, unencoded, would break the quoted parameter or the header line.
bool BreaksQuotedValue(uint8_t c) { return c == '"' || c == '\\' || c == '\r' || c == '\n'; }

// A field or file name as it stands between the quotes of its parameter.
TIdBytes EncodeHeaderName(std::string_view aText, const std::string& aCharset, const std::string& aEncodingLetter) {
  const IIdTextEncoding encoding = CharsetToEncoding(aCharset);
  TIdBytes out;
  if (aEncodingLetter == "8") {
    // Unencoded bytes; the few that would end the value are percent-escaped
    // as browsers do.
    for (uint8_t c : encoding->GetBytes(aText)) {
      if (BreaksQuotedValue(c)) {
        AppendText(out, "%" + IntToHex(c, 2));
      } else {
        out.push_back(c);
      }
    }
    return out;
  }
  // A name that holds a quote or a line break goes out wholly encoded, so
  // that neither can end the parameter or the header line.
  const char letter = aEncodingLetter[0];
  if (std::any_of(aText.begin(), aText.end(), [](char c) { return BreaksQuotedValue(static_cast<uint8_t>(c)); })) {
    AppendText(out, EncodeHeaderWords(aText, aCharset, letter));
  } else {
    AppendText(out, EncodeHeader(aText, aCharset, letter));
  }
  return out;
}

// ---- content types -----------------------------------------------------------

std::string_view NamePart(std::string_view aPath) {
  const size_t slash = aPath.find_last_of("/\\");
  return slash == std::string_view::npos ? aPath : aPath.substr(slash + 1);
}

// ---- the boundary ------------------------------------------------------------

// Eight dashes and the date and time to the millisecond.
std::string BoundaryFromClock() {
  int year, month, day, hour, minute, second, msec;
  const TDateTime now = Now();
  DecodeDate(now, year, month, day);
  DecodeTime(now, hour, minute, second, msec);
  std::string boundary = SBoundaryPrefix;
  for (const auto& [value, digits] : {std::pair{month, 2}, {day, 2}, {year % 100, 2}, {hour, 2}, {minute, 2},
                                      {second, 2}, {msec, 3}}) {
    std::string text = IntToStr(value);
    boundary += std::string(static_cast<size_t>(digits) - std::min(text.size(), static_cast<size_t>(digits)), '0') + text;
  }
  return boundary;
}
}  // namespace

// ---- header charset defaults -------------------------------------------------

std::string DefaultHeaderCharSetForLocale(std::string_view aLocaleName) {
  const std::string locale = LowerCase(aLocaleName.substr(0, aLocaleName.find_first_of(".@")));
  const std::string language = locale.substr(0, locale.find_first_of("_-"));
  if (language == "zh") {
    const bool traditional = locale == "zh_tw" || locale == "zh_hk" || locale == "zh_mo" ||
                             locale.find("hant") != std::string::npos;
    return traditional ? "Big5" : "GB2312";
  }
  if (language == "ja") return "ISO-2022-JP";
  if (language == "ko") return "csEUCKR";
  if (language == "ru") return "KOI8-R";
  if (language == "uk") return "windows-1251";
  return "UTF-8";
}

std::string DefaultHeaderCharSet() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return DefaultHeaderCharSetForLocale(value);
  }
  return DefaultHeaderCharSetForLocale("");
}

// ---- TIdFormDataField ----------------------------------------------------------

TIdFormDataField::TIdFormDataField(TIdFormDataFields* aCollection)
    : FCollection(aCollection), FHeaderCharSet(DefaultHeaderCharSet()), FHeaderEncoding("B") {}

TIdFormDataField::~TIdFormDataField() = default;

void TIdFormDataField::SetFileName(std::string_view aValue) { FFileName = std::string(NamePart(aValue)); }

void TIdFormDataField::SetContentType(std::string_view aValue) {
  std::string value(aValue);
  if (value.empty()) value = FFileName.empty() ? std::string(SDefaultContentType) : GetMIMETypeFromFile(FFileName);
  std::string charset = ExtractHeaderSubItem(value, SCharsetParam, QuoteMIME);
  if (!charset.empty()) {
    FCharset = std::move(charset);
    value = ReplaceHeaderSubItem(value, SCharsetParam, "", QuoteMIME);
  } else if (FCharset.empty() && IsHeaderMediaType(value, "text")) {
    FCharset = SDefaultTextCharset;
  }
  FContentType = std::move(value);
}

void TIdFormDataField::SetContentTransfer(std::string_view aValue) {
  const bool known = aValue.empty() || std::any_of(std::begin(kTransferNames), std::end(kTransferNames),
                                                   [&](const char* name) { return SameText(aValue, name); });
  if (!known) throw EIdUnsupportedTransfer();
  FContentTransfer = std::string(aValue);
}

void TIdFormDataField::SetHeaderEncoding(std::string_view aValue) {
  const std::string upper = UpperCase(aValue);
  if (upper != "Q" && upper != "B" && upper != "8") throw EIdUnsupportedEncoding();
  FHeaderEncoding = upper;
}

const std::string& TIdFormDataField::FieldValue() const {
  if (FFieldStream != nullptr) throw EIdInvalidObjectType();
  return FFieldValue;
}

void TIdFormDataField::SetFieldValue(std::string aValue) {
  ReleaseStream();
  FFieldValue = std::move(aValue);
}

TStream& TIdFormDataField::FieldStream() const {
  if (FFieldStream == nullptr) throw EIdInvalidObjectType();
  return *FFieldStream;
}

void TIdFormDataField::SetFieldStream(TStream* aStream) {
  if (aStream == nullptr) throw EIdInvalidObjectType();
  if (aStream == FOwnedStream.get()) return;
  ReleaseStream();
  FFieldValue.clear();
  FFieldStream = aStream;
}

void TIdFormDataField::SetOwnedFieldStream(std::unique_ptr<TStream> aStream) {
  if (!aStream) throw EIdInvalidObjectType();
  ReleaseStream();
  FFieldValue.clear();
  FOwnedStream = std::move(aStream);
  FFieldStream = FOwnedStream.get();
}

void TIdFormDataField::ReleaseStream() {
  FOwnedStream.reset();
  FFieldStream = nullptr;
}

IIdTextEncoding TIdFormDataField::ValueEncoding() const {
  // Without a charset the text goes out as UTF-8, so that no character is lost.
  return FCharset.empty() ? IdTextEncoding_UTF8() : CharsetToEncoding(FCharset);
}

TIdBytes TIdFormDataField::FormatFieldHeader(std::string_view aBoundary) const {
  TIdBytes header;
  AppendText(header, "--");
  AppendText(header, aBoundary);
  AppendText(header, "\r\nContent-Disposition: form-data; name=\"");
  const TIdBytes name = EncodeHeaderName(FFieldName, FHeaderCharSet, FHeaderEncoding);
  header.insert(header.end(), name.begin(), name.end());
  AppendText(header, "\"");
  if (!FFileName.empty()) {
    AppendText(header, "; filename=\"");
    const TIdBytes fileName = EncodeHeaderName(FFileName, FHeaderCharSet, FHeaderEncoding);
    header.insert(header.end(), fileName.begin(), fileName.end());
    AppendText(header, "\"");
  }
  AppendText(header, SCRLF);
  if (!FContentType.empty()) {
    AppendText(header, "Content-Type: " + FContentType);
    if (!FCharset.empty()) AppendText(header, "; charset=\"" + FCharset + "\"");
    AppendText(header, SCRLF);
  }
  if (!FContentTransfer.empty()) AppendText(header, "Content-Transfer-Encoding: " + FContentTransfer + SCRLF);
  AppendText(header, SCRLF);
  return header;
}

bool TIdFormDataField::SendsStreamAsIs() const {
  const TTransferKind kind = TransferKind(FContentTransfer);
  return FFieldStream != nullptr && kind != TTransferKind::tkQuotedPrintable && kind != TTransferKind::tkBase64;
}

void TIdFormDataField::WriteEncodedData(TStream& aOut) const {
  const TTransferKind kind = TransferKind(FContentTransfer);
  if (FFieldStream != nullptr) {
    const int64_t position = FFieldStream->Position();
    FFieldStream->SetPosition(0);
    if (kind == TTransferKind::tkQuotedPrintable) {
      TIdEncoderQuotedPrintable::EncodeStream(*FFieldStream, aOut);
    } else {
      TIdEncoderMIME::EncodeStream(*FFieldStream, aOut);
      aOut.WriteBuffer(SCRLF, 2);
    }
    FFieldStream->SetPosition(position);
    return;
  }
  if (FFieldValue.empty()) {
    aOut.WriteBuffer(SCRLF, 2);
    return;
  }
  const TIdBytes bytes =
      kind == TTransferKind::tk7Bit ? IdTextEncoding_ASCII()->GetBytes(FFieldValue) : ValueEncoding()->GetBytes(FFieldValue);
  if (kind == TTransferKind::tkQuotedPrintable) {
    TMemoryStream source(bytes);
    TIdEncoderQuotedPrintable::EncodeStream(source, aOut);  // ends with its own line break
    return;
  }
  if (kind == TTransferKind::tkBase64) {
    const std::string text = TIdEncoderMIME::EncodeBytes(bytes);
    aOut.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  } else {
    aOut.WriteBuffer(bytes);
  }
  aOut.WriteBuffer(SCRLF, 2);
}

TIdFormDataField::TFieldData TIdFormDataField::PrepareFieldData() {
  TFieldData data;
  if (SendsStreamAsIs()) {
    FFieldStream->SetPosition(0);
    data.Stream = FFieldStream;
    return data;
  }
  data.Owned = std::make_unique<TMemoryStream>();
  WriteEncodedData(*data.Owned);
  data.Owned->SetPosition(0);
  data.Stream = data.Owned.get();
  return data;
}

int64_t TIdFormDataField::FieldSize() {
  const TIdMultiPartFormDataStream* form = FCollection != nullptr ? FCollection->MultipartFormDataStream() : nullptr;
  const int64_t headerSize =
      static_cast<int64_t>(FormatFieldHeader(form != nullptr ? form->Boundary() : std::string()).size());
  if (SendsStreamAsIs()) return headerSize + FFieldStream->Size() + 2;
  TNullStream counter;  // counts what it drops: a field is sized by the code that writes it
  WriteEncodedData(counter);
  return headerSize + counter.Count();
}

// ---- TIdFormDataFields -----------------------------------------------------------

TIdFormDataField& TIdFormDataFields::Add() {
  FItems.push_back(std::make_unique<TIdFormDataField>(this));
  return *FItems.back();
}

TIdFormDataField& TIdFormDataFields::Items(int aIndex) const {
  if (aIndex < 0 || aIndex >= Count()) throw EListError::IndexOutOfBounds(aIndex);
  return *FItems[static_cast<size_t>(aIndex)];
}

void TIdFormDataFields::Delete(int aIndex) {
  Items(aIndex);
  FItems.erase(FItems.begin() + aIndex);
}

// ---- TIdMultiPartFormDataStream ------------------------------------------------

TIdMultiPartFormDataStream::TIdMultiPartFormDataStream()
    : FFields(this), FBoundary(BoundaryFromClock()), FRequestContentType(SContentTypePrefix + FBoundary) {}

// A caller's stream may be gone by now, so it is not touched here.
TIdMultiPartFormDataStream::~TIdMultiPartFormDataStream() = default;

TIdFormDataField& TIdMultiPartFormDataStream::AddFormField(const std::string& aFieldName,
                                                           const std::string& aFieldValue,
                                                           const std::string& aCharset,
                                                           const std::string& aContentType,
                                                           const std::string& aFileName) {
  TIdFormDataField& field = FFields.Add();
  field.SetFieldName(aFieldName);
  field.SetFileName(aFileName);
  if (aContentType.empty()) {
    field.FContentType = SContentTypeText;
  } else {
    field.SetContentType(aContentType);
  }
  if (!aCharset.empty()) field.SetCharset(aCharset);
  field.SetContentTransfer(STransferQuotedPrintable);
  field.SetFieldValue(aFieldValue);
  return field;
}

TIdFormDataField& TIdMultiPartFormDataStream::AddFormField(const std::string& aFieldName,
                                                           const std::string& aContentType,
                                                           const std::string& aCharset, TStream* aFieldValue,
                                                           const std::string& aFileName) {
  if (aFieldValue == nullptr) throw EIdInvalidObjectType();
  TIdFormDataField& field = FFields.Add();
  field.SetFieldName(aFieldName);
  field.SetFileName(aFileName);
  field.SetFieldStream(aFieldValue);
  if (aContentType.empty()) {
    field.FContentType = GetMIMETypeFromFile(field.FileName());
  } else {
    field.SetContentType(aContentType);
  }
  if (!aCharset.empty()) field.SetCharset(aCharset);
  field.SetContentTransfer(STransferBinary);
  return field;
}

TIdFormDataField& TIdMultiPartFormDataStream::AddFile(const std::string& aFieldName, const std::string& aFileName,
                                                      const std::string& aContentType) {
  auto file = std::make_unique<TAddedFileStream>(std::make_unique<TFileStream>(aFileName, fmOpenRead | fmShareExclusive));
  TIdFormDataField& field = FFields.Add();
  try {
    field.SetOwnedFieldStream(std::move(file));
    field.SetFieldName(aFieldName);
    field.SetFileName(aFileName);
    if (aContentType.empty()) {
      field.FContentType = GetMIMETypeFromFile(aFileName);
    } else {
      field.SetContentType(aContentType);
    }
    field.SetContentTransfer(STransferBinary);
  } catch (...) {
    FFields.Delete(FFields.Count() - 1);
    throw;
  }
  return field;
}

void TIdMultiPartFormDataStream::Clear() {
  Rewind();
  FFields.Clear();
}

void TIdMultiPartFormDataStream::CloseInput() {
  if (FInput.Stream != nullptr && !FInput.Owned) FInput.Stream->SetPosition(0);
  FInput = TIdFormDataField::TFieldData();
}

void TIdMultiPartFormDataStream::Rewind() {
  CloseInput();
  FInternalBuffer.clear();
  FBufferStart = 0;
  FCurrentItem = 0;
  FPosition = 0;
  FInitialized = false;
  FClosed = false;
}

std::string TIdMultiPartFormDataStream::ClosingDelimiter() const { return "--" + FBoundary + "--" + SCRLF; }

void TIdMultiPartFormDataStream::AppendToBuffer(const TIdBytes& aBytes) {
  FInternalBuffer.insert(FInternalBuffer.end(), aBytes.begin(), aBytes.end());
}

void TIdMultiPartFormDataStream::AppendToBuffer(std::string_view aText) {
  FInternalBuffer.insert(FInternalBuffer.end(), aText.begin(), aText.end());
}

void TIdMultiPartFormDataStream::StartField() {
  TIdFormDataField& field = FFields.Items(FCurrentItem);
  AppendToBuffer(field.FormatFieldHeader(FBoundary));
  FInput = field.PrepareFieldData();
}

void TIdMultiPartFormDataStream::FinishField() {
  const bool callerStream = !FInput.Owned;
  CloseInput();
  if (callerStream) AppendToBuffer(SCRLF);
  ++FCurrentItem;
}

int64_t TIdMultiPartFormDataStream::Read(void* aBuffer, int64_t aCount) {
  if (!FInitialized) {
    Rewind();
    FInitialized = true;
  }
  // An empty form has no body at all, as its size says.
  if (aCount <= 0 || FFields.Count() == 0) return 0;
  auto* out = static_cast<uint8_t*>(aBuffer);
  int64_t delivered = 0;
  while (delivered < aCount) {
    if (FBufferStart == FInternalBuffer.size() && FInput.Stream == nullptr) {
      FInternalBuffer.clear();
      FBufferStart = 0;
      if (FCurrentItem < FFields.Count()) {
        StartField();
      } else if (!FClosed) {
        AppendToBuffer(ClosingDelimiter());
        FClosed = true;
      } else {
        break;
      }
    }
    const size_t fromBuffer =
        std::min(FInternalBuffer.size() - FBufferStart, static_cast<size_t>(aCount - delivered));
    if (fromBuffer > 0) {
      std::memcpy(out + delivered, FInternalBuffer.data() + FBufferStart, fromBuffer);
      FBufferStart += fromBuffer;
      delivered += static_cast<int64_t>(fromBuffer);
      FPosition += static_cast<int64_t>(fromBuffer);
    }
    if (FBufferStart == FInternalBuffer.size() && FInput.Stream != nullptr && delivered < aCount) {
      const int64_t n = FInput.Stream->Read(out + delivered, aCount - delivered);
      if (n > 0) {
        delivered += n;
        FPosition += n;
      } else {
        FinishField();
      }
    }
  }
  return delivered;
}

int64_t TIdMultiPartFormDataStream::Write(const void*, int64_t) { throw EIdUnsupportedOperation(); }

void TIdMultiPartFormDataStream::SetSize(int64_t) { throw EIdUnsupportedOperation(); }

int64_t TIdMultiPartFormDataStream::Seek(int64_t aOffset, TSeekOrigin aOrigin) {
  if (aOffset == 0 && aOrigin == TSeekOrigin::soBeginning) {
    Rewind();
    return 0;
  }
  if (aOffset == 0 && aOrigin == TSeekOrigin::soEnd) return Size();
  return FPosition;
}

int64_t TIdMultiPartFormDataStream::Size() {
  if (FFields.Count() == 0) return 0;
  int64_t size = static_cast<int64_t>(ClosingDelimiter().size());
  for (int i = 0; i < FFields.Count(); ++i) size += FFields.Items(i).FieldSize();
  return size;
}

}  // namespace qtx
