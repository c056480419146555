// clang-format off
#include <windows.h>
#include <aclapi.h>
// clang-format on

#include <string>

#include "platform/error_text_win32.h"
#include "platform/files.h"

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The errors that mean "nothing is there" rather than "something is there but hidden".
bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME;
}

// A handle closed when it goes out of scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The attributes of a link's final target: the link is opened with the target's own sharing
// rules out of the way (no data access asked) and the handle describes what it leads to.
bool TargetAttributes(const std::u16string& path, DWORD& attributes, DWORD& error) {
  ScopedHandle target(CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!target.valid() || !GetFileInformationByHandle(target.get(), &info)) {
    error = GetLastError();
    return false;
  }
  attributes = info.dwFileAttributes;
  return true;
}

// The volume and index that identify the file a path leads to.
bool FileIdentity(const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
  ScopedHandle target(CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return target.valid() && GetFileInformationByHandle(target.get(), &info);
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// For a path whose attributes cannot be read (a file locked by the system, access denied on
// the query): a directory listing still shows whether a file stands there.
bool ListedAsFile(const std::u16string& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Wide(path), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::u16string ErrorText(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string result(reinterpret_cast<const char16_t*>(text), length);
  LocalFree(text);
  while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r' ||
                             result.back() == u' ' || result.back() == u'.'))
    result.pop_back();
  if (!result.empty()) return result;
  const std::string number = std::to_string(error);
  return u"Fehler " + std::u16string(number.begin(), number.end());
}

char16_t PathSeparator() { return u'\\'; }

std::u16string_view PathComponentEnds() { return u"\\:"; }

PathKind QueryPath(const std::u16string& path) {
  if (path.empty()) return PathKind::Missing;
  DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return IsNotFound(GetLastError()) ? PathKind::Missing : PathKind::Inaccessible;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    DWORD error = 0;
    if (!TargetAttributes(path, attributes, error))
      return IsNotFound(error) ? PathKind::Missing : PathKind::Inaccessible;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory : PathKind::File;
}

std::u16string PathAccessFailure(const std::u16string& path) {
  if (path.empty()) return ErrorText(ERROR_PATH_NOT_FOUND);
  if (GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES) return u"";
  return ErrorText(GetLastError());
}

bool IsLocalFile(const std::u16string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return !IsNotFound(error) && ListedAsFile(path);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link counts when its target can be read, or is in use by another process.
    ScopedHandle target(
        CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (target.valid()) return true;
    return GetLastError() == ERROR_SHARING_VIOLATION;
  }
  return true;
}

bool IsAbsolutePath(const std::u16string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return true;
  const bool letter = path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') ||
                                           (path[0] >= u'a' && path[0] <= u'z'));
  return letter && path[1] == u':' && IsSeparator(path[2]);
}

bool IsSameFile(const std::u16string& a, const std::u16string& b) {
  BY_HANDLE_FILE_INFORMATION info_a, info_b;
  return FileIdentity(a, info_a) && FileIdentity(b, info_b) &&
         info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
         info_a.nFileIndexHigh == info_b.nFileIndexHigh &&
         info_a.nFileIndexLow == info_b.nFileIndexLow;
}

bool IsReadableByOthers(const std::u16string& path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(Wide(path), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                            &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  bool readable = dacl == nullptr;  // no list at all lets everyone in
  for (DWORD i = 0; !readable && dacl && i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) continue;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->Header.AceFlags & INHERIT_ONLY_ACE))
      continue;
    if (!(ace->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL))) continue;
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    // The owner, the system and the administrators may read every file anyway.
    if ((owner && EqualSid(sid, owner)) || IsWellKnownSid(sid, WinLocalSystemSid) ||
        IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
      continue;
    readable = true;
  }
  LocalFree(descriptor);
  return readable;
}

bool ReadWholeFile(const std::u16string& path, std::string& bytes, std::u16string* failure) {
  const auto fail = [&](DWORD error) {
    if (failure) *failure = error ? ErrorText(error) : u"";
    return false;
  };
  // Readers are welcome, a writer in the middle of changing the file is not.
  ScopedHandle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return fail(GetLastError());
  // Only a file on a disk has a whole: a console, NUL or a named pipe has none.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return fail(0);
  std::string content;
  char chunk[65536];
  while (true) {
    DWORD read = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr)) return fail(GetLastError());
    if (read == 0) break;
    content.append(chunk, read);
  }
  bytes.swap(content);
  return true;
}

bool MakeDirectory(const std::u16string& path) {
  return CreateDirectoryW(Wide(path), nullptr) != 0;
}

FileOwnership DescribeOwnership(const std::u16string& path) {
  FileOwnership result;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(Wide(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return result;
  wchar_t name[256], domain[256];
  DWORD name_size = 256, domain_size = 256;
  SID_NAME_USE use;
  if (owner && LookupAccountSidW(nullptr, owner, name, &name_size, domain, &domain_size, &use))
    result.owner = reinterpret_cast<const char16_t*>(name);
  LocalFree(descriptor);
  return result;
}

// Windows checks no search right on the directories of a path for ordinary users.
std::u16string FirstUnsearchableDirectory(const std::u16string&) { return u""; }

SequentialFile::SequentialFile(const std::u16string& path)
    : handle_(reinterpret_cast<intptr_t>(
          CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))),
      path_(path) {
  if (!IsOpen()) failure_ = ErrorText(GetLastError());
}

SequentialFile::~SequentialFile() {
  if (IsOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool SequentialFile::IsOpen() const {
  return reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE;
}

int64_t SequentialFile::Read(void* buffer, size_t size) {
  if (!IsOpen()) return -1;
  // One synchronous read; a request above 4 GiB - 1 asks for less, as a short read may.
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, wanted, &read, nullptr)) {
    failure_ = ErrorText(GetLastError());
    return -1;
  }
  return read;
}

uint64_t SequentialFile::Size() const {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

int64_t SequentialFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (!IsOpen()) return -1;
  // The offset travels in the OVERLAPPED block; the handle is synchronous, so this waits.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, wanted, &read, &at)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    failure_ = ErrorText(error);
    return -1;
  }
  return read;
}

// Windows reads ahead by its own rules; a handle cannot be told otherwise after opening.
void SequentialFile::AllowReadAhead(bool) {}

bool SequentialFile::Skip(uint64_t size) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(size);
  if (IsOpen() &&
      SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), distance, nullptr, FILE_CURRENT))
    return true;
  failure_ = ErrorText(GetLastError());
  return false;
}
