// multipart/form-data bodies built from any fields. The input is a run of
// fields cut at NULs, four texts each: two control bytes and the field name,
// the value, the file name, the content type. The control bytes pick a text
// or a stream field, its transfer encoding, the name encoding and the
// charsets (their top bits are free: seeds set them, so that a control byte
// is never taken for a NUL). The body reads the same in pieces of any size,
// as long as its Size says; it opens and closes with the boundary and holds
// one part per field; every header line is whole (no CR or LF of a name,
// file name, type or charset gets into it, and the quotes around a name stay
// balanced); each part's data decodes to the field's bytes.

#include <algorithm>
#include <vector>

#include "core/qtxIdCoderMIME.h"
#include "http/qtxIdMultipartFormData.h"
#include "platform/qtxException.h"
#include "qtxFuzzHelpers.h"

namespace {

using namespace qtx;

constexpr const char* kTransfers[] = {"", "7bit", "8bit", "binary", "quoted-printable", "base64"};
constexpr const char* kHeaderEncodings[] = {"B", "Q", "8"};
constexpr const char* kCharsets[] = {"",       "utf-8",  "ISO-8859-1", "windows-1251",
                                     "ISO-2022-JP", "KOI8-R", "GB2312",     "us-ascii"};

struct TFieldInput {
  bool IsStream;
  std::string Transfer;
  TIdBytes Bytes;  // what the part's data must decode to
};

std::string_view Text(const TIdBytes& aBytes) { return {reinterpret_cast<const char*>(aBytes.data()), aBytes.size()}; }

TIdBytes ReadAll(TStream& aStream, int64_t aPieceSize) {
  TIdBytes body;
  std::vector<uint8_t> piece(static_cast<size_t>(aPieceSize));
  for (int64_t n; (n = aStream.Read(piece.data(), aPieceSize)) > 0;)
    body.insert(body.end(), piece.begin(), piece.begin() + n);
  return body;
}

// Quoted-printable data decoded (soft breaks dropped, escapes resolved).
TIdBytes DecodeQuotedPrintable(std::string_view aText) {
  TIdBytes out;
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] != '=') {
      out.push_back(static_cast<uint8_t>(aText[i]));
    } else if (aText.substr(i + 1, 2) == "\r\n") {
      i += 2;
    } else {
      QTX_FUZZ_CHECK(i + 2 < aText.size());
      out.push_back(static_cast<uint8_t>(std::stoi(std::string(aText.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    }
  }
  return out;
}

void CheckHeader(std::string_view aHeader) {
  // Lines end with CR LF and hold no other CR or LF.
  for (size_t i = 0; i < aHeader.size(); ++i) {
    if (aHeader[i] == '\r') QTX_FUZZ_CHECK(aHeader.substr(i, 2) == "\r\n");
    if (aHeader[i] == '\n') QTX_FUZZ_CHECK(i > 0 && aHeader[i - 1] == '\r');
  }
  // The first header with its folded continuation lines.
  size_t end = aHeader.find("\r\n");
  const auto folded = [&](size_t aBreak) {
    return aBreak + 2 < aHeader.size() && (aHeader[aBreak + 2] == ' ' || aHeader[aBreak + 2] == '\t');
  };
  while (end != std::string_view::npos && folded(end)) end = aHeader.find("\r\n", end + 2);
  const std::string_view disposition = aHeader.substr(0, end);
  QTX_FUZZ_CHECK(disposition.starts_with("Content-Disposition: form-data; name=\""));
  const auto quotes = std::count(disposition.begin(), disposition.end(), '"');
  QTX_FUZZ_CHECK(quotes == 2 || quotes == 4);
}

void CheckData(std::string_view aData, const TFieldInput& aField) {
  if (!aField.IsStream && aField.Bytes.empty()) {
    QTX_FUZZ_CHECK(aData.empty());
  } else if (aField.Transfer == "quoted-printable") {
    // The encoder's closing line break is the one before the delimiter.
    TIdBytes expected = aField.Bytes;
    expected.insert(expected.end(), {'\r', '\n'});
    QTX_FUZZ_CHECK(DecodeQuotedPrintable(std::string(aData) + "\r\n") == expected);
  } else if (aField.Transfer == "base64") {
    QTX_FUZZ_CHECK(TIdDecoderMIME::DecodeBytes(aData) == aField.Bytes);
  } else {
    QTX_FUZZ_CHECK(aData == Text(aField.Bytes));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  fuzz::KeepCodePageModulesLoaded();
  constexpr size_t kMaxFields = 8;
  const auto parts = fuzz::Split(fuzz::Chars(aData, aSize), 4 * kMaxFields);

  TIdMultiPartFormDataStream form;
  std::vector<std::unique_ptr<TMemoryStream>> streams;
  std::vector<TFieldInput> fields;
  for (size_t i = 0; i + 3 < parts.size() && parts[i].size() >= 2; i += 4) {
    const auto control = static_cast<uint8_t>(parts[i][0]);
    const auto charsets = static_cast<uint8_t>(parts[i][1]);
    const std::string name = fuzz::Text(parts[i].substr(2));
    const std::string fileName = fuzz::Text(parts[i + 2]);
    const std::string contentType = fuzz::Text(parts[i + 3]);
    const std::string charset = kCharsets[(charsets & 7) % std::size(kCharsets)];
    const bool isStream = control & 1;
    const std::string transfer = kTransfers[((control >> 1) & 7) % std::size(kTransfers)];
    try {
      TIdFormDataField* field;
      TIdBytes bytes;
      if (isStream) {
        bytes = fuzz::Bytes(parts[i + 1]);
        streams.push_back(std::make_unique<TMemoryStream>(bytes));
        field = &form.AddFormField(name, contentType, charset, streams.back().get(), fileName);
      } else {
        const std::string value = fuzz::Text(parts[i + 1]);
        field = &form.AddFormField(name, value, charset, contentType, fileName);
        // Seven-bit transfers (the default, without a name) carry ASCII only;
        // the others the charset's bytes, UTF-8 without a charset.
        IIdTextEncoding encoding = IdTextEncoding_ASCII();
        if (!transfer.empty() && transfer != "7bit")
          encoding = field->Charset().empty() ? IdTextEncoding_UTF8() : CharsetToEncoding(field->Charset());
        bytes = encoding->GetBytes(value);
      }
      field->SetContentTransfer(transfer);
      field->SetHeaderEncoding(kHeaderEncodings[((control >> 4) & 3) % std::size(kHeaderEncodings)]);
      field->SetHeaderCharSet(kCharsets[((charsets >> 4) & 7) % std::size(kCharsets)]);
      fields.push_back({isStream, transfer, std::move(bytes)});
    } catch (const EIdException&) {
      return 0;  // a content type or charset the field refuses
    }
  }

  const int64_t size = form.Size();
  const TIdBytes body = ReadAll(form, 1 + aSize % 97);
  QTX_FUZZ_CHECK(static_cast<int64_t>(body.size()) == size);
  form.SetPosition(0);
  QTX_FUZZ_CHECK(ReadAll(form, 4096) == body);
  if (fields.empty()) return 0;

  const std::string delimiter = "--" + form.Boundary();
  std::string_view rest = Text(body);
  QTX_FUZZ_CHECK(rest.ends_with("\r\n" + delimiter + "--\r\n"));
  rest.remove_suffix(delimiter.size() + 6);
  for (const TFieldInput& field : fields) {
    QTX_FUZZ_CHECK(rest.starts_with(delimiter + "\r\n"));
    rest.remove_prefix(delimiter.size() + 2);
    const size_t headerEnd = rest.find("\r\n\r\n");
    QTX_FUZZ_CHECK(headerEnd != std::string_view::npos);
    CheckHeader(rest.substr(0, headerEnd + 2));
    rest.remove_prefix(headerEnd + 4);
    const size_t next = rest.find("\r\n" + delimiter);
    CheckData(rest.substr(0, next), field);
    rest.remove_prefix(next == std::string_view::npos ? rest.size() : next + 2);
  }
  QTX_FUZZ_CHECK(rest.empty());
  return 0;
}
