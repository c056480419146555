// The exception types shared by every part of fbwarm. Every failure travels as one of these
// to the driver's single handler, which prints its UTF-16 message after "FEHLER ".
#pragma once

#include <exception>
#include <string>

// The general exception type: a message text and nothing else.
class Exception : public std::exception {
 public:
  explicit Exception(std::u16string message);
  ~Exception() override = default;

  const std::u16string& Message() const { return message_; }
  // The message as UTF-8, for the last-resort path that writes to standard error.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::u16string message_;
  std::string what_;
};

// Memory could not be obtained.
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory();
};

// A console stream failed. The code is the runtime's I/O error code: 5 access denied,
// 101 disk full, anything else printed as "E/A-Fehler <code>".
class EInOutError : public Exception {
 public:
  explicit EInOutError(int code);
  // An error known only by its number: always "E/A-Fehler <code>", also where the number
  // happens to be one of the runtime codes above (errno 5 is EIO, not access denied).
  static EInOutError Numbered(int code);
  int ErrorCode() const { return code_; }

 private:
  EInOutError(int code, std::u16string message);
  int code_;
};

// An operating-system call failed; code and text are the platform's own.
class EOSError : public Exception {
 public:
  EOSError(int code, const std::u16string& system_text);
  int ErrorCode() const { return code_; }

 private:
  int code_;
};
