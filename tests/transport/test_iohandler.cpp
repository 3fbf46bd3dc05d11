// The IO handler over a scripted source: exact reads, closes and failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/qtxStrings.h"
#include "support/qtxScriptedIOHandler.h"
#include "support/qtxTestHelpers.h"
#include "transport/qtxIdIOHandler.h"

namespace qtx {
namespace {

using test::Bytes;
using test::Raised;
using test::TScriptedIOHandler;
using test::Text;


class IOHandler : public ::testing::Test {
protected:
  void SetUp() override { io.Open(); }
  TScriptedIOHandler io;
};

// ---- lines ---------------------------------------------------------------------

TEST_F(IOHandler, CarriageReturnBeforeLineFeedIsDroppedOnlyForTheLineFeedTerminator) {
  io.AddInput("abc\r\nabc\r\nab\rX");
  EXPECT_EQ(io.ReadLn(), "abc");
  EXPECT_EQ(io.ReadLn("\r\n"), "abc");
  EXPECT_EQ(io.ReadLn("X"), "ab\r");
}

TEST_F(IOHandler, ATerminatorSplitAcrossTwoReadsIsFound) {
  io.AddInput("abc\r");
  io.AddInput("\ndef\r");
  io.AddInput("\n");
  EXPECT_EQ(io.ReadLn("\r\n"), "abc");
  EXPECT_EQ(io.ReadLn(), "def");
}

TEST_F(IOHandler, LinesArrivingInReadsSmallerThanALineComeOutWhole) {
  io.SetRecvBufferSize(7);
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::string(static_cast<size_t>(i % 23), char('a' + i % 26)) + (i % 2 ? "\r\n" : "\n");
  io.AddInput(text);
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(io.ReadLn(), std::string(static_cast<size_t>(i % 23), char('a' + i % 26))) << "line " << i;
  }
  EXPECT_TRUE(io.InputBufferIsEmpty());
}

TEST_F(IOHandler, ALineLongerThanTheMaximumRaisesByDefault) {
  io.AddInput(std::string(20000, 'a'));
  const auto e = Raised<EIdReadLnMaxLineLengthExceeded>([&] { io.ReadLn(); });
  EXPECT_EQ(e.Message(), "Max line length exceeded.");
}

TEST_F(IOHandler, ALineLongerThanTheMaximumIsSplitWhenAsked) {
  io.AddInput(std::string(20000, 'a') + "\n");
  bool wasSplit = false;
  EXPECT_EQ(io.ReadLnSplit(wasSplit).size(), 16384u);
  EXPECT_TRUE(wasSplit);
  EXPECT_EQ(io.MaxLineAction(), maException);
  EXPECT_EQ(io.ReadLnSplit(wasSplit).size(), 20000u - 16384u);
  EXPECT_FALSE(wasSplit);
}

TEST_F(IOHandler, TheMaximumAppliesToTheLineNotTheTerminator) {
  io.AddInput(std::string(50, 'a') + "\n" + std::string(51, 'b') + "\n");
  EXPECT_EQ(io.ReadLn("\n", IdTimeoutDefault, 50).size(), 50u);
  EXPECT_THROW(io.ReadLn("\n", IdTimeoutDefault, 50), EIdReadLnMaxLineLengthExceeded);
}

TEST_F(IOHandler, ASilentPeerTimesTheLineOutWithoutRaising) {
  io.AddInput("partial");
  io.AddSilence();
  EXPECT_EQ(io.ReadLn("\n", 100), "");
  EXPECT_TRUE(io.ReadLnTimedout());
  EXPECT_EQ(io.InputBuffer().Size(), 7);  // what came stays for the next read
  io.AddInput(" line\n");
  EXPECT_EQ(io.ReadLn(), "partial line");
  EXPECT_FALSE(io.ReadLnTimedout());
}

TEST_F(IOHandler, APeerClosingMidLineRaisesAndKeepsTheBytes) {
  io.AddInput("abc");
  io.AddClose();
  EXPECT_THROW(io.ReadLn(), EIdConnClosedGracefully);
  EXPECT_TRUE(io.ClosedGracefully());
  EXPECT_EQ(io.InputBuffer().Size(), 3);
  EXPECT_EQ(io.ReadString(3), "abc");
}

TEST_F(IOHandler, ReadLnWaitSkipsBlankLines) {
  io.AddInput("\r\n   \r\n  hello \r\n\r\n\r\n");
  EXPECT_EQ(io.ReadLnWait(), "hello");
  const auto e = Raised<EIdReadLnWaitMaxAttemptsExceeded>([&] { io.ReadLnWait(2); });
  EXPECT_EQ(e.Message(), "Max line read attempts exceeded.");
}

TEST_F(IOHandler, ReadLnWaitReportsATimeOut) {
  io.SetReadTimeout(50);
  io.AddSilence();
  EXPECT_THROW(io.ReadLnWait(), EIdReadTimeout);
}

TEST_F(IOHandler, ReadLnRFCUndoesDotStuffing) {
  io.AddInput("..dotted\r\nplain\r\n.\r\n");
  bool end = true;
  EXPECT_EQ(io.ReadLnRFC(end), ".dotted");
  EXPECT_FALSE(end);
  EXPECT_EQ(io.ReadLnRFC(end), "plain");
  EXPECT_EQ(io.ReadLnRFC(end), ".");
  EXPECT_TRUE(end);
}

// ---- bytes, strings, numbers, characters -----------------------------------------

TEST_F(IOHandler, ReadBytesWaitsForTheWholeCount) {
  io.AddInput("ab");
  io.AddInput("cdef");
  TIdBytes out = Bytes(">");
  io.ReadBytes(out, 5);
  EXPECT_EQ(Text(out), ">abcde");
  io.ReadBytes(out, -1, false);  // whatever is there
  EXPECT_EQ(out[0], 'f');
  EXPECT_EQ(io.ReadString(0), "");
}

TEST_F(IOHandler, IntegersAreReadInNetworkOrder) {
  io.AddInput(TIdBytes{0xFF, 0xFE, 0x00, 0x00, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 7, 0x01, 0x02, 0x09});
  EXPECT_EQ(io.ReadInt16(), -2);
  EXPECT_EQ(io.ReadUInt32(), 258u);
  EXPECT_EQ(io.ReadInt64(), 7);
  EXPECT_EQ(io.ReadUInt16(false), std::endian::native == std::endian::little ? 0x0201 : 0x0102);
  EXPECT_EQ(io.ReadByte(), 9);
}

TEST_F(IOHandler, ReadCharTakesEveryByteOfTheCharacter) {
  io.AddInput("\xC3");
  io.AddInput("\xA9" "A");
  EXPECT_EQ(io.ReadChar(IdTextEncoding_UTF8()), "\xC3\xA9");
  EXPECT_EQ(io.ReadChar(), "A");
}

TEST_F(IOHandler, ReadCharLeavesTheCharacterAfterAnInvalidByte) {
  io.AddInput("\xC3" "B");
  EXPECT_EQ(io.ReadChar(IdTextEncoding_UTF8()), "\xEF\xBF\xBD");
  EXPECT_EQ(io.ReadChar(IdTextEncoding_UTF8()), "B");
}

TEST_F(IOHandler, InputLnEditsAndEchoes) {
  io.AddInput("ab\bc\td\r\n");
  EXPECT_EQ(io.InputLn("", true, 4), "ac  d");
  EXPECT_EQ(io.WrittenText(), "ab\b \bc  d\r\n");
}

TEST_F(IOHandler, InputLnMasksAndStopsAtTheMaximum) {
  io.AddInput("secret\n");
  EXPECT_EQ(io.InputLn("*", true, 8, 3), "sec");
  EXPECT_EQ(io.WrittenText(), "***\r\n");
}

// ---- streams and runs of lines ------------------------------------------------------

TEST_F(IOHandler, ReadStreamReadsTheCountFirstWhenNotGiven) {
  io.AddInput(TIdBytes{0, 0, 0, 5});
  io.AddInput("helloEXTRA");
  TMemoryStream stream;
  io.ReadStream(&stream);
  EXPECT_EQ(Text(stream.Bytes()), "hello");
  EXPECT_EQ(io.InputBuffer().AsString(), "EXTRA");
}

TEST_F(IOHandler, ReadStreamWithLargeStreamReadsA64BitCount) {
  io.SetLargeStream(true);
  io.AddInput(TIdBytes{0, 0, 0, 0, 0, 0, 0, 2});
  io.AddInput("hi");
  TMemoryStream stream;
  io.ReadStream(&stream);
  EXPECT_EQ(Text(stream.Bytes()), "hi");
}

TEST_F(IOHandler, ReadStreamUntilDisconnectTakesEverything) {
  io.AddInput("first ");
  io.AddInput(std::string(100000, 'x'));
  io.AddClose();
  TMemoryStream stream;
  io.ReadStream(&stream, -1, true);
  EXPECT_EQ(stream.Size(), 6 + 100000);
  EXPECT_EQ(Text(stream.Bytes()).substr(0, 6), "first ");
}

TEST_F(IOHandler, AShortCountedStreamRaisesAndIsTrimmedToWhatCame) {
  io.AddInput("abc");
  io.AddClose();
  TMemoryStream stream;
  EXPECT_THROW(io.ReadStream(&stream, 10), EIdConnClosedGracefully);
  EXPECT_EQ(Text(stream.Bytes()), "abc");
}

TEST_F(IOHandler, AHugeCountFromThePeerIsNotAllocatedBeforeItsBytesArrive) {
  io.SetLargeStream(true);
  io.AddInput(TIdBytes{0, 0, 0x10, 0, 0, 0, 0, 0});  // 2^44 bytes announced, three sent
  io.AddInput("abc");
  io.AddClose();
  TMemoryStream stream;
  EXPECT_THROW(io.ReadStream(&stream), EIdConnClosedGracefully);
  EXPECT_EQ(Text(stream.Bytes()), "abc");
}

TEST_F(IOHandler, ReadStreamRefusesACountBeyondTheStreamRange) {
  TMemoryStream stream(Bytes("x"));
  stream.SetPosition(1);
  const auto e = Raised<EIdIOHandlerStreamDataTooLarge>([&] { io.ReadStream(&stream, INT64_MAX); });
  EXPECT_EQ(e.Message(), "Data is too large for stream");
}

TEST_F(IOHandler, ACountedReadStreamLeavesWhatFollowsTheCountInALaterBlockBuffered) {
  io.AddInput("abc");
  io.AddInput("defNEXT");
  int64_t reported = 0;
  io.OnWork = [&](TIdComponent&, TWorkMode aMode, int64_t aCount) {
    if (aMode == wmRead) reported = aCount;
  };
  TMemoryStream stream;
  io.ReadStream(&stream, 6);
  EXPECT_EQ(Text(stream.Bytes()), "abcdef");
  EXPECT_EQ(reported, 6);
  EXPECT_EQ(io.InputBuffer().AsString(), "NEXT");
}

TEST_F(IOHandler, ReadStreamTakesWhatIsBufferedBeforeReadingOn) {
  io.AddInput("line\nab");
  io.AddInput("cd");
  EXPECT_EQ(io.ReadLn(), "line");
  TMemoryStream stream;
  io.ReadStream(&stream, 4);
  EXPECT_EQ(Text(stream.Bytes()), "abcd");
  EXPECT_TRUE(io.InputBufferIsEmpty());
}

TEST_F(IOHandler, ReadStreamReportsTheRunningTotalAfterEachBlock) {
  io.SetRecvBufferSize(4);
  io.AddInput("abcdefghij");
  int64_t expected = -1;
  std::vector<int64_t> totals;
  io.OnWorkBegin = [&](TIdComponent&, TWorkMode aMode, int64_t aMax) {
    if (aMode == wmRead) expected = aMax;
  };
  io.OnWork = [&](TIdComponent&, TWorkMode aMode, int64_t aCount) {
    if (aMode == wmRead) totals.push_back(aCount);
  };
  TMemoryStream stream;
  io.ReadStream(&stream, 10);
  EXPECT_EQ(expected, 10);
  EXPECT_EQ(totals, (std::vector<int64_t>{4, 8, 10}));
  EXPECT_EQ(Text(stream.Bytes()), "abcdefghij");
}

TEST_F(IOHandler, ReadStreamIntoNoStreamDropsTheBytesAndStillReportsThem) {
  io.AddInput("abcdef");
  io.AddInput("ghXY");
  int64_t reported = 0;
  io.OnWork = [&](TIdComponent&, TWorkMode aMode, int64_t aCount) {
    if (aMode == wmRead) reported = aCount;
  };
  io.ReadStream(nullptr, 8);
  EXPECT_EQ(reported, 8);
  EXPECT_EQ(io.InputBuffer().AsString(), "XY");
}

// A stream that takes a few bytes and then refuses every write.
class TRefusingStream : public TMemoryStream {
public:
  explicit TRefusingStream(int64_t aRoom) : FRoom(aRoom) {}
  int64_t Write(const void* aBuffer, int64_t aCount) override {
    const int64_t taken = std::min(aCount, FRoom);
    FRoom -= taken;
    return taken > 0 ? TMemoryStream::Write(aBuffer, taken) : 0;
  }

private:
  int64_t FRoom;
};

TEST_F(IOHandler, BytesTheStreamRefusesStayInTheInputBuffer) {
  io.AddInput("abc");
  io.AddInput("def");
  TRefusingStream stream(3);
  EXPECT_THROW(io.ReadStream(&stream, 6), EWriteError);
  EXPECT_EQ(Text(stream.Bytes()), "abc");
  EXPECT_EQ(io.InputBuffer().AsString(), "def");
}

TEST_F(IOHandler, ReadStringsReadsTheLineCountFirst) {
  io.AddInput(TIdBytes{0, 0, 0, 2});
  io.AddInput("one\r\ntwo\r\nthree\r\n");
  TStringList lines;
  io.ReadStrings(lines);
  EXPECT_EQ(lines.ToVector(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(IOHandler, CaptureStopsAtTheDotAndUndoesDotStuffing) {
  io.AddInput("a\r\n..b\r\n.\r\nafter\r\n");
  TStringList lines;
  int count = 0;
  io.Capture(lines, count);
  EXPECT_EQ(lines.ToVector(), (std::vector<std::string>{"a", ".b"}));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(io.ReadLn(), "after");
}

TEST_F(IOHandler, CaptureIntoAStreamWritesLinesWithCRLF) {
  io.AddInput("a\nb\n\nc\n");
  TMemoryStream stream;
  io.Capture(stream, "");  // an empty delimiter ends at the first empty line
  EXPECT_EQ(Text(stream.Bytes()), "a\r\nb\r\n");
}

TEST_F(IOHandler, CaptureEnforcesTheLineLimit) {
  io.SetMaxCapturedLines(2);
  io.AddInput("1\n2\n.\n1\n2\n3\n.\n");
  TStringList lines;
  io.Capture(lines);
  const auto e = Raised<EIdMaxCaptureLineExceeded>([&] { io.Capture(lines); });
  EXPECT_EQ(e.Message(), "Maximum number of line allowed exceeded");
}

TEST_F(IOHandler, CaptureFromASilentPeerRaisesInsteadOfCollectingEmptyLines) {
  io.SetReadTimeout(50);
  io.AddInput("a\n");
  io.AddSilence();
  TStringList lines;
  EXPECT_THROW(io.Capture(lines, ""), EIdReadTimeout);
  EXPECT_EQ(lines.ToVector(), (std::vector<std::string>{"a"}));
}

TEST_F(IOHandler, CaptureNeedsADestination) {
  int count = 0;
  EXPECT_THROW(io.CaptureLines(static_cast<TStrings*>(nullptr), count, nullptr, true, "."), EIdObjectTypeNotSupported);
}

TEST_F(IOHandler, AllDataReadsUntilThePeerCloses) {
  io.AddInput("one ");
  io.AddSilence();
  io.AddInput("two");
  io.AddClose();
  EXPECT_EQ(io.AllData(), "one two");
}

TEST_F(IOHandler, WaitForReturnsTheTextBeforeTheMark) {
  io.AddInput("login: ");
  io.AddInput("xpass");
  io.AddInput("word: rest");
  EXPECT_EQ(io.WaitFor(":"), "login");
  EXPECT_EQ(io.WaitFor("password:", false, true), " xpassword:");
  EXPECT_EQ(io.InputBuffer().AsString(), " xpassword: rest");  // nothing removed
}

TEST_F(IOHandler, DiscardDropsExactlyTheCount) {
  io.AddInput("abc");
  io.AddInput("defgh");
  io.Discard(5);
  EXPECT_EQ(io.ReadString(3), "fgh");
}

TEST_F(IOHandler, DiscardAllEndsQuietlyAtTheClose) {
  io.AddInput("abc");
  io.AddInput("def");
  io.AddClose();
  io.DiscardAll();
  EXPECT_TRUE(io.InputBufferIsEmpty());
  EXPECT_TRUE(io.ScriptDone());
}

// ---- failures while reading ------------------------------------------------------------

TEST_F(IOHandler, AResetWithNothingBufferedRaisesTheSocketError) {
  io.AddReadError(10054);
  const auto e = Raised<EIdSocketError>([&] { io.ReadLn(); });
  EXPECT_EQ(e.LastError(), 10054);
  EXPECT_EQ(e.Message().rfind("Socket Error # 10054\r\n", 0), 0u);
  EXPECT_FALSE(io.Opened());
}

TEST_F(IOHandler, BytesBeforeAResetAreStillDelivered) {
  io.AddInput("ab");
  io.AddReadError(10054);
  EXPECT_THROW(io.ReadLn(), EIdConnClosedGracefully);
  EXPECT_EQ(io.ReadString(2), "ab");
}

TEST_F(IOHandler, ASocketTimeOutIsATimeOut) {
  io.AddReadError(10060);
  EXPECT_EQ(io.ReadLn(), "");
  EXPECT_TRUE(io.ReadLnTimedout());
  EXPECT_TRUE(io.Opened());
}

TEST_F(IOHandler, AnUntoleratedReadErrorRaisesAtOnce) {
  io.AddReadError(10038);
  EXPECT_THROW(io.ReadLn(), EIdNotASocket);
}

// ---- writing -------------------------------------------------------------------------

TEST_F(IOHandler, WritingAStreamWithItsCountSendsFourBigEndianBytesFirst) {
  TMemoryStream stream(Bytes("hello"));
  stream.SetPosition(3);
  io.Write(stream, 0, true);  // 0: the whole stream, from its start
  EXPECT_EQ(io.Written(), (TIdBytes{0, 0, 0, 5, 'h', 'e', 'l', 'l', 'o'}));
}

TEST_F(IOHandler, WritingAStreamWithLargeStreamSendsEightBytesFirst) {
  io.SetLargeStream(true);
  TMemoryStream stream(Bytes("hello"));
  stream.SetPosition(3);
  io.Write(stream, -1, true);  // negative: from the position
  EXPECT_EQ(io.Written(), (TIdBytes{0, 0, 0, 0, 0, 0, 0, 2, 'l', 'o'}));
}

// A stream that claims a size but gives no bytes.
class TEmptyStream : public TStream {
public:
  explicit TEmptyStream(int64_t aSize) : FSize(aSize) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  int64_t Size() override { return FSize; }

private:
  int64_t FSize;
};

TEST_F(IOHandler, StreamsOf2GBNeedLargeStreamForTheirCount) {
  TEmptyStream stream(int64_t{1} << 31);
  const auto e = Raised<EIdIOHandlerRequiresLargeStream>([&] { io.Write(stream, 0, true); });
  EXPECT_EQ(e.Message(), "Set LargeStream to True to send streams greater than 2GB");
  EXPECT_TRUE(io.Written().empty());
}

TEST_F(IOHandler, AStreamThatGivesNothingRaises) {
  TEmptyStream stream(10);
  const auto e = Raised<EIdNoDataToRead>([&] { io.Write(stream); });
  EXPECT_EQ(e.Message(), "No data to read.");
}

TEST_F(IOHandler, ThresholdBufferingSendsThresholdSizedPieces) {
  io.WriteBufferOpen(10);
  io.Write(Bytes(std::string(25, 'x')));
  ASSERT_EQ(io.Sends().size(), 2u);
  EXPECT_EQ(io.Sends()[0].size(), 10u);
  EXPECT_EQ(io.Sends()[1].size(), 10u);
  io.WriteBufferClose();
  ASSERT_EQ(io.Sends().size(), 3u);
  EXPECT_EQ(io.Sends()[2].size(), 5u);
  EXPECT_FALSE(io.WriteBufferingActive());
}

TEST_F(IOHandler, CancellingTheWriteBufferSendsNothing) {
  io.WriteBufferOpen();
  io.Write("never sent");
  io.WriteBufferCancel();
  EXPECT_TRUE(io.Written().empty());
  EXPECT_FALSE(io.WriteBufferingActive());
}

TEST_F(IOHandler, StringListsGoOutInOneSendWithTheirCount) {
  TStringList lines(std::vector<std::string>{"a", "b"});
  io.Write(lines, true);
  ASSERT_EQ(io.Sends().size(), 1u);
  EXPECT_EQ(io.Written(), (TIdBytes{0, 0, 0, 2, 'a', '\r', '\n', 'b', '\r', '\n'}));
}

TEST_F(IOHandler, RFCLinesAreDotStuffedAndTerminated) {
  TStringList lines(std::vector<std::string>{".hidden", "plain"});
  io.WriteRFCStrings(lines);
  EXPECT_EQ(io.WrittenText(), "..hidden\r\nplain\r\n.\r\n");
}

TEST_F(IOHandler, IntegersAreWrittenInNetworkOrder) {
  io.Write(int16_t{-2});
  io.Write(uint32_t{258});
  io.Write(int64_t{7});
  io.Write(uint8_t{9});
  io.Write(uint16_t{0x0102}, false);
  const TIdBytes host = std::endian::native == std::endian::little ? TIdBytes{2, 1} : TIdBytes{1, 2};
  TIdBytes expected{0xFF, 0xFE, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 7, 9};
  expected.insert(expected.end(), host.begin(), host.end());
  EXPECT_EQ(io.Written(), expected);
}

TEST_F(IOHandler, PartialSendsAreRepeatedUntilAllIsSent) {
  io.SetSendLimit(3);
  int64_t reported = 0;
  io.OnWork = [&](TIdComponent&, TWorkMode aMode, int64_t aCount) {
    if (aMode == wmWrite) reported = aCount;
  };
  io.BeginWork(wmWrite);
  io.Write("0123456789");
  io.EndWork(wmWrite);
  EXPECT_EQ(io.Sends().size(), 4u);
  EXPECT_EQ(io.WrittenText(), "0123456789");
  EXPECT_EQ(reported, 10);
}

TEST_F(IOHandler, AFailedSendClosesAndRaises) {
  io.FailNextSend(10054);
  EXPECT_THROW(io.Write("x"), EIdSocketError);
  EXPECT_TRUE(io.ClosedGracefully());
  EXPECT_FALSE(io.Opened());
}

TEST_F(IOHandler, WriteFileSendsTheWholeFile) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "qtx_writefile_test.txt";
  std::ofstream(file) << "file body";
  EXPECT_EQ(io.WriteFile(file.string()), 9);
  EXPECT_EQ(io.WrittenText(), "file body");
  std::filesystem::remove(file);
  const auto e = Raised<EIdFileNotFound>([&] { io.WriteFile(file.string()); });
  EXPECT_EQ(e.Message(), "File \"" + file.string() + "\" not found");
}

// ---- encodings ---------------------------------------------------------------------

TEST_F(IOHandler, TextIsASCIIUnlessAnotherEncodingIsChosen) {
  io.Write("\xC3\xA9");
  io.Write("\xC3\xA9", IdTextEncoding_UTF8());
  EXPECT_EQ(io.Written(), (TIdBytes{'?', 0xC3, 0xA9}));
  io.AddInput("\xE9\n\xE9\n\xC3\xA9\n");
  EXPECT_EQ(io.ReadLn(), "\xEF\xBF\xBD");
  EXPECT_EQ(io.ReadLn(IdTextEncoding_8Bit()), "\xC3\xA9");
  io.SetDefStringEncoding(IdTextEncoding_UTF8());
  EXPECT_EQ(io.ReadLn(), "\xC3\xA9");
}

TEST_F(IOHandler, EachLineIsDecodedFromItsOwnBytesOnly) {
  io.AddInput("x\n\xE9y\n" + std::string(30, 'a') + "\xE9" + std::string(5, 'b') + "\n" + std::string(40, 'd') + "\n");
  EXPECT_EQ(io.ReadLn(), "x");  // the byte after the line end is not part of it
  EXPECT_EQ(io.ReadLn(), "\xEF\xBF\xBDy");
  EXPECT_EQ(io.ReadLn(), std::string(30, 'a') + "\xEF\xBF\xBD" + std::string(5, 'b'));
  EXPECT_EQ(io.ReadLn(), std::string(40, 'd'));
}

TEST_F(IOHandler, NoDefaultEncodingMeansTheProcessDefault) {
  io.SetDefStringEncoding(nullptr);
  EXPECT_EQ(io.DefStringEncoding(), IdTextEncoding_Default());
}

TEST_F(IOHandler, UTF16LinesDropTheirCarriageReturnToo) {
  const IIdTextEncoding utf16 = IdTextEncoding_UTF16LE();
  io.AddInput(utf16->GetBytes("ab\r\ncd\n"));
  EXPECT_EQ(io.ReadLn(utf16), "ab");
  EXPECT_EQ(io.ReadLn(utf16), "cd");
}

// ---- life cycle and properties -------------------------------------------------------

TEST_F(IOHandler, CloseKeepsTheInputAndOpenClearsIt) {
  io.AddInput("left\n");
  io.CheckForDataOnSource(0);
  io.Close();
  EXPECT_EQ(io.InputBuffer().AsString(), "left\n");
  EXPECT_FALSE(io.Connected());
  io.Open();
  EXPECT_TRUE(io.InputBufferIsEmpty());
  EXPECT_TRUE(io.Connected());
}

TEST_F(IOHandler, DestinationSetsHostAndPort) {
  io.SetDestination("example.org:8080");
  EXPECT_EQ(io.Host(), "example.org");
  EXPECT_EQ(io.Port(), 8080);
}

TEST_F(IOHandler, DefaultsOfANewHandler) {
  TScriptedIOHandler fresh;
  EXPECT_EQ(fresh.MaxLineLength(), 16384);
  EXPECT_EQ(fresh.MaxLineAction(), maException);
  EXPECT_EQ(fresh.ReadTimeout(), -1);
  EXPECT_EQ(fresh.RecvBufferSize(), 32768);
  EXPECT_EQ(fresh.SendBufferSize(), 32768);
  EXPECT_EQ(fresh.MaxCapturedLines(), -1);
  EXPECT_EQ(fresh.DefStringEncoding(), IdTextEncoding_ASCII());
  EXPECT_FALSE(fresh.Connected());
}

}  // namespace
}  // namespace qtx
