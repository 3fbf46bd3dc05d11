#include "platform/qtxIniFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/qtxSysUtils.h"
#include "platform/qtxUnicode.h"

namespace qtx {

namespace {
const char* const SUnableToRead = "Unable to read %s: %s";
const char* const SUnableToWrite = "Unable to write to %s: %s";
const char* const SInvalidSection = "A settings file section name cannot hold line breaks or NUL";
const char* const SInvalidIdent = "Invalid settings file key name '%s'";
const char* const SInvalidValue = "A settings file value cannot hold line breaks or NUL";

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

// The blanks the profile functions remove around names and values. CR counts,
// so a CR before the LF of a line end never reaches a value.
bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view TrimBlanks(std::string_view aText) noexcept {
  while (!aText.empty() && IsBlank(aText.front())) aText.remove_prefix(1);
  while (!aText.empty() && IsBlank(aText.back())) aText.remove_suffix(1);
  return aText;
}

bool SameName(std::string_view aInFile, std::string_view aWanted) noexcept {
  return UnicodeSameText(TrimBlanks(aInFile), TrimBlanks(aWanted));
}

bool HoldsLineBreakOrNul(std::string_view aText) noexcept {
  return aText.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The value the profile functions return for the text after "=".
std::string_view UnquotedValue(std::string_view aRaw) noexcept {
  std::string_view value = TrimBlanks(aRaw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

// A value written so that UnquotedValue gives it back unchanged.
std::string QuotedIfNeeded(std::string_view aValue) {
  if (UnquotedValue(aValue) == aValue) return std::string(aValue);
  std::string quoted = "\"";
  quoted += aValue;
  quoted += '"';
  return quoted;
}

enum class TLineKind { lkSection, lkKey, lkOther };

// One line of the file: [Start, End) is its text without the line end (LF or
// CR LF); Next is where the following line starts.
struct TLine {
  size_t Start = 0;
  size_t End = 0;
  size_t Next = 0;
  TLineKind Kind = TLineKind::lkOther;
  std::string_view Name;  // section or key name, as in the file
  std::string_view Value; // the raw text after "="
  size_t ValueStart = 0;  // file offset of that text after its leading blanks
};

class TLineReader {
public:
  explicit TLineReader(const TBytes& aBytes)
      : FText(reinterpret_cast<const char*>(aBytes.data()), aBytes.size()) {
    if (FText.starts_with(kByteOrderMark)) FPos = kByteOrderMark.size();
  }

  bool Next(TLine& aLine) {
    if (FPos >= FText.size()) return false;
    aLine = TLine();
    aLine.Start = FPos;
    const size_t lf = FText.find('\n', FPos);
    aLine.Next = lf == std::string_view::npos ? FText.size() : lf + 1;
    aLine.End = lf == std::string_view::npos ? FText.size() : lf;
    if (lf != std::string_view::npos) {
      if (FLineEnd.empty()) FLineEnd = (lf > 0 && FText[lf - 1] == '\r') ? "\r\n" : "\n";
      if (aLine.End > aLine.Start && FText[aLine.End - 1] == '\r') --aLine.End;
    }
    FPos = aLine.Next;
    Classify(aLine);
    return true;
  }

  // The file's own line end, LF when it has none yet.
  std::string_view LineEnd() const noexcept { return FLineEnd.empty() ? "\n" : FLineEnd; }

  static bool IsBlankLine(std::string_view aText) noexcept { return TrimBlanks(aText).empty(); }
  std::string_view Text(const TLine& aLine) const noexcept { return FText.substr(aLine.Start, aLine.End - aLine.Start); }

private:
  void Classify(TLine& aLine) const {
    const std::string_view text = Text(aLine);
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.starts_with('[')) {
      const size_t close = trimmed.rfind(']');
      if (close != std::string_view::npos) {
        aLine.Kind = TLineKind::lkSection;
        aLine.Name = trimmed.substr(1, close - 1);
        return;
      }
    }
    if (trimmed.starts_with(';')) return;
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return;
    aLine.Kind = TLineKind::lkKey;
    aLine.Name = text.substr(0, equals);
    aLine.Value = text.substr(equals + 1);
    size_t valueStart = equals + 1;
    while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
    aLine.ValueStart = aLine.Start + valueStart;
  }

  std::string_view FText;
  size_t FPos = 0;
  std::string_view FLineEnd;
};

void AppendText(TBytes& aBytes, std::string_view aText) { aBytes.insert(aBytes.end(), aText.begin(), aText.end()); }

// Reads the whole file into aBytes; returns 0 or the errno of the failure.
int ReadWholeFile(const std::string& aFileName, TBytes& aBytes) {
  const int fd = open(aFileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  aBytes.clear();
  uint8_t buffer[16384];
  int error = 0;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    aBytes.insert(aBytes.end(), buffer, buffer + got);
  }
  close(fd);
  return error;
}

[[noreturn]] void RaiseIniFileError(const char* aFormat, const std::string& aFileName, int aErrorCode) {
  throw EIniFileException(Format(aFormat, {aFileName, SysErrorMessage(aErrorCode)}));
}

// Writes aBytes to a new file in aFileName's folder with aMode and renames it
// over aFileName, so readers see the old file or the new one, never a part.
void ReplaceFile(const std::string& aFileName, const TBytes& aBytes, mode_t aMode) {
  struct TTempFile {
    std::string Name;
    int Fd = -1;
    ~TTempFile() {
      if (Fd >= 0) close(Fd);
      if (!Name.empty()) unlink(Name.c_str());
    }
  } temp;
  std::string name = aFileName + ".XXXXXX";
  temp.Fd = mkostemp(name.data(), O_CLOEXEC);  // created with mode 0600
  const auto fail = [&] { RaiseIniFileError(SUnableToWrite, aFileName, errno); };
  if (temp.Fd < 0) fail();
  temp.Name = name;
  for (size_t done = 0; done < aBytes.size();) {
    const ssize_t put = write(temp.Fd, aBytes.data() + done, aBytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) fail();
    done += static_cast<size_t>(put);
  }
  if (fchmod(temp.Fd, aMode) != 0 || fsync(temp.Fd) != 0) fail();
  const int fd = temp.Fd;
  temp.Fd = -1;
  if (close(fd) != 0) fail();
  if (rename(temp.Name.c_str(), aFileName.c_str()) != 0) fail();
  temp.Name.clear();
  // The rename itself reaches the disk with the folder; failing that is no
  // reason to report the write as failed.
  const std::filesystem::path folder = std::filesystem::path(aFileName).parent_path();
  const int folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
}

// The file a symbolic link points to, so that a write replaces the file and
// keeps the link.
std::string FollowLinks(const std::string& aFileName) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::canonical(aFileName, error);
  return error ? aFileName : target.string();
}

}  // namespace

std::optional<std::string> TIniContent::Value(std::string_view aSection, std::string_view aIdent) const {
  TLineReader reader(FBytes);
  bool inSection = false;
  for (TLine line; reader.Next(line);) {
    if (line.Kind == TLineKind::lkSection) {
      if (inSection) break;
      inSection = SameName(line.Name, aSection);
    } else if (inSection && line.Kind == TLineKind::lkKey && SameName(line.Name, aIdent)) {
      return SanitizeUtf8(UnquotedValue(line.Value));
    }
  }
  return std::nullopt;
}

void TIniContent::SetValue(std::string_view aSection, std::string_view aIdent, std::string_view aValue) {
  const std::string_view section = TrimBlanks(aSection);
  const std::string_view ident = TrimBlanks(aIdent);
  if (HoldsLineBreakOrNul(section)) throw EArgumentException(SInvalidSection);
  if (ident.empty() || HoldsLineBreakOrNul(ident) || ident.find('=') != std::string_view::npos ||
      ident.front() == ';' || ident.front() == '[')
    throw EArgumentException(Format(SInvalidIdent, {SanitizeUtf8(ident)}));
  if (HoldsLineBreakOrNul(aValue)) throw EArgumentException(SInvalidValue);
  const std::string value = QuotedIfNeeded(aValue);

  TLineReader reader(FBytes);
  bool inSection = false;
  std::optional<size_t> insertAt;  // after the section's last non-blank line
  bool lastLineBlank = true;
  for (TLine line; reader.Next(line);) {
    lastLineBlank = TLineReader::IsBlankLine(reader.Text(line));
    if (line.Kind == TLineKind::lkSection) {
      if (inSection) break;
      inSection = SameName(line.Name, section);
      if (inSection) insertAt = line.End;
    } else if (inSection) {
      if (line.Kind == TLineKind::lkKey && SameName(line.Name, ident)) {
        // The line keeps its layout up to the value.
        TBytes bytes(FBytes.begin(), FBytes.begin() + static_cast<ptrdiff_t>(line.ValueStart));
        AppendText(bytes, value);
        bytes.insert(bytes.end(), FBytes.begin() + static_cast<ptrdiff_t>(line.End), FBytes.end());
        FBytes = std::move(bytes);
        return;
      }
      if (!lastLineBlank) insertAt = line.End;
    }
  }

  std::string added;
  const std::string_view lineEnd = reader.LineEnd();
  if (insertAt) {
    // Before the line end of the line it follows, so a last line without a
    // line end needs none added.
    added.append(lineEnd).append(ident).append("=").append(value);
    FBytes.insert(FBytes.begin() + static_cast<ptrdiff_t>(*insertAt), added.begin(), added.end());
    return;
  }
  // A new section goes at the end, after a blank line.
  if (!FBytes.empty() && FBytes.back() != '\n') added.append(lineEnd);
  if (!FBytes.empty() && !lastLineBlank) added.append(lineEnd);
  added.append("[").append(section).append("]").append(lineEnd);
  added.append(ident).append("=").append(value).append(lineEnd);
  AppendText(FBytes, added);
}

std::string TIniFile::ReadString(std::string_view aSection, std::string_view aIdent, std::string_view aDefault) const {
  TBytes bytes;
  if (ReadWholeFile(FFileName, bytes) != 0) return std::string(aDefault);
  return TIniContent(std::move(bytes)).Value(aSection, aIdent).value_or(std::string(aDefault));
}

void TIniFile::WriteString(std::string_view aSection, std::string_view aIdent, std::string_view aValue) {
  const std::string fileName = FollowLinks(FFileName);
  TBytes bytes;
  const int readError = ReadWholeFile(fileName, bytes);
  const bool exists = readError != ENOENT;
  // An existing file that cannot be read is never replaced by one that lacks its contents.
  if (exists && readError != 0) RaiseIniFileError(SUnableToRead, FFileName, readError);
  TIniContent content(std::move(bytes));
  content.SetValue(aSection, aIdent, aValue);

  mode_t mode = kOwnerOnly;
  if (exists) {
    struct stat info {};
    // A read-only file stays unchanged, as its owner meant.
    if (stat(fileName.c_str(), &info) != 0 || access(fileName.c_str(), W_OK) != 0)
      RaiseIniFileError(SUnableToWrite, FFileName, errno);
    if (!FOwnerOnly) mode = info.st_mode & 07777;
  }
  ReplaceFile(fileName, content.Bytes(), mode);
}

}  // namespace qtx
