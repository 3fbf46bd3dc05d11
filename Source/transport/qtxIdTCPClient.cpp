#include "transport/qtxIdTCPClient.h"

namespace qtx {

namespace {
const char* const RSHostRequired = "A Host is required";
const char* const RSPortRequired = "A Port is required";
}  // namespace

EIdHostRequired::EIdHostRequired() : EIdException(RSHostRequired) {}
EIdPortRequired::EIdPortRequired() : EIdException(RSPortRequired) {}

TIdTCPClientCustom::TIdTCPClientCustom(TComponent* aOwner) : TIdTCPConnection(aOwner) {}

void TIdTCPClientCustom::Connect() {
  if (Connected()) throw EIdAlreadyConnected();
  if (FHost.empty()) throw EIdHostRequired();
  if (FPort == 0) throw EIdPortRequired();
  if (!IOHandler()) {
    CreateIOHandler();
    IOHandler()->OnStatus = OnStatus;
  }
  try {
    PassSettingsToIOHandler();
    IOHandler()->Open();
    if (Intercept()) Intercept()->Connect(this);
    DoStatus(hsConnected, FHost);
    DoOnConnected();
  } catch (...) {
    try {
      IOHandler()->Close();
    } catch (...) {
    }
    // What a failed connect left unread (a proxy's refusal, say) belongs to
    // no connection; kept, it would make the client look connected.
    IOHandler()->InputBuffer().Clear();
    ReleaseManagedIOHandler();
    throw;
  }
}

void TIdTCPClientCustom::Connect(const std::string& aHost) {
  SetHost(aHost);
  Connect();
}

void TIdTCPClientCustom::Connect(const std::string& aHost, int aPort) {
  SetHost(aHost);
  SetPort(aPort);
  Connect();
}

std::string TIdTCPClientCustom::ConnectAndGetAll() {
  Connect();
  return IOHandler()->AllData();
}

void TIdTCPClientCustom::PassSettingsToIOHandler() {
  TIdIOHandler& handler = *IOHandler();
  if (!FDestination.empty()) handler.SetDestination(FDestination);
  handler.SetPort(FPort);
  handler.SetHost(FHost);
  handler.SetConnectTimeout(FConnectTimeout);
  handler.SetReadTimeout(FReadTimeout);
  if (TIdIOHandlerSocket* socket = Socket()) {
    socket->SetBoundIP(FBoundIP);
    socket->SetBoundPort(FBoundPort);
    socket->SetBoundPortMin(FBoundPortMin);
    socket->SetBoundPortMax(FBoundPortMax);
    socket->SetIPVersion(FIPVersion);
    socket->SetReuseSocket(FReuseSocket);
    socket->SetUseNagle(FUseNagle);
    socket->SetLingerState(FLingerState);
    socket->OnBeforeBind = OnBeforeBind;
    socket->OnAfterBind = OnAfterBind;
    socket->OnSocketAllocated = OnSocketAllocated;
  }
}

void TIdTCPClientCustom::DoOnConnected() {
  if (OnConnected) OnConnected(*this);
}

void TIdTCPClientCustom::SetBoundIP(const std::string& aValue) {
  FBoundIP = aValue;
  if (Socket()) Socket()->SetBoundIP(aValue);
}

void TIdTCPClientCustom::SetBoundPort(TIdPort aValue) {
  FBoundPort = aValue;
  if (Socket()) Socket()->SetBoundPort(aValue);
}

void TIdTCPClientCustom::SetBoundPortMin(TIdPort aValue) {
  FBoundPortMin = aValue;
  if (Socket()) Socket()->SetBoundPortMin(aValue);
}

void TIdTCPClientCustom::SetBoundPortMax(TIdPort aValue) {
  FBoundPortMax = aValue;
  if (Socket()) Socket()->SetBoundPortMax(aValue);
}

void TIdTCPClientCustom::SetConnectTimeout(int aValue) {
  FConnectTimeout = aValue;
  if (IOHandler()) IOHandler()->SetConnectTimeout(aValue);
}

void TIdTCPClientCustom::SetReadTimeout(int aValue) {
  FReadTimeout = aValue;
  if (IOHandler()) IOHandler()->SetReadTimeout(aValue);
}

void TIdTCPClientCustom::SetReuseSocket(TIdReuseSocket aValue) {
  FReuseSocket = aValue;
  if (Socket()) Socket()->SetReuseSocket(aValue);
}

void TIdTCPClientCustom::SetUseNagle(bool aValue) {
  FUseNagle = aValue;
  if (Socket()) Socket()->SetUseNagle(aValue);
}

void TIdTCPClientCustom::SetLingerState(int aValue) {
  FLingerState = aValue;
  if (Socket()) Socket()->SetLingerState(aValue);
}

void TIdTCPClientCustom::SetIPVersion(TIdIPVersion aValue) {
  FIPVersion = aValue;
  if (Socket()) Socket()->SetIPVersion(aValue);
}

void TIdTCPClientCustom::SetHost(const std::string& aValue) {
  FHost = aValue;
  if (IOHandler()) IOHandler()->SetHost(aValue);
}

void TIdTCPClientCustom::SetPort(int aValue) {
  FPort = aValue;
  if (IOHandler()) IOHandler()->SetPort(aValue);
}

void TIdTCPClientCustom::SetDestination(const std::string& aValue) {
  FDestination = aValue;
  if (IOHandler()) IOHandler()->SetDestination(aValue);
}

}  // namespace qtx
