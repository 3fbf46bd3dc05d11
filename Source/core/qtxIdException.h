#pragma once
// The networking core's exceptions. Every one derives from EIdException;
// silent exceptions mark normal ends of a transfer. Units that raise more
// specific failures declare them beside their code.

#include <string>

#include "platform/qtxException.h"

namespace qtx {

class EIdException : public Exception { using Exception::Exception; };

// A normal end rather than a failure; callers often swallow these.
class EIdSilentException : public EIdException { using EIdException::EIdException; };
class EIdConnClosedGracefully : public EIdSilentException {
public:
  EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
  using EIdSilentException::EIdSilentException;
};

class EIdSocketHandleError : public EIdException { using EIdException::EIdException; };
class EIdNotConnected : public EIdSocketHandleError {
public:
  EIdNotConnected() : EIdSocketHandleError("Not Connected") {}
  using EIdSocketHandleError::EIdSocketHandleError;
};
class EIdClosedSocket : public EIdException {
public:
  EIdClosedSocket() : EIdException("Disconnected.") {}
  using EIdException::EIdException;
};
class EIdReadTimeout : public EIdException {
public:
  EIdReadTimeout() : EIdException("Read timed out.") {}
  using EIdException::EIdException;
};

// A failed socket call: the system error code (in its Winsock numbering) and
// the message "Socket Error # %d\r\n%s".
class EIdSocketError : public EIdException {
public:
  EIdSocketError(int aLastError, std::string aMessage) : EIdException(std::move(aMessage)), FLastError(aLastError) {}
  int LastError() const noexcept { return FLastError; }

private:
  int FLastError;
};
// Socket error 10038: the handle is not a socket.
class EIdNotASocket : public EIdSocketError { using EIdSocketError::EIdSocketError; };

}  // namespace qtx
