#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "base/exceptions.h"
#include "platform/console.h"
#include "platform/fd_posix.h"
#include "platform/in_out_error_posix.h"
#include "platform/text_encoding.h"

namespace {

// Into a file or a pipe, lines collect here and go out in pieces of this size.
constexpr size_t kFlushThreshold = 8192;

struct StandardOutput {
  bool probed = false;
  bool terminal = false;
  std::string pending;
};

StandardOutput& Out() {
  static StandardOutput out;
  if (!out.probed) {
    out.probed = true;
    out.terminal = isatty(STDOUT_FILENO) == 1;
  }
  return out;
}

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = RetryOnEintr([&] { return write(fd, data, size); });
    // A write that takes nothing would never finish: the device failed.
    if (n <= 0) throw InOutErrorFromErrno(n < 0 ? errno : EIO);
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void WritePending(StandardOutput& out) {
  std::string bytes;
  bytes.swap(out.pending);  // what failed to go out is not tried twice
  WriteAll(STDOUT_FILENO, bytes.data(), bytes.size());
}

}  // namespace

EInOutError InOutErrorFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return EInOutError(5);
    case ENOSPC:
    case EDQUOT:
      return EInOutError(101);
    default:
      return EInOutError::Numbered(error);
  }
}

void InitConsole() {
  signal(SIGPIPE, SIG_IGN);
  // The file-size limit (ulimit -f) reached on standard output: the write fails with EFBIG.
  signal(SIGXFSZ, SIG_IGN);
}

void ConsoleWriteLine(std::u16string_view text) {
  StandardOutput& out = Out();
  out.pending += ToNarrow(text);
  out.pending += "\r\n";
  if (out.terminal || out.pending.size() >= kFlushThreshold) WritePending(out);
}

void ConsoleFlush() {
  StandardOutput& out = Out();
  if (!out.pending.empty()) WritePending(out);
}

void ConsoleReadLine() {
  ConsoleFlush();  // the prompt must be visible before we wait for its answer
  while (true) {
    char c;
    const ssize_t n = RetryOnEintr([&] { return read(STDIN_FILENO, &c, 1); });
    if (n < 0 && errno == EPIPE) return;
    if (n < 0) throw InOutErrorFromErrno(errno);
    if (n == 0 || c == '\n' || c == 26) return;
  }
}

void ConsoleWriteError(std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n =
        RetryOnEintr([&] { return write(STDERR_FILENO, text.data() + done, text.size() - done); });
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
