#include "transport/qtxIdLogBase.h"

#include <string_view>

#include "platform/qtxDateTime.h"

namespace qtx {

namespace {
constexpr std::string_view RSLogConnected = "Connected.";
constexpr std::string_view RSLogDisconnected = "Disconnected.";
constexpr std::string_view RSLogEOL = "<EOL>";
constexpr std::string_view RSLogCR = "<CR>";
constexpr std::string_view RSLogLF = "<LF>";

void AppendDigits(std::string& aText, int aValue, int aWidth) {
  std::string digits = std::to_string(aValue);
  if (static_cast<int>(digits.size()) < aWidth) aText.append(static_cast<size_t>(aWidth) - digits.size(), '0');
  aText += digits;
}

void AppendText(TIdBytes& aBytes, std::string_view aText) { aBytes.insert(aBytes.end(), aText.begin(), aText.end()); }
}  // namespace

std::string LocalDateTimeText(TDateTime aValue) {
  int year, month, day, hour, minute, second, msec;
  DecodeDate(aValue, year, month, day);
  DecodeTime(aValue, hour, minute, second, msec);
  std::string text;
  AppendDigits(text, year, 4);
  text += '-';
  AppendDigits(text, month, 2);
  text += '-';
  AppendDigits(text, day, 2);
  text += ' ';
  AppendDigits(text, hour, 2);
  text += ':';
  AppendDigits(text, minute, 2);
  text += ':';
  AppendDigits(text, second, 2);
  return text;
}

void TIdLogBase::SetActive(bool aValue) {
  if (aValue == FActive) return;
  if (aValue) {
    Open();
  } else {
    Close();
  }
  FActive = aValue;
}

void TIdLogBase::Connect(TComponent* aConnection) {
  TIdConnectionIntercept::Connect(aConnection);
  if (FActive) LogStatus(std::string(RSLogConnected));
}

void TIdLogBase::Disconnect() {
  if (FActive) LogStatus(std::string(RSLogDisconnected));
  TIdConnectionIntercept::Disconnect();
}

void TIdLogBase::Receive(TIdBytes& aBuffer) {
  TIdConnectionIntercept::Receive(aBuffer);
  if (FActive) LogReceivedData(Timestamp(), Prepared(aBuffer));
}

void TIdLogBase::Send(TIdBytes& aBuffer) {
  if (FActive) LogSentData(Timestamp(), Prepared(aBuffer));
  TIdConnectionIntercept::Send(aBuffer);
}

std::string TIdLogBase::Timestamp() const { return FLogTime ? LocalDateTimeText(Now()) : std::string(); }

TIdBytes TIdLogBase::Prepared(const TIdBytes& aBuffer) const {
  if (!FReplaceCRLF) return aBuffer;
  TIdBytes text;
  text.reserve(aBuffer.size());
  for (size_t i = 0; i < aBuffer.size(); ++i) {
    if (aBuffer[i] == '\r' && i + 1 < aBuffer.size() && aBuffer[i + 1] == '\n') {
      AppendText(text, RSLogEOL);
      ++i;
    } else if (aBuffer[i] == '\r') {
      AppendText(text, RSLogCR);
    } else if (aBuffer[i] == '\n') {
      AppendText(text, RSLogLF);
    } else {
      text.push_back(aBuffer[i]);
    }
  }
  return text;
}

}  // namespace qtx
