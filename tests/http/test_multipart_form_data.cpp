#include <gtest/gtest.h>

#include "support/qtxTestHelpers.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "http/qtxIdMultipartFormData.h"
#include "platform/qtxStrings.h"
#include "support/qtxTestShell.h"

namespace qtx {
namespace {

using test::Bytes;
using test::ScopedEnvironment;
using test::Text;

using test::TTempFolder;


TIdBytes BinaryData(size_t aSize, uint32_t aSeed) {
  TIdBytes data(aSize);
  for (auto& b : data) {
    aSeed = aSeed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(aSeed >> 24);
  }
  return data;
}

// Reads the whole body in pieces of aPieceSize bytes.
TIdBytes ReadAll(TStream& aStream, int64_t aPieceSize = 4096) {
  TIdBytes body;
  std::vector<uint8_t> piece(static_cast<size_t>(aPieceSize));
  int64_t n;
  while ((n = aStream.Read(piece.data(), aPieceSize)) > 0) body.insert(body.end(), piece.begin(), piece.begin() + n);
  return body;
}

TIdBytes HexToBytes(const std::string& aHex) {
  TIdBytes bytes;
  if (aHex == "-") return bytes;
  for (size_t i = 0; i + 1 < aHex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(aHex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// One part as Python's email package sees it.
struct TParsedPart {
  std::string Name;
  std::string FileName;
  std::string ContentType;
  std::string Charset;
  std::string Transfer;
  TIdBytes Data;
};

std::vector<TParsedPart> ParseWithPython(TIdMultiPartFormDataStream& aForm) {
  aForm.SetPosition(0);
  const TIdBytes body = ReadAll(aForm);
  TTempFolder folder;
  test::WriteFileBytes(folder.File("body"), body);
  const std::string script = std::string(QTX_TEST_DATA_DIR) + "/parse_multipart.py";
  const TIdBytes output = test::RunShell(
      "python3 " + test::ShellQuote(script) + " body " + test::ShellQuote(aForm.RequestContentType()), folder.Path());
  std::vector<TParsedPart> parts;
  std::istringstream lines(Text(output));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, fileName, contentType, charset, transfer, data;
    fields >> name >> fileName >> contentType >> charset >> transfer >> data;
    parts.push_back({Text(HexToBytes(name)), Text(HexToBytes(fileName)), Text(HexToBytes(contentType)),
                     Text(HexToBytes(charset)), Text(HexToBytes(transfer)), HexToBytes(data)});
  }
  return parts;
}

std::string MessageOf(const std::function<void()>& aAction) {
  try {
    aAction();
  } catch (const Exception& e) {
    return e.Message();
  }
  return std::string();
}

const char* const kUnicodeValue = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 100 = a+b\r\n.second line \r\nthird\t\r\n";

// ---- the body as a real parser reads it -----------------------------------------

TEST(MultipartFormDataBody, TextValuesComeBackUnchangedWithEveryTransferEncoding) {
  TIdMultiPartFormDataStream form;
  for (const char* transfer : {"8bit", "binary", "quoted-printable", "base64"}) {
    form.AddFormField(std::string("utf8-") + transfer, kUnicodeValue, "utf-8").SetContentTransfer(transfer);
  }
  for (const char* transfer : {"", "7bit"}) {
    form.AddFormField(std::string("ascii-") + transfer, "plain = text\r\n.dot line \r\n", "us-ascii")
        .SetContentTransfer(transfer);
  }
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 6u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Text(parts[i].Data), kUnicodeValue) << parts[i].Name;
    EXPECT_EQ(parts[i].Charset, "utf-8");
    EXPECT_EQ(parts[i].ContentType, "text/plain");
  }
  EXPECT_EQ(parts[2].Transfer, "quoted-printable");
  for (int i = 4; i < 6; ++i) EXPECT_EQ(Text(parts[i].Data), "plain = text\r\n.dot line \r\n") << parts[i].Name;
}

TEST(MultipartFormDataBody, ValueWithoutCharsetLosesNoCharacter) {
  TIdMultiPartFormDataStream form;
  form.AddFormField("prompt", "\xE2\x82\xAC \xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80");
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(Text(parts[0].Data), "\xE2\x82\xAC \xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80");
}

TEST(MultipartFormDataBody, Utf8FieldAndFileNamesComeBackInEveryHeaderEncoding) {
  const std::string name = "pr\xC3\xA9nom \xE5\x90\x8D\xE5\x89\x8D";
  const std::string fileName = "r\xC3\xA9sum\xC3\xA9 final.txt";
  TIdMultiPartFormDataStream form;
  TMemoryStream data(Bytes("content"));
  for (const char* encoding : {"B", "Q", "8"}) {
    TIdFormDataField& field = form.AddFormField(name, "text/plain", "", &data, fileName);
    field.SetHeaderCharSet("UTF-8");
    field.SetHeaderEncoding(encoding);
  }
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 3u);
  for (const auto& part : parts) {
    EXPECT_EQ(part.Name, name);
    EXPECT_EQ(part.FileName, fileName);
    EXPECT_EQ(Text(part.Data), "content");
  }
}

TEST(MultipartFormDataBody, NamesInTheLanguageCharsetsComeBack) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ISO-2022-JP", "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB \xE5\x90\x8D"},
      {"KOI8-R", "\xD0\xB8\xD0\xBC\xD1\x8F \xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\xD0\xB0"},
      {"GB2312", "\xE6\x96\x87\xE4\xBB\xB6"},
      {"windows-1251", "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB"},
  };
  TIdMultiPartFormDataStream form;
  for (const auto& [charset, name] : cases) {
    for (const char* encoding : {"B", "Q"}) {
      TIdFormDataField& field = form.AddFormField(name, "v");
      field.SetHeaderCharSet(charset);
      field.SetHeaderEncoding(encoding);
    }
  }
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), cases.size() * 2);
  for (size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(parts[i].Name, cases[i / 2].second) << cases[i / 2].first;
}

