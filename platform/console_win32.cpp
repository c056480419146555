#include <windows.h>

#include <algorithm>
#include <string>

#include "base/exceptions.h"
#include "platform/console.h"
#include "platform/text_encoding.h"

namespace {

// Into a file or a pipe, lines collect here and go out in pieces of this size.
constexpr size_t kFlushThreshold = 8192;

struct StandardOutput {
  bool probed = false;
  bool console = false;
  std::string pending;
};

// A console handle is a character device that answers GetConsoleMode; a serial port or NUL is a
// character device too, but gets the buffered treatment of files.
bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode) != 0;
}

StandardOutput& Out() {
  static StandardOutput out;
  if (!out.probed) {
    out.probed = true;
    out.console = IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
  }
  return out;
}

// The runtime's I/O error code for a Windows error: the Windows code itself, with the disk-full
// pair folded into the runtime's 101.
int InOutCode(DWORD error) {
  switch (error) {
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      return 101;
    default:
      return static_cast<int>(error);
  }
}

void WriteAll(HANDLE handle, const char* data, size_t size) {
  while (size > 0) {
    const DWORD wanted = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, data, wanted, &written, nullptr))
      throw EInOutError(InOutCode(GetLastError()));
    // A write that takes nothing will take nothing next time either: the device is full.
    if (written == 0) throw EInOutError(101);
    data += written;
    size -= written;
  }
}

void WritePending(StandardOutput& out) {
  std::string bytes;
  bytes.swap(out.pending);  // what failed to go out is not tried twice
  WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), bytes.size());
}

}  // namespace

// Windows has no signal for a closed pipe: the write itself fails.
void InitConsole() {}

void ConsoleWriteLine(std::u16string_view text) {
  StandardOutput& out = Out();
  out.pending += ToNarrow(text);
  out.pending += "\r\n";
  if (out.console || out.pending.size() >= kFlushThreshold) WritePending(out);
}

void ConsoleFlush() {
  StandardOutput& out = Out();
  if (!out.pending.empty()) WritePending(out);
}

void ConsoleReadLine() {
  ConsoleFlush();  // the prompt must be visible before we wait for its answer
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (true) {
    char c;
    DWORD read = 0;
    if (!ReadFile(input, &c, 1, &read, nullptr)) {
      const DWORD error = GetLastError();
      // The writer of a pipe went away: that is the end of input.
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return;
      throw EInOutError(InOutCode(error));
    }
    if (read == 0 || c == '\n' || c == 26) return;
  }
}

void ConsoleWriteError(std::string_view text) {
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(text.size() - done, 0x10000000));
    if (!WriteFile(handle, text.data() + done, wanted, &written, nullptr) || written == 0) return;
    done += written;
  }
}

bool StandardErrorIsTerminal() { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }
