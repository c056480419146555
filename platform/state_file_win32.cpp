#include <windows.h>

#include <algorithm>

#include "platform/error_text_win32.h"
#include "platform/state_file.h"

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::u16string& path) {
  ScopedHandle file(CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                      (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow};
}

bool ReplaceFileContent(const std::u16string& path, std::string_view bytes,
                        std::u16string* failure) {
  const auto fail = [&](DWORD error) {
    if (failure) *failure = ErrorText(error);
    return false;
  };
  const std::u16string fresh = path + u".new";
  ScopedHandle file(CreateFileW(Wide(fresh), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return fail(GetLastError());
  while (!bytes.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), piece, &written, nullptr) || written == 0) {
      const DWORD error = GetLastError();
      file.Close();
      DeleteFileW(Wide(fresh));
      return fail(error);
    }
    bytes.remove_prefix(written);
  }
  if (!FlushFileBuffers(file.get())) {
    const DWORD error = GetLastError();
    file.Close();
    DeleteFileW(Wide(fresh));
    return fail(error);
  }
  file.Close();
  if (!MoveFileExW(Wide(fresh), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(Wide(fresh));
    return fail(error);
  }
  return true;
}