TEST(MultipartFormDataBody, NamesWithQuotesAndLineBreaksCannotInjectHeaders) {
  const std::string name = "a\"; filename=\"evil.exe\r\nContent-Type: text/html";
  TIdMultiPartFormDataStream form;
  for (const char* encoding : {"B", "Q", "8"}) form.AddFormField(name, "v").SetHeaderEncoding(encoding);
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].Name, name);
  EXPECT_EQ(parts[1].Name, name);
  EXPECT_EQ(parts[2].Name, "a%22; filename=%22evil.exe%0D%0AContent-Type: text/html");
  for (const auto& part : parts) {
    EXPECT_EQ(part.FileName, "");
    EXPECT_EQ(part.ContentType, "text/plain");
  }
}

TEST(MultipartFormDataBody, LongNamesAreSplitIntoEncodedWordsOfAtMost75Characters) {
  std::string name;
  for (int i = 0; i < 40; ++i) name += "\xC3\xA9t\xC3\xA9 ";
  name += "end";
  TIdMultiPartFormDataStream form;
  form.AddFormField(name, "x").SetHeaderEncoding("B");
  form.AddFormField(name, "y").SetHeaderEncoding("Q");
  form.SetPosition(0);
  const std::string body = Text(ReadAll(form));
  size_t pos = 0;
  int words = 0;
  while ((pos = body.find("=?", pos)) != std::string::npos) {
    const size_t end = body.find("?=", body.find('?', body.find('?', pos + 2) + 1) + 1);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end + 2 - pos, 75u);
    ++words;
    pos = end + 2;
  }
  EXPECT_GT(words, 4);
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].Name, name);
  EXPECT_EQ(parts[1].Name, name);
}

