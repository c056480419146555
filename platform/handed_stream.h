// A stream that the parent process handed over by number, for records beside the console:
// an open file descriptor on POSIX. Windows has no such hand-over here; there it never opens.
#pragma once

#include <string>
#include <string_view>

class HandedStream {
 public:
  // Takes over the stream with this number when it is open for writing; the caller keeps the
  // standard streams out. It is closed by the destructor and not inherited by other programs.
  explicit HandedStream(int number);
  ~HandedStream();
  HandedStream(const HandedStream&) = delete;
  HandedStream& operator=(const HandedStream&) = delete;

  bool IsOpen() const { return handle_ >= 0; }
  // Writes all of bytes; false on failure (also when not open), the reason in FailureReason().
  bool Write(std::string_view bytes);
  // Why it did not open or the last write failed, in the system's words.
  const std::u16string& FailureReason() const { return failure_; }

 private:
  int handle_ = -1;
  std::u16string failure_;
};
