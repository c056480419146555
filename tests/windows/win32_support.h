// Helpers for the tests of the Windows build: text in the forms Win32 takes, a temporary
// directory removed at the end of a test, files held open the way another program would, and
// the command line of a running program as others see it. Programs are run through
// tests/support/run_process.h.
#pragma once

#include <cstdint>
#include <string>

std::wstring W(const std::u16string& text);
std::u16string U16(const std::wstring& text);
std::string Utf8(const std::wstring& text);

// A path of the build machine as the Windows side sees it: under Wine the Unix root is Z:.
std::wstring HostPath(const std::string& path);

// A fresh directory under the Windows temporary directory, removed with its content when the
// object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
void CopyFileOrThrow(const std::wstring& from, const std::wstring& to);

// A file held open through a second handle, as another program would hold it, until the
// object goes. share is the FILE_SHARE_* mask granted to others.
class HeldFile {
 public:
  HeldFile(const std::wstring& path, uint32_t access, uint32_t share);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

 private:
  void* handle_;
};

// The command line of a running process as others see it: from its process parameter block.
std::wstring CommandLineOf(void* process);
