// The one exception family of the player. Messages are Shift-JIS, as the
// game's own texts are; Utf8Message() is for the platform boundary.
#pragma once
#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string sjis_message) : message_(std::move(sjis_message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    std::string Utf8Message() const;

private:
    std::string message_;
};

// Raised by streams on short reads/writes and failed opens.
class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };
// Stored data that is truncated or inconsistent.
class ECorruptData : public Exception { using Exception::Exception; };
// Text that is not a number where one is required.
class EConvertError : public Exception { using Exception::Exception; };
// An index or count outside a list's bounds (a caller error).
class EListError : public Exception { using Exception::Exception; };
