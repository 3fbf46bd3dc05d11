#include <gtest/gtest.h>

#include "core/qtxIdException.h"
#include "http/qtxIdMimeTable.h"

namespace qtx {
namespace {

TEST(MimeTable, HoldsEachBuiltInExtensionOnce) {
  TIdMimeTable table;
  table.BuildCache();
  EXPECT_EQ(table.Count(), 372);
  EXPECT_EQ(table.FileExt(0), ".nml");
  EXPECT_EQ(table.FileExt(371), ".mht");
}

TEST(MimeTable, FirstLineForAnExtensionWins) {
  TIdMimeTable table;
  EXPECT_EQ(table.GetFileMIMEType("song.mp3"), "audio/x-mpg");
  EXPECT_EQ(table.GetFileMIMEType("a.mp2"), "audio/x-mpg");
  EXPECT_EQ(table.GetFileMIMEType("a.m3u"), "audio/mpegurl");
  EXPECT_EQ(table.GetFileMIMEType("a.xbm"), "image/xbm");
  EXPECT_EQ(table.GetFileMIMEType("a.asx"), "video/x-ms-asf");
  EXPECT_EQ(table.GetFileMIMEType("a.asf"), "video/x-ms-asf");
  EXPECT_EQ(table.GetFileMIMEType("a.cpt"), "image/x-corelphotopaint");
  EXPECT_EQ(table.GetFileMIMEType("a.rm"), "audio/x-pn-realaudio");
}

TEST(MimeTable, UploadTypesOfTheChatService) {
  TIdMimeTable table;
  EXPECT_EQ(table.GetFileMIMEType("speech.mpga"), "audio/x-mpg");
  EXPECT_EQ(table.GetFileMIMEType("speech.m4a"), "audio/x-mpg");
  EXPECT_EQ(table.GetFileMIMEType("clip.mp4"), "video/mpeg");
  EXPECT_EQ(table.GetFileMIMEType("clip.mpeg"), "video/x-mpeg2a");
  EXPECT_EQ(table.GetFileMIMEType("speech.wav"), "audio/x-wav");
  EXPECT_EQ(table.GetFileMIMEType("clip.webm"), "video/webm");
  EXPECT_EQ(table.GetFileMIMEType("image.png"), "image/x-png");
  EXPECT_EQ(table.GetFileMIMEType("photo.jpg"), "image/jpeg");
  EXPECT_EQ(table.GetFileMIMEType("photo.jpeg"), "image/jpeg");
  EXPECT_EQ(table.GetFileMIMEType("anim.gif"), "image/gif");
  EXPECT_EQ(table.GetFileMIMEType("image.webp"), "image/webp");
  EXPECT_EQ(table.GetFileMIMEType("notes.txt"), "text/plain");
  EXPECT_EQ(table.GetFileMIMEType("paper.pdf"), "application/pdf");
  EXPECT_EQ(table.GetFileMIMEType("data.xml"), "text/xml");
  EXPECT_EQ(table.GetFileMIMEType("bundle.zip"), "application/x-zip-compressed");
}

TEST(MimeTable, UnknownOrMissingExtensionIsOctetStream) {
  TIdMimeTable table;
  for (const char* name : {"data.jsonl", "data.json", "table.csv", "audio.flac", "README", "archive.", ""}) {
    EXPECT_EQ(table.GetFileMIMEType(name), "application/octet-stream") << name;
  }
}

TEST(MimeTable, ExtensionIsTakenFromTheNamePartWithoutRegardToCase) {
  TIdMimeTable table;
  EXPECT_EQ(table.GetFileMIMEType("/home/me/Photo.JPG"), "image/jpeg");
  EXPECT_EQ(table.GetFileMIMEType("/dir.pdf/README"), "application/octet-stream");
  EXPECT_EQ(table.GetFileMIMEType("C:\\dir.png\\file.gz"), "application/x-gzip");
}

TEST(MimeTable, DefaultExtensionIsTheFirstOfItsType) {
  TIdMimeTable table;
  EXPECT_EQ(table.GetDefaultFileExt("image/jpeg"), ".jpg");
  EXPECT_EQ(table.GetDefaultFileExt("Video/MPEG"), ".mp4");
  EXPECT_EQ(table.GetDefaultFileExt("application/x-unknown"), "");
}

TEST(MimeTable, AddMimeTypeChecksItsArguments) {
  TIdMimeTable table;
  auto message = [&](const char* ext, const char* type) {
    try {
      table.AddMimeType(ext, type);
    } catch (const EIdException& e) {
      return e.Message();
    }
    return std::string();
  };
  EXPECT_EQ(message("", "a/b"), "Extension is empty");
  EXPECT_EQ(message("abc", ""), "Mimetype is empty");
  EXPECT_EQ(message(".PNG", "a/b"), "Extension already exits");
  EXPECT_EQ(message("qtx", "Application/X-Qtx"), "");
  EXPECT_EQ(table.GetFileMIMEType("f.qtx"), "application/x-qtx");
  EXPECT_NO_THROW(table.AddMimeType("png", "a/b", false));
  EXPECT_EQ(table.GetFileMIMEType("f.png"), "image/x-png");
}

TEST(MimeTable, BuildCacheHandlerReplacesTheBuiltInList) {
  TIdMimeTable table;
  table.OnBuildCache = [](TIdMimeTable& sender) { sender.AddMimeType(".own", "x/own"); };
  EXPECT_EQ(table.GetFileMIMEType("a.own"), "x/own");
  EXPECT_EQ(table.GetFileMIMEType("a.png"), "application/octet-stream");
}

TEST(MimeTable, StringsRoundTripWithOwnSeparator) {
  TIdMimeTable table;
  TStringList lines;
  lines.Add(".one:x/one");
  lines.Add("TWO:X/Two");
  lines.Add("no separator");
  lines.Add(".one:x/other");
  table.LoadFromStrings(lines, ':');
  EXPECT_EQ(table.Count(), 2);
  EXPECT_EQ(table.GetFileMIMEType("f.two"), "x/two");
  TStringList saved;
  table.SaveToStrings(saved, ':');
  EXPECT_EQ(saved.Text(), ".one:x/one\r\n.two:x/two\r\n");
}

TEST(MimeTable, FileTypeFunctionUsesTheFilledTable) {
  EXPECT_EQ(GetMIMETypeFromFile("audio.mp3"), "audio/x-mpg");
  EXPECT_EQ(GetMIMETypeFromFile("data.jsonl"), "application/octet-stream");
}

}  // namespace
}  // namespace qtx
