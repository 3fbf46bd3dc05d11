#pragma once
// The root of every exception the library raises, and the platform's general
// failures that several layers share.

#include <exception>
#include <string>

namespace qtx {

// Root exception: a readable message that handlers may amend in place before
// re-raising (the REST layer appends the response body, for example).
class Exception : public std::exception {
public:
  Exception() = default;
  explicit Exception(std::string aMessage) : FMessage(std::move(aMessage)) {}

  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string aMessage) { FMessage = std::move(aMessage); }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

// A text that is not a number, a date or a hexadecimal pair where one is needed.
class EConvertError : public Exception { using Exception::Exception; };
// A value that cannot be converted to the requested type.
class EVariantTypeCastError : public EConvertError { using EConvertError::EConvertError; };
// An index outside a list.
class EListError : public Exception {
public:
  using Exception::Exception;
  // An index outside the list, named in the message.
  static EListError IndexOutOfBounds(int aIndex);
};
// An argument outside the range or form an operation accepts.
class EArgumentException : public Exception { using Exception::Exception; };
class EArgumentOutOfRangeException : public EArgumentException { using EArgumentException::EArgumentException; };
// An operation the object does not support.
class ENotSupportedException : public Exception { using Exception::Exception; };
// Stream and file failures.
class EStreamError : public Exception { using Exception::Exception; };
class EFileStreamError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EFileStreamError { using EFileStreamError::EFileStreamError; };
class EFOpenError : public EFileStreamError { using EFileStreamError::EFileStreamError; };
class EReadError : public EStreamError {
public:
  EReadError() : EStreamError("Stream read error") {}
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
  EWriteError() : EStreamError("Stream write error") {}
  using EStreamError::EStreamError;
};
// The silent abort: ends an operation without an error report.
class EAbort : public Exception { using Exception::Exception; };
// An operating-system call that failed, with errno's text.
class EOSError : public Exception {
public:
  EOSError(int aErrorCode, std::string aMessage) : Exception(std::move(aMessage)), FErrorCode(aErrorCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }

private:
  int FErrorCode;
};

// The system's text for an errno value.
std::string SysErrorMessage(int aErrorCode);
// Raises EOSError for errno, with the failing call's name in the message.
[[noreturn]] void RaiseLastOSError(const std::string& aWhat);

}  // namespace qtx
