#include "transport/qtxIdLogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "core/qtxIdException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr std::string_view RSLogFileAlreadyOpen = "Unable to set Filename while log file is open.";
constexpr std::string_view RSLogFileOpenError = "Cannot open log file \"%s\". %s";
constexpr std::string_view RSLogStat = "Stat ";
constexpr std::string_view RSLogSent = "Sent ";
constexpr std::string_view RSLogRecv = "Recv ";
constexpr std::string_view kEOL = "\r\n";

void AppendText(TIdBytes& aBytes, std::string_view aText) { aBytes.insert(aBytes.end(), aText.begin(), aText.end()); }
}  // namespace

TIdLogFile::~TIdLogFile() { Close(); }

void TIdLogFile::SetFileName(const std::string& aValue) {
  if (FHandle >= 0) throw EIdException(std::string(RSLogFileAlreadyOpen));
  FFileName = aValue;
}

void TIdLogFile::Open() {
  if (FHandle >= 0) return;
  FHandle = ::open(FFileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (FHandle < 0) {
    const int error = errno;
    throw EFOpenError(Format(RSLogFileOpenError, {FFileName, SysErrorMessage(error)}));
  }
}

void TIdLogFile::Close() {
  if (FHandle < 0) return;
  ::close(FHandle);
  FHandle = -1;
}

void TIdLogFile::WriteToFile(const TIdBytes& aRecord) {
  if (FHandle < 0) return;
  size_t written = 0;
  while (written < aRecord.size()) {
    const ssize_t n = ::write(FHandle, aRecord.data() + written, aRecord.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError("write " + FFileName);
    }
    written += static_cast<size_t>(n);
  }
}

void TIdLogFile::LogStatus(const std::string& aText) {
  TIdBytes record;
  AppendText(record, RSLogStat);
  AppendText(record, aText);
  AppendText(record, kEOL);
  WriteToFile(record);
}

void TIdLogFile::LogData(std::string_view aPrefix, const std::string& aTimestamp, const TIdBytes& aData) {
  TIdBytes record;
  record.reserve(aPrefix.size() + aTimestamp.size() + aData.size() + 4);
  // "Sent 2023-03-14 10:15:30: ..." with a timestamp, "Sent: ..." without.
  AppendText(record, aTimestamp.empty() ? aPrefix.substr(0, aPrefix.size() - 1) : aPrefix);
  AppendText(record, aTimestamp);
  AppendText(record, ": ");
  record.insert(record.end(), aData.begin(), aData.end());
  AppendText(record, kEOL);
  WriteToFile(record);
}

void TIdLogFile::LogReceivedData(const std::string& aTimestamp, const TIdBytes& aData) {
  LogData(RSLogRecv, aTimestamp, aData);
}

void TIdLogFile::LogSentData(const std::string& aTimestamp, const TIdBytes& aData) {
  LogData(RSLogSent, aTimestamp, aData);
}

}  // namespace qtx