TEST(MultipartFormDataBody, BinaryFilesOfEverySizeComeBackByteForByte) {
  TTempFolder folder;
  std::vector<TIdBytes> contents;
  TIdMultiPartFormDataStream form;
  for (size_t size : {size_t{0}, size_t{1}, size_t{100000}}) {
    contents.push_back(BinaryData(size, static_cast<uint32_t>(size) + 7));
    const std::string fileName = folder.File("blob" + std::to_string(size) + ".bin");
    test::WriteFileBytes(fileName, contents.back());
    form.AddFile("file" + std::to_string(size), fileName);
  }
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(parts[i].Data, contents[i]) << i;
    EXPECT_EQ(parts[i].ContentType, "application/octet-stream");
    EXPECT_EQ(parts[i].Transfer, "binary");
  }
  EXPECT_EQ(parts[2].FileName, "blob100000.bin");
}

TEST(MultipartFormDataBody, StreamFieldsInEveryTransferEncodingKeepTheirBytes) {
  const TIdBytes content = BinaryData(5000, 99);
  TMemoryStream source(content);
  TIdMultiPartFormDataStream form;
  for (const char* transfer : {"", "7bit", "8bit", "binary", "quoted-printable", "base64"}) {
    form.AddFormField("data", "", "", &source, "photo.png").SetContentTransfer(transfer);
  }
  const auto parts = ParseWithPython(form);
  ASSERT_EQ(parts.size(), 6u);
  for (const auto& part : parts) {
    EXPECT_EQ(part.Data, content) << part.Transfer;
    EXPECT_EQ(part.ContentType, "image/x-png");
    EXPECT_EQ(part.FileName, "photo.png");
  }
}

// ---- size, rewind and the exact layout ---------------------------------------

TEST(MultipartFormDataStream, SizeEqualsTheBytesRead) {
  TTempFolder folder;
  test::WriteFileBytes(folder.File("clip.mp3"), BinaryData(12345, 5));
  TMemoryStream source(BinaryData(777, 3));
  TIdMultiPartFormDataStream form;
  form.AddFormField("model", "whisper-1");
  form.AddFormField("empty", "");
  form.AddFormField("text", kUnicodeValue, "utf-8").SetContentTransfer("base64");
  form.AddFormField("raw", kUnicodeValue, "utf-8").SetContentTransfer("8bit");
  form.AddFormField("ascii", "plain", "").SetContentTransfer("7bit");
  form.AddFormField("qp", "", "", &source, "a.bin").SetContentTransfer("quoted-printable");
  form.AddFormField("b64", "", "", &source, "b.bin").SetContentTransfer("base64");
  form.AddFile("file", folder.File("clip.mp3"));
  form.AddFormField("\xC3\xA9l\xC3\xA8ve", "x");
  const int64_t size = form.Size();
  for (int64_t piece : {int64_t{1}, int64_t{7}, int64_t{1000}, int64_t{1} << 20}) {
    form.SetPosition(0);
    EXPECT_EQ(static_cast<int64_t>(ReadAll(form, piece).size()), size) << "pieces of " << piece;
    EXPECT_EQ(form.Position(), size);
  }
  EXPECT_EQ(form.Seek(0, TSeekOrigin::soEnd), size);
}

TEST(MultipartFormDataStream, AFileKeepsTheLengthItHadWhenAdded) {
  TTempFolder folder;
  const std::string file = folder.File("upload.bin");
  const TIdBytes original = BinaryData(100204, 9);
  test::WriteFileBytes(file, original);
  TIdMultiPartFormDataStream form;
  form.AddFile("file", file);
  const int64_t size = form.Size();

  TIdBytes grown = original;
  const TIdBytes more = BinaryData(50000, 4);
  grown.insert(grown.end(), more.begin(), more.end());
  test::WriteFileBytes(file, grown);
  const TIdBytes body = ReadAll(form);
  EXPECT_EQ(static_cast<int64_t>(body.size()), size) << "the bytes added since are left out";
  EXPECT_NE(std::search(body.begin(), body.end(), original.begin(), original.end()), body.end());

  test::WriteFileBytes(file, TIdBytes(original.begin(), original.begin() + 214));
  form.SetPosition(0);
  EXPECT_THROW(ReadAll(form), EIdFileEndedEarly) << "a short body would pass for a whole one";
}

