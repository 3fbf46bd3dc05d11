#include "core/qtxIdCoderQuotedPrintable.h"

#include <vector>

namespace qtx {

namespace {
constexpr size_t kSoftBreakColumn = 70;
constexpr size_t kFlushSize = 64 * 1024;
const char kHexDigits[] = "0123456789ABCDEF";

// Writes encoded lines, breaking them softly before they grow past the column.
class TQuotedPrintableWriter {
public:
  explicit TQuotedPrintableWriter(TStream& aDest) : FDest(aDest) {}

  void Literal(uint8_t aByte) {
    BreakIfFull();
    if (aByte == '.' && FColumn == 0) {
      Escaped(aByte);  // a lone "." line means the end of data to some mail agents
      return;
    }
    FOut.push_back(static_cast<char>(aByte));
    ++FColumn;
  }

  void Escaped(uint8_t aByte) {
    BreakIfFull();
    FOut.push_back('=');
    FOut.push_back(kHexDigits[aByte >> 4]);
    FOut.push_back(kHexDigits[aByte & 0x0F]);
    FColumn += 3;
  }

  void LineBreak() {
    FOut += "\r\n";
    FColumn = 0;
    if (FOut.size() >= kFlushSize) Flush();
  }

  void Flush() {
    FDest.WriteBuffer(FOut.data(), static_cast<int64_t>(FOut.size()));
    FOut.clear();
  }

private:
  void BreakIfFull() {
    if (FColumn < kSoftBreakColumn) return;
    FOut += "=\r\n";
    FColumn = 0;
  }

  TStream& FDest;
  std::string FOut;
  size_t FColumn = 0;
};

bool IsPrintableLiteral(uint8_t aByte) { return aByte >= '!' && aByte <= '~' && aByte != '='; }
bool IsBlank(uint8_t aByte) { return aByte == ' ' || aByte == '\t'; }

// Feeds input bytes to the writer. A blank is held back until it is known
// whether it ends its line; a CR until it is known whether an LF follows.
class TQuotedPrintableEncoder {
public:
  explicit TQuotedPrintableEncoder(TStream& aDest) : FWriter(aDest) {}

  void Add(uint8_t aByte) {
    if (FPendingCR) {
      FPendingCR = false;
      if (aByte == '\n') {
        EndLine();
        return;
      }
      InLine('\r');
    }
    if (aByte == '\r') {
      FPendingCR = true;
      return;
    }
    InLine(aByte);
  }

  void Finish() {
    if (FPendingCR) InLine('\r');
    EndLine();
    FWriter.Flush();
  }

private:
  void InLine(uint8_t aByte) {
    if (FHasBlank) {
      FWriter.Literal(FBlank);
      FHasBlank = false;
    }
    if (IsBlank(aByte)) {
      FBlank = aByte;
      FHasBlank = true;
    } else if (IsPrintableLiteral(aByte)) {
      FWriter.Literal(aByte);
    } else {
      FWriter.Escaped(aByte);
    }
  }

  void EndLine() {
    if (FHasBlank) FWriter.Escaped(FBlank);  // a trailing blank would be lost in transport
    FHasBlank = false;
    FWriter.LineBreak();
  }

  TQuotedPrintableWriter FWriter;
  bool FPendingCR = false;
  bool FHasBlank = false;
  uint8_t FBlank = 0;
};
}  // namespace

void TIdEncoderQuotedPrintable::EncodeStream(TStream& aSource, TStream& aDest) {
  TQuotedPrintableEncoder encoder(aDest);
  std::vector<uint8_t> block(kFlushSize);
  int64_t n;
  while ((n = aSource.Read(block.data(), static_cast<int64_t>(block.size()))) > 0) {
    for (int64_t i = 0; i < n; ++i) encoder.Add(block[static_cast<size_t>(i)]);
  }
  encoder.Finish();
}

std::string TIdEncoderQuotedPrintable::EncodeBytes(const TIdBytes& aBytes) {
  TMemoryStream source(aBytes);
  TMemoryStream dest;
  EncodeStream(source, dest);
  return std::string(dest.Bytes().begin(), dest.Bytes().end());
}

}  // namespace qtx
