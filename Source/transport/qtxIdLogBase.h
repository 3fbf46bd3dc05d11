#pragma once
// TIdLogBase: a connection intercept that records, while active, the
// connection's opening and closing and every buffer sent and received.
// Descendants decide where the records go.

#include <string>

#include "transport/qtxIdIntercept.h"

namespace qtx {

class TIdLogBase : public TIdConnectionIntercept {
public:
  explicit TIdLogBase(TComponent* aOwner = nullptr) : TIdConnectionIntercept(aOwner) {}

  std::string ClassName() const override { return "TIdLogBase"; }

  // Logs "Connected." once the chain has been told.
  void Connect(TComponent* aConnection) override;
  // Logs "Disconnected." before the chain is told.
  void Disconnect() override;
  // The chain processes the bytes first; the log records what it left.
  void Receive(TIdBytes& aBuffer) override;
  // The log records the bytes as the caller sent them, then the chain runs.
  void Send(TIdBytes& aBuffer) override;

  // Switching on opens the log (Open), switching off closes it (Close). A
  // failing Open leaves the log inactive.
  bool Active() const noexcept { return FActive; }
  void SetActive(bool aValue);
  // Whether data records carry the local date and time (true by default).
  bool LogTime() const noexcept { return FLogTime; }
  void SetLogTime(bool aValue) noexcept { FLogTime = aValue; }
  // Whether line ends in the data are written as "<EOL>" (CR LF), "<CR>"
  // and "<LF>" (true by default) or left as they are.
  bool ReplaceCRLF() const noexcept { return FReplaceCRLF; }
  void SetReplaceCRLF(bool aValue) noexcept { FReplaceCRLF = aValue; }

protected:
  virtual void Open() {}
  virtual void Close() {}
  virtual void LogStatus(const std::string& aText) = 0;
  // aTimestamp is empty without LogTime; aData is the buffer as given, or
  // with its line ends replaced.
  virtual void LogReceivedData(const std::string& aTimestamp, const TIdBytes& aData) = 0;
  virtual void LogSentData(const std::string& aTimestamp, const TIdBytes& aData) = 0;

private:
  std::string Timestamp() const;
  TIdBytes Prepared(const TIdBytes& aBuffer) const;

  bool FActive = false;
  bool FLogTime = true;
  bool FReplaceCRLF = true;
};

// The local date and time as "yyyy-mm-dd hh:nn:ss", the platform's short
// date and long time.
std::string LocalDateTimeText(TDateTime aValue);

}  // namespace qtx
