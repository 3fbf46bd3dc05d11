#pragma once
// Socket failures raised by the IO handler: EIdSocketError with the error code
// (Winsock numbering) and the message "Socket Error # %d\r\n%s".

#include <string>

namespace qtx {

// The text for a socket error code; empty for codes without one.
std::string SocketErrorText(int aErrorCode);
// The full message: "Socket Error # %d\r\n%s" with the code and its text.
std::string SocketErrorMessage(int aErrorCode);
// Raises EIdSocketError for the code, or EIdNotASocket for 10038.
[[noreturn]] void RaiseSocketError(int aErrorCode);

}  // namespace qtx