TEST(MultipartFormDataStream, RewindReproducesTheSameBytesAndRewindsTheCallersStream) {
  TMemoryStream source(BinaryData(3000, 1));
  TIdMultiPartFormDataStream form;
  form.AddFormField("a", "first value");
  form.AddFormField("data", "application/octet-stream", "", &source, "d.bin");
  const TIdBytes first = ReadAll(form, 100);
  EXPECT_EQ(source.Position(), 0);
  EXPECT_EQ(form.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_EQ(ReadAll(form, 333), first);
  std::vector<uint8_t> more(10);
  EXPECT_EQ(form.Read(more.data(), 10), 0);
}

TEST(MultipartFormDataStream, RewindInTheMiddleRestartsWithTheFirstField) {
  TMemoryStream source(BinaryData(3000, 1));
  TIdMultiPartFormDataStream form;
  form.AddFormField("data", "application/octet-stream", "", &source, "d.bin");
  const TIdBytes whole = ReadAll(form);
  form.SetPosition(0);
  std::vector<uint8_t> half(1500);
  ASSERT_EQ(form.Read(half.data(), 1500), 1500);
  EXPECT_EQ(form.Seek(10, TSeekOrigin::soCurrent), 1500);
  form.SetPosition(0);
  EXPECT_EQ(source.Position(), 0);
  EXPECT_EQ(ReadAll(form), whole);
}

TEST(MultipartFormDataStream, TextFieldAndFileProduceTheExpectedLayout) {
  TTempFolder folder;
  test::WriteFileBytes(folder.File("audio.mp3"), Bytes("ID3\x01\x02"));
  TIdMultiPartFormDataStream form;
  form.AddFormField("model", "whisper-1").SetContentTransfer("");
  form.AddFile("file", folder.File("audio.mp3"));
  const std::string b = form.Boundary();
  const std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"model\"\r\n" +
                               "Content-Type: text/plain\r\n\r\nwhisper-1\r\n" +
                               "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.mp3\"\r\n" +
                               "Content-Type: audio/x-mpg\r\nContent-Transfer-Encoding: binary\r\n\r\nID3\x01\x02\r\n" +
                               "--" + b + "--\r\n";
  EXPECT_EQ(Text(ReadAll(form)), expected);
  EXPECT_EQ(form.Size(), static_cast<int64_t>(expected.size()));
}

TEST(MultipartFormDataStream, DefaultTextFieldIsPlainTextWithoutCharsetSentQuotedPrintable) {
  TIdMultiPartFormDataStream form;
  const TIdFormDataField& field = form.AddFormField("n", "v");
  EXPECT_EQ(field.ContentType(), "text/plain");
  EXPECT_EQ(field.Charset(), "");
  EXPECT_EQ(field.ContentTransfer(), "quoted-printable");
  const std::string body = Text(ReadAll(form));
  EXPECT_NE(body.find("\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nv\r\n--"),
            std::string::npos);
}

TEST(MultipartFormDataStream, NonAsciiFieldNameIsAnEncodedWordInTheDefaultCharset) {
  TIdMultiPartFormDataStream form;
  TIdFormDataField& field = form.AddFormField("\xC3\xA9t\xC3\xA9", "v");
  field.SetHeaderCharSet("UTF-8");
  EXPECT_NE(Text(field.FormatFieldHeader(form.Boundary())).find("name=\"=?UTF-8?B?w6l0w6k=?=\""), std::string::npos);
  field.SetHeaderEncoding("Q");
  EXPECT_NE(Text(field.FormatFieldHeader(form.Boundary())).find("name=\"=?UTF-8?Q?=C3=A9t=C3=A9?=\""),
            std::string::npos);
}

TEST(MultipartFormDataStream, OnlyTheWordsThatNeedItAreEncoded) {
  TIdMultiPartFormDataStream form;
  TIdFormDataField& field = form.AddFormField("my \xC3\xA9t\xC3\xA9 caf\xC3\xA9 file", "v");
  field.SetHeaderCharSet("UTF-8");
  field.SetHeaderEncoding("Q");
  EXPECT_NE(Text(field.FormatFieldHeader(form.Boundary())).find("name=\"my =?UTF-8?Q?=C3=A9t=C3=A9_caf=C3=A9?= file\""),
            std::string::npos);
}

TEST(MultipartFormDataStream, BoundaryIsEightDashesAndFifteenDigitsNoPeerCanForesee) {
  TIdMultiPartFormDataStream form;
  const std::string& boundary = form.Boundary();
  ASSERT_EQ(boundary.size(), 23u);
  EXPECT_EQ(boundary.substr(0, 8), "--------");
  EXPECT_EQ(boundary.find_first_not_of("0123456789", 8), std::string::npos);
  EXPECT_EQ(form.RequestContentType(), "multipart/form-data; boundary=" + boundary);
  // Forms made within the same millisecond still differ.
  std::set<std::string> boundaries;
  for (int i = 0; i < 20; ++i) boundaries.insert(TIdMultiPartFormDataStream().Boundary());
  EXPECT_EQ(boundaries.size(), 20u);
}

TEST(MultipartFormDataStream, EmptyFormHasNoBody) {
  TIdMultiPartFormDataStream form;
  EXPECT_EQ(form.Size(), 0);
  EXPECT_TRUE(ReadAll(form).empty());
  form.AddFormField("a", "b");
  form.Clear();
  EXPECT_EQ(form.Fields().Count(), 0);
  EXPECT_EQ(form.Size(), 0);
  EXPECT_TRUE(ReadAll(form).empty());
}

TEST(MultipartFormDataStream, WriteAndSetSizeAreUnsupported) {
  TIdMultiPartFormDataStream form;
  const uint8_t byte = 0;
  EXPECT_EQ(MessageOf([&] { form.Write(&byte, 1); }), "Unsupported operation.");
  EXPECT_THROW(form.SetSize(10), EIdUnsupportedOperation);
}

TEST(MultipartFormDataStream, AddFileThatCannotBeOpenedAddsNoField) {
  TTempFolder folder;
  TIdMultiPartFormDataStream form;
  EXPECT_THROW(form.AddFile("f", folder.File("missing.txt")), EFOpenError);
  TFileStream writer(folder.File("busy.txt"), fmCreate);
  EXPECT_THROW(form.AddFile("f", folder.File("busy.txt")), EFOpenError);
  EXPECT_EQ(form.Fields().Count(), 0);
}

TEST(MultipartFormDataStream, AddFileHoldsTheFileExclusivelyUntilTheFormLetsGo) {
  TTempFolder folder;
  { TFileStream(folder.File("sound.wav"), fmCreate).WriteBuffer("RIFF", 4); }
  {
    TIdMultiPartFormDataStream form;
    form.AddFile("file", folder.File("sound.wav"));
    EXPECT_THROW(TFileStream(folder.File("sound.wav"), fmOpenRead | fmShareDenyWrite), EFOpenError);
  }
  EXPECT_NO_THROW(TFileStream(folder.File("sound.wav"), fmOpenRead | fmShareDenyWrite));
}

TEST(MultipartFormDataStream, AddFileTakesTheNamePartAndTheTypeFromTheTable) {
  TTempFolder folder;
  test::WriteFileBytes(folder.File("data.jsonl"), Bytes("{}\n"));
  test::WriteFileBytes(folder.File("notes.txt"), Bytes("x"));
  test::WriteFileBytes(folder.File("notes.md.txt"), Bytes("x"));
  TIdMultiPartFormDataStream form;
  const TIdFormDataField& jsonl = form.AddFile("file", folder.File("data.jsonl"));
  EXPECT_EQ(jsonl.FileName(), "data.jsonl");
  EXPECT_EQ(jsonl.ContentType(), "application/octet-stream");
  EXPECT_EQ(jsonl.ContentTransfer(), "binary");
  EXPECT_TRUE(jsonl.CanFreeFieldStream());
  const TIdFormDataField& text = form.AddFile("file", folder.File("notes.txt"));
  EXPECT_EQ(text.ContentType(), "text/plain");
  EXPECT_EQ(text.Charset(), "");
  const TIdFormDataField& typed = form.AddFile("file", folder.File("notes.md.txt"), "text/markdown");
  EXPECT_EQ(typed.ContentType(), "text/markdown");
  EXPECT_EQ(typed.Charset(), "us-ascii");
}

// ---- fields and their setters ------------------------------------------------------

TEST(FormDataField, ContentTransferAcceptsOnlyTheFiveNamesOrNothing) {
  TIdFormDataField field;
  for (const char* name : {"", "7bit", "8BIT", "binary", "Quoted-Printable", "base64"}) {
    EXPECT_NO_THROW(field.SetContentTransfer(name)) << name;
  }
  EXPECT_EQ(MessageOf([&] { field.SetContentTransfer("gzip"); }),
            "Unsupported transfer type. You can assign only an empty string or one of the following values: 7bit, "
            "8bit, binary, quoted-printable, base64.");
  EXPECT_THROW(field.SetContentTransfer("gzip"), EIdUnsupportedTransfer);
  EXPECT_EQ(field.ContentTransfer(), "base64");
}

TEST(FormDataField, HeaderEncodingAcceptsQB8) {
  TIdFormDataField field;
  EXPECT_EQ(field.HeaderEncoding(), "B");
  for (const char* letter : {"Q", "B", "8"}) EXPECT_NO_THROW(field.SetHeaderEncoding(letter));
  EXPECT_EQ(MessageOf([&] { field.SetHeaderEncoding("X"); }),
            "Unsupported encoding. You can assign only one of the following values: Q, B, 8.");
  EXPECT_THROW(field.SetHeaderEncoding(""), EIdUnsupportedEncoding);
  EXPECT_EQ(field.HeaderEncoding(), "8");
}

TEST(FormDataField, ContentTypeSetterRules) {
  TIdFormDataField field;
  field.SetContentType("");
  EXPECT_EQ(field.ContentType(), "application/octet-stream");
  EXPECT_EQ(field.Charset(), "");
  field.SetFileName("/tmp/dir/picture.PNG");
  EXPECT_EQ(field.FileName(), "picture.PNG");
  field.SetContentType("");
  EXPECT_EQ(field.ContentType(), "image/x-png");
  field.SetContentType("text/html; charset=\"utf-8\"; format=flowed");
  EXPECT_EQ(field.ContentType(), "text/html; format=flowed");
  EXPECT_EQ(field.Charset(), "utf-8");
  TIdFormDataField plain;
  plain.SetContentType("text/plain");
  EXPECT_EQ(plain.Charset(), "us-ascii");
  TIdFormDataField keeps;
  keeps.SetCharset("utf-8");
  keeps.SetContentType("text/plain");
  EXPECT_EQ(keeps.Charset(), "utf-8");
}

TEST(FormDataField, AContentTypeOrCharsetThatWouldBreakTheHeaderIsRefused) {
  TIdFormDataField field;
  field.SetContentType("text/html");
  EXPECT_THROW(field.SetContentType("text/plain\r\nContent-Type: text/html"), EIdInvalidHeaderValue);
  EXPECT_THROW(field.SetContentType(std::string("text/plain\0x", 12)), EIdInvalidHeaderValue);
  EXPECT_THROW(field.SetContentType("text/plain; charset=\"a\\\"b\""), EIdInvalidHeaderValue);
  EXPECT_THROW(field.SetCharset("utf-8\"; name=\"x"), EIdInvalidHeaderValue);
  EXPECT_THROW(field.SetHeaderCharSet("UTF-8?B?QQ==?=\r\nX: 1"), EIdInvalidHeaderValue);
  EXPECT_EQ(field.ContentType(), "text/html");
  EXPECT_EQ(field.Charset(), "us-ascii");

  TIdMultiPartFormDataStream form;
  TMemoryStream data(Bytes("abc"));
  EXPECT_THROW(form.AddFormField("f", "v", "", "text/plain\nX: 1"), EIdInvalidHeaderValue);
  EXPECT_THROW(form.AddFormField("f", "", "bad charset", &data), EIdInvalidHeaderValue);
  EXPECT_EQ(form.Fields().Count(), 0);
}

TEST(FormDataField, ValueAndStreamExcludeEachOther) {
  const std::string invalidType =
      "Unsupported object type. You can assign only one of the following types or their descendants: TStrings, "
      "TStream.";
  TIdFormDataField field;
  EXPECT_EQ(MessageOf([&] { field.FieldStream(); }), invalidType);
  EXPECT_EQ(MessageOf([&] { field.SetFieldStream(nullptr); }), invalidType);
  field.SetFieldValue("text");
  TMemoryStream stream;
  field.SetFieldStream(&stream);
  EXPECT_EQ(&field.FieldStream(), &stream);
  EXPECT_FALSE(field.CanFreeFieldStream());
  EXPECT_EQ(MessageOf([&] { field.FieldValue(); }), invalidType);
  field.SetOwnedFieldStream(std::make_unique<TMemoryStream>());
  EXPECT_TRUE(field.CanFreeFieldStream());
  field.SetFieldValue("again");
  EXPECT_FALSE(field.HasFieldStream());
  EXPECT_EQ(field.FieldValue(), "again");
}

TEST(FormDataField, StreamFieldsNeedAStream) {
  TIdMultiPartFormDataStream form;
  EXPECT_THROW(form.AddFormField("f", "", "", static_cast<TStream*>(nullptr)), EIdInvalidObjectType);
  TStringList notAStream;
  EXPECT_THROW(form.AddObject("f", "", "", &notAStream), EIdInvalidObjectType);
  EXPECT_EQ(form.Fields().Count(), 0);
  TMemoryStream stream(Bytes("abc"));
  TIdFormDataField& field = form.AddObject("f", "", "", &stream, "x.gif");
  EXPECT_EQ(&field.FieldStream(), &stream);
  EXPECT_EQ(field.ContentType(), "image/gif");
}

// ---- header charset by language --------------------------------------------------

TEST(FormDataHeaderCharset, FollowsTheLanguageOfTheLocale) {
  EXPECT_EQ(DefaultHeaderCharSetForLocale("zh_CN.UTF-8"), "GB2312");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("zh_TW.Big5"), "Big5");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("zh_HK"), "Big5");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("ja_JP.eucJP"), "ISO-2022-JP");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("ko_KR.UTF-8"), "csEUCKR");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("ru_RU.KOI8-R"), "KOI8-R");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("uk_UA.UTF-8"), "windows-1251");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("de_DE.UTF-8"), "UTF-8");
  EXPECT_EQ(DefaultHeaderCharSetForLocale("C.UTF-8"), "UTF-8");
  EXPECT_EQ(DefaultHeaderCharSetForLocale(""), "UTF-8");
}

TEST(FormDataHeaderCharset, LcAllThenLcCtypeThenLang) {
  ScopedEnvironment all("LC_ALL", nullptr);
  ScopedEnvironment ctype("LC_CTYPE", "ru_RU.UTF-8");
  ScopedEnvironment lang("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(DefaultHeaderCharSet(), "KOI8-R");
  {
    ScopedEnvironment allSet("LC_ALL", "uk_UA.UTF-8");
    EXPECT_EQ(DefaultHeaderCharSet(), "windows-1251");
    TIdFormDataField field;
    EXPECT_EQ(field.HeaderCharSet(), "windows-1251");
    EXPECT_EQ(field.HeaderEncoding(), "B");
  }
  ScopedEnvironment ctypeUnset("LC_CTYPE", nullptr);
  EXPECT_EQ(DefaultHeaderCharSet(), "ISO-2022-JP");
}

}  // namespace
}  // namespace qtx
