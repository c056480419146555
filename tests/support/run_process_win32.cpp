#include <windows.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/win32_handle.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

void MakePipe(Handle& read, Handle& write, bool child_reads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!CreatePipe(&read.h, &write.h, &sa, 0)) Fail("CreatePipe");
  // Only the child's end is inherited.
  SetHandleInformation(child_reads ? write.h : read.h, HANDLE_FLAG_INHERIT, 0);
}

void Drain(HANDLE pipe, std::string& sink) {
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) sink.append(buffer, n);
}

// The parent's environment with the changes applied, as a block for CreateProcessW.
std::vector<wchar_t> EnvironmentBlock(const ProcessOptions& options) {
  std::map<std::wstring, std::wstring> names;  // upper-cased name -> "Name=value"
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
    std::wstring entry = p;
    size_t eq = entry.find(L'=', 1);  // "=C:=C:\dir" entries start with '='
    if (eq == std::wstring::npos) continue;
    std::wstring key = entry.substr(0, eq);
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    names[key] = entry;
  }
  FreeEnvironmentStringsW(block);
  for (const auto& [utf8_name, value] : options.env) {
    const std::wstring name = Wide(utf8_name);
    std::wstring key = name;
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    if (value)
      names[key] = name + L"=" + Wide(*value);
    else
      names.erase(key);
  }
  std::vector<wchar_t> result;
  for (const auto& [key, entry] : names) {
    result.insert(result.end(), entry.begin(), entry.end());
    result.push_back(L'\0');
  }
  result.push_back(L'\0');
  return result;
}

std::wstring CommandLine(const std::string& program, const ProcessOptions& options) {
  if (!options.command_line.empty()) return Wide(options.command_line);
  std::wstring line = L"\"" + Wide(program) + L"\"";
  for (const std::string& argument : options.args) line += L" " + Wide(argument);
  return line;
}

// Wine now and then loses a new process before its start-up has finished, above all on a busy
// machine; CreateProcessW then fails with ERROR_INTERNAL_ERROR. The program has not run at all,
// so the run is started again from scratch, fresh pipes included.
struct LostAtStart {};

ProcessResult RunOnce(const std::string& program, const ProcessOptions& options,
                      bool last_attempt) {
  Handle out_read, out_write, err_read, err_write, in_read, in_write;
  MakePipe(out_read, out_write, false);
  MakePipe(err_read, err_write, false);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (options.stdin_bytes) {
    MakePipe(in_read, in_write, true);
  } else {
    in_read.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
  }
  Handle file_out;
  if (!options.stdout_path.empty()) {
    const std::wstring path = Wide(options.stdout_path);
    file_out.h = options.stdout_read_only
                     ? CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr)
                     : CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
    if (file_out.h == INVALID_HANDLE_VALUE) Fail("opening " + options.stdout_path);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read.h;
  startup.hStdOutput = file_out.h ? file_out.h : out_write.h;
  startup.hStdError = err_write.h;
  std::vector<wchar_t> environment = EnvironmentBlock(options);
  const std::wstring application = Wide(program);
  std::wstring line = CommandLine(program, options);  // CreateProcessW may write into it
  const std::wstring working_dir = Wide(options.working_dir);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                      working_dir.empty() ? nullptr : working_dir.c_str(), &startup, &process)) {
    if (GetLastError() == ERROR_INTERNAL_ERROR && !last_attempt) throw LostAtStart{};
    Fail("CreateProcessW " + program);
  }
  Handle process_handle(process.hProcess), thread_handle(process.hThread);
  // The parent keeps only its own ends, so that the pipes end with the child.
  out_write.Close();
  err_write.Close();
  in_read.Close();
  file_out.Close();

  ProcessResult result;
  if (options.while_running) options.while_running(process.hProcess);
  std::thread out_reader(Drain, out_read.h, std::ref(result.out));
  std::thread err_reader(Drain, err_read.h, std::ref(result.err));
  std::thread in_writer;
  if (options.stdin_bytes) {
    in_writer = std::thread([&] {
      const std::string& data = *options.stdin_bytes;
      DWORD written = 0;
      if (!data.empty())
        WriteFile(in_write.h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
      in_write.Close();
    });
  }
  const DWORD timeout_ms = static_cast<DWORD>(options.timeout_seconds) * 1000;
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_TIMEOUT) {
    result.timed_out = true;
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exit_code = static_cast<int>(code);
  if (in_writer.joinable()) in_writer.join();
  out_reader.join();
  err_reader.join();
  return result;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const ProcessOptions& options) {
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return RunOnce(program, options, attempt == kAttempts);
    } catch (const LostAtStart&) {
      Sleep(200);
    }
  }
}
