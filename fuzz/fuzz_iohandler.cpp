// The IO handler's read operations over any peer, from a scripted handler:
// the peer's bytes arrive in pieces, then the peer closes. The input starts
// with the piece size, the number of operations and two bytes per operation
// (which one, and its argument); the rest is what the peer sends. Reads
// either succeed or fail with the library's named exceptions (the peer
// closing first above all). Against a model of the byte stream: each line,
// byte run, string and number read is what the peer sent at that point,
// until an operation the model does not follow (line splitting, dot-stuffed
// capture, counted streams and lists, characters, trimmed lines).

#include <optional>

#include "platform/qtxException.h"
#include "qtxFuzzHelpers.h"
#include "support/qtxScriptedIOHandler.h"

namespace {

using namespace qtx;

const std::string kTerminators[] = {"\r\n", "X", "--", std::string(1, '\0'), "\n\n"};

// What the peer sent, and how far the reader should have got.
class TPeerModel {
public:
  explicit TPeerModel(std::string_view aSent) : FSent(aSent) {}

  bool Valid() const { return FValid; }
  void Invalidate() { FValid = false; }

  // The next aCount bytes, or nullopt when the peer did not send that many.
  std::optional<std::string_view> Take(size_t aCount) {
    if (FSent.size() - FPos < aCount) return std::nullopt;
    const std::string_view taken = FSent.substr(FPos, aCount);
    FPos += aCount;
    return taken;
  }
  // The text before the terminator (which is consumed too), or nullopt.
  std::optional<std::string_view> TakeUntil(std::string_view aTerminator) {
    const size_t end = FSent.find(aTerminator, FPos);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = FSent.substr(FPos, end - FPos);
    FPos = end + aTerminator.size();
    return line;
  }

private:
  std::string_view FSent;
  size_t FPos = 0;
  bool FValid = true;
};

std::string Raw(std::string_view aBytes) {
  return RawToText({reinterpret_cast<const uint8_t*>(aBytes.data()), aBytes.size()});
}

uint64_t BigEndian(std::string_view aBytes) {
  uint64_t value = 0;
  for (const char c : aBytes) value = value << 8 | static_cast<uint8_t>(c);
  return value;
}

// Checks a read against the model, as long as the model follows the reads.
template <class T>
void Expect(const TPeerModel& aModel, const T& aRead, const std::optional<T>& aExpected) {
  if (aModel.Valid()) QTX_FUZZ_CHECK(aRead == *aExpected);
}

template <class T, class F>
std::optional<T> Map(const std::optional<std::string_view>& aBytes, F aConvert) {
  if (!aBytes) return std::nullopt;
  return aConvert(*aBytes);
}

// Runs one operation and checks what it read. When the model says the peer
// closes before the operation completes, or does not follow the operation,
// it stops checking from there on.
void Step(test::TScriptedIOHandler& aIO, TPeerModel& aModel, uint8_t aOperation, uint8_t aArgument) {
  const IIdTextEncoding raw = IdTextEncoding_8Bit();
  const auto checked = [&](auto aExpected, auto aRead) {
    if (!aExpected) aModel.Invalidate();
    Expect(aModel, aRead(), aExpected);
  };
  const auto number = [](std::string_view aBytes) { return BigEndian(aBytes); };
  const int count = aArgument % 64;
  switch (aOperation % 16) {
    case 0:  // a line ended by LF, a CR before it dropped
      checked(Map<std::string>(aModel.TakeUntil("\n"),
                               [](std::string_view aLine) {
                                 return Raw(aLine.ends_with('\r') ? aLine.substr(0, aLine.size() - 1) : aLine);
                               }),
              [&] { return aIO.ReadLn(raw); });
      return;
    case 1: {
      const std::string terminator = kTerminators[aArgument % std::size(kTerminators)];
      checked(Map<std::string>(aModel.TakeUntil(terminator), Raw), [&] { return aIO.ReadLn(terminator, raw); });
      return;
    }
    case 2:
      checked(Map<TIdBytes>(aModel.Take(count), fuzz::Bytes), [&] {
        TIdBytes read;
        aIO.ReadBytes(read, count, false);
        return read;
      });
      return;
    case 3:
      checked(Map<std::string>(aModel.Take(count), Raw), [&] { return aIO.ReadString(count, raw); });
      return;
    case 4:
      checked(Map<uint64_t>(aModel.Take(1), number), [&] { return uint64_t{aIO.ReadByte()}; });
      return;
    case 5:
      checked(Map<uint64_t>(aModel.Take(2), number), [&] { return uint64_t{aIO.ReadUInt16()}; });
      return;
    case 6:
      checked(Map<uint64_t>(aModel.Take(4), number), [&] { return uint64_t{aIO.ReadUInt32()}; });
      return;
    case 7:
      checked(Map<uint64_t>(aModel.Take(8), number), [&] { return aIO.ReadUInt64(); });
      return;
    case 8:
      checked(Map<bool>(aModel.Take(aArgument), [](std::string_view) { return true; }), [&] {
        aIO.Discard(aArgument);
        return true;
      });
      return;
    case 9: {
      const std::string terminator = aArgument & 1 ? "\r\n" : "X";
      checked(Map<std::string>(aModel.TakeUntil(terminator), Raw),
              [&] { return aIO.WaitFor(terminator, true, false, raw); });
      return;
    }
    default:
      break;
  }

  // Operations the model does not follow.
  aModel.Invalidate();
  switch (aOperation % 16) {
    case 10: {
      bool wasSplit = false;
      (void)aIO.ReadLnSplit(wasSplit, "\n", IdTimeoutDefault, 1 + aArgument % 32, raw);
      break;
    }
    case 11: {
      TStringList lines;
      aIO.Capture(lines, aArgument & 1 ? "." : "", (aArgument & 2) != 0, raw);
      break;
    }
    case 12: {
      TMemoryStream stream;
      aIO.ReadStream(&stream, aArgument & 1 ? -1 : aArgument, false);
      break;
    }
    case 13: {
      TStringList lines;
      aIO.ReadStrings(lines, aArgument & 1 ? -1 : aArgument % 8, raw);
      break;
    }
    case 14:
      (void)aIO.ReadChar(aArgument & 1 ? IdTextEncoding_UTF8() : IdTextEncoding_UTF16LE());
      break;
    default: {
      bool messageEnd = false;
      if (aArgument & 1) (void)aIO.ReadLnWait(1 + aArgument % 4, raw);
      else (void)aIO.ReadLnRFC(messageEnd, raw);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 2) return 0;
  const size_t pieceSize = 1 + aData[0] % 64;
  const size_t operations = std::min<size_t>(aData[1] % 32, (aSize - 2) / 2);
  const uint8_t* program = aData + 2;
  const std::string_view sent = fuzz::Chars(program + 2 * operations, aSize - 2 - 2 * operations);

  test::TScriptedIOHandler io;
  io.Open();
  for (size_t pos = 0; pos < sent.size(); pos += pieceSize) io.AddInput(sent.substr(pos, pieceSize));
  io.AddClose();

  TPeerModel model(sent);
  for (size_t i = 0; i < operations; ++i) {
    try {
      Step(io, model, program[2 * i], program[2 * i + 1]);
    } catch (const Exception&) {
      // Only the peer closing before the data the model expects (or an
      // operation the model does not follow) may end the reading.
      QTX_FUZZ_CHECK(!model.Valid());
      return 0;
    }
  }
  return 0;
}
