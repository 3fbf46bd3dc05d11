#pragma once
// TIdLogFile: a traffic log written to a file. The file is opened for
// appending (and created, readable by its owner only: it holds whatever the
// connection carries, credentials included) when the log becomes active,
// and closed when it becomes inactive. Records are lines:
//   "Stat Connected." / "Stat Disconnected."
//   "Sent <timestamp>: <the buffer's bytes>"  /  "Recv <timestamp>: ..."
// each ended by CR LF.

#include <string>

#include "transport/qtxIdLogBase.h"

namespace qtx {

class TIdLogFile : public TIdLogBase {
public:
  explicit TIdLogFile(TComponent* aOwner = nullptr) : TIdLogBase(aOwner) {}
  ~TIdLogFile() override;

  std::string ClassName() const override { return "TIdLogFile"; }

  const std::string& FileName() const noexcept { return FFileName; }
  // EIdException "Unable to set Filename while log file is open." while open.
  void SetFileName(const std::string& aValue);

protected:
  // EFOpenError naming the file when it cannot be opened.
  void Open() override;
  void Close() override;
  void LogStatus(const std::string& aText) override;
  void LogReceivedData(const std::string& aTimestamp, const TIdBytes& aData) override;
  void LogSentData(const std::string& aTimestamp, const TIdBytes& aData) override;
  // Appends one whole record to the file; nothing while it is closed.
  virtual void WriteToFile(const TIdBytes& aRecord);

private:
  void LogData(std::string_view aPrefix, const std::string& aTimestamp, const TIdBytes& aData);

  std::string FFileName;
  int FHandle = -1;
};

}  // namespace qtx
