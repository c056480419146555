#include "tests/windows/win32_support.h"

// clang-format off
#include <windows.h>
#include <winternl.h>
// clang-format on

#include <stdexcept>
#include <vector>

#include "tests/support/win32_handle.h"

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

void Drain(HANDLE pipe, std::string& sink) {
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) sink.append(buffer, n);
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
