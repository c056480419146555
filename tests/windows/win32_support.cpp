#include "tests/windows/win32_support.h"

// clang-format off
#include <windows.h>
#include <winternl.h>
// clang-format on

#include <stdexcept>
#include <thread>
#include <vector>

std::wstring W(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring HostPath(const std::string& path) {
  std::wstring result;
  if (!path.empty() && path[0] == '/') result = L"Z:";
  for (char c : path) result.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return result;
}

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveTree(child);
      else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(child.c_str());
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

struct Handle {
  HANDLE h = nullptr;
  Handle() = default;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void Close() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
  }
};

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
std::vector<wchar_t> EnvironmentBlock(const RunOptions& options) {
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
  for (const auto& [name, value] : options.env) {
    std::wstring key = name;
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    if (value)
      names[key] = name + L"=" + *value;
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

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) Fail("GetTempPathW");
  for (unsigned attempt = 0;; ++attempt) {
    std::wstring candidate = std::wstring(base) + L"fbwarm-win-" +
                             std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount() + attempt);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt > 1000) Fail("CreateDirectoryW");
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.h == INVALID_HANDLE_VALUE) Fail("CreateFileW " + Utf8(path));
  DWORD written = 0;
  if (!bytes.empty() &&
      (!WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
       written != bytes.size()))
    Fail("WriteFile " + Utf8(path));
}

std::string ReadBytes(const std::wstring& path) {
  Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.h == INVALID_HANDLE_VALUE) return std::string();
  std::string content;
  Drain(file.h, content);
  return content;
}

void CopyFileOrThrow(const std::wstring& from, const std::wstring& to) {
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Fail("CopyFileW " + Utf8(from));
}

HeldFile::HeldFile(const std::wstring& path, uint32_t access, uint32_t share)
    : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (handle_ == INVALID_HANDLE_VALUE) Fail("holding " + Utf8(path));
}

HeldFile::~HeldFile() { CloseHandle(static_cast<HANDLE>(handle_)); }

namespace {

// Wine now and then loses a new process before its start-up has finished, above all on a busy
// machine; CreateProcessW then fails with ERROR_INTERNAL_ERROR. The program has not run at all,
// so the run is started again from scratch, fresh pipes included.
struct LostAtStart {};

RunResult RunOnce(const std::wstring& application, const std::wstring& command_line,
                  const RunOptions& options, bool last_attempt) {
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
  Handle read_only_out;
  if (!options.stdout_read_only.empty()) {
    read_only_out.h =
        CreateFileW(options.stdout_read_only.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    if (read_only_out.h == INVALID_HANDLE_VALUE) Fail("opening the read-only output");
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read.h;
  startup.hStdOutput = read_only_out.h ? read_only_out.h : out_write.h;
  startup.hStdError = err_write.h;
  std::vector<wchar_t> environment = EnvironmentBlock(options);
  std::wstring line = command_line;  // CreateProcessW may write into it
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                      options.working_dir.empty() ? nullptr : options.working_dir.c_str(), &startup,
                      &process)) {
    if (GetLastError() == ERROR_INTERNAL_ERROR && !last_attempt) throw LostAtStart{};
    Fail("CreateProcessW " + Utf8(application));
  }
  Handle process_handle(process.hProcess), thread_handle(process.hThread);
  // The parent keeps only its own ends, so that the pipes end with the child.
  out_write.Close();
  err_write.Close();
  in_read.Close();
  read_only_out.Close();

  RunResult result;
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
  if (WaitForSingleObject(process.hProcess, options.timeout_ms) == WAIT_TIMEOUT) {
    result.timed_out = true;
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exit_code = code;
  if (in_writer.joinable()) in_writer.join();
  out_reader.join();
  err_reader.join();
  return result;
}

}  // namespace

RunResult RunProgram(const std::wstring& application, const std::wstring& command_line,
                     const RunOptions& options) {
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return RunOnce(application, command_line, options, attempt == kAttempts);
    } catch (const LostAtStart&) {
      Sleep(200);
    }
  }
}

std::wstring CommandLineOf(void* process) {
  PROCESS_BASIC_INFORMATION basic{};
  ULONG size = 0;
  if (NtQueryInformationProcess(static_cast<HANDLE>(process), ProcessBasicInformation, &basic,
                                sizeof basic, &size) != 0)
    Fail("NtQueryInformationProcess");
  PEB peb{};
  RTL_USER_PROCESS_PARAMETERS parameters{};
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, &read) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, &read))
    Fail("ReadProcessMemory");
  std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, line.data(),
                         parameters.CommandLine.Length, &read))
    Fail("ReadProcessMemory");
  return line;
}
