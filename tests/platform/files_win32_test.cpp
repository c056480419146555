// The Win32 files service, run under Wine or on Windows: drive letters, sharing modes, links
// and access lists.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/windows/win32_support.h"

TEST(Files, WhatADriveLetterPathNames) {
  TempDir dir;
  WriteBytes(dir / L"file.gdb", "data");
  struct Case {
    std::wstring path;
    PathKind kind;
    bool local_file;
  };
  const std::vector<Case> cases = {
      {dir / L"FILE.GDB", PathKind::File, true},  // names ignore case
      {dir.path(), PathKind::Directory, false},
      {dir / L"a<b>.gdb", PathKind::Missing, false},  // an invalid name
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QueryPath(U16(c.path)), c.kind) << Utf8(c.path);
    EXPECT_EQ(IsLocalFile(U16(c.path)), c.local_file) << Utf8(c.path);
  }
  EXPECT_EQ(PathSeparator(), u'\\');
  EXPECT_EQ(PathComponentEnds(), u"\\:");
}

TEST(Files, AbsolutePathsAndTheSameFileByAnotherSpelling) {
  TempDir dir;
  WriteBytes(dir / L"file.gdb", "data");
  WriteBytes(dir / L"copy.gdb", "data");
  EXPECT_TRUE(IsSameFile(U16(dir / L"file.gdb"), U16(dir / L"FILE.GDB")));
  EXPECT_FALSE(IsSameFile(U16(dir / L"file.gdb"), U16(dir / L"copy.gdb")));
  EXPECT_FALSE(IsSameFile(U16(dir / L"none.gdb"), U16(dir / L"none.gdb")));
  const struct {
    std::u16string path;
    bool absolute;
  } cases[] = {{u"C:\\DB\\Kandor.gdb", true},
               {u"c:/db.gdb", true},
               {u"\\\\host\\share\\db.gdb", true},
               {u"C:db.gdb", false},
               {u"\\db.gdb", false},
               {u"Kandor", false},
               {u"", false}};
  for (const auto& c : cases)
    EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << std::string(c.path.begin(), c.path.end());
}

TEST(Files, AFileInUseByAnotherIsStillALocalFile) {
  TempDir dir;
  const std::wstring path = dir / L"busy.gdb";
  WriteBytes(path, "data");
  HeldFile exclusive(path, GENERIC_READ | GENERIC_WRITE, 0);
  EXPECT_TRUE(IsLocalFile(U16(path)));
  EXPECT_EQ(QueryPath(U16(path)), PathKind::File);
}

TEST(Files, LinksAreFollowedToTheirTargets) {
  TempDir dir;
  WriteBytes(dir / L"target.gdb", "data");
  CreateDirectoryW((dir / L"target").c_str(), nullptr);
  const DWORD unprivileged = 2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  CreateSymbolicLinkW((dir / L"file-link").c_str(), (dir / L"target.gdb").c_str(), unprivileged);
  CreateSymbolicLinkW((dir / L"dir-link").c_str(), (dir / L"target").c_str(),
                      unprivileged | SYMBOLIC_LINK_FLAG_DIRECTORY);
  CreateSymbolicLinkW((dir / L"dangling").c_str(), (dir / L"gone.gdb").c_str(), unprivileged);
  if (GetFileAttributesW((dir / L"file-link").c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "symbolic links cannot be made here (Wine accepts the call and makes none; "
                    "Windows needs developer mode or the privilege)";
  EXPECT_TRUE(IsLocalFile(U16(dir / L"file-link")));
  EXPECT_EQ(QueryPath(U16(dir / L"file-link")), PathKind::File);
  EXPECT_FALSE(IsLocalFile(U16(dir / L"dir-link")));
  EXPECT_EQ(QueryPath(U16(dir / L"dir-link")), PathKind::Directory);
  EXPECT_FALSE(IsLocalFile(U16(dir / L"dangling")));
  EXPECT_EQ(QueryPath(U16(dir / L"dangling")), PathKind::Missing);
  HeldFile exclusive(dir / L"target.gdb", GENERIC_READ, 0);
  EXPECT_TRUE(IsLocalFile(U16(dir / L"file-link")));  // in use, with a sharing violation
}

TEST(Files, WholeFileIsReadUnlessAWriterHoldsIt) {
  TempDir dir;
  const std::wstring path = dir / L"fbwarm.INI";
  const std::string content =
      std::string("[STARTPARAMS]\r\n/DB:x\0y", 22) + std::string(70000, 'z');
  WriteBytes(path, content);
  std::string bytes = "old";
  ASSERT_TRUE(ReadWholeFile(U16(path), bytes));
  EXPECT_EQ(bytes, content);
  {
    HeldFile reader(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_TRUE(ReadWholeFile(U16(path), bytes)) << "other readers are welcome";
  }
  {
    HeldFile writer(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    bytes = "old";
    EXPECT_FALSE(ReadWholeFile(U16(path), bytes)) << "a writer may be half-way through";
    EXPECT_EQ(bytes, "old");
  }
  EXPECT_FALSE(ReadWholeFile(u"NUL", bytes)) << "a device has no whole";
}

TEST(Files, SequentialReadSharesWithWritersButNotWithAnExclusiveHolder) {
  TempDir dir;
  const std::wstring path = dir / L"main.gdb";
  WriteBytes(path, std::string(100000, 'x'));
  char buffer[65536];
  {
    HeldFile server(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    SequentialFile file(U16(path));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 65536);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 100000 - 65536);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
  }
  {
    HeldFile exclusive(path, GENERIC_READ, 0);
    SequentialFile file(U16(path));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(buffer, sizeof buffer), -1);
  }
}

namespace {

// The SID of the user running the test, as text.
std::wstring CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
  char buffer[256];
  DWORD size = 0;
  std::wstring text;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
    wchar_t* sid = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
      text = sid;
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return text;
}

// The access list of a security descriptor, as text.
std::wstring AccessListText(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    return L"";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

// Replaces the file's access list by the one of sddl (the D: part of a security descriptor);
// false unless the file then has exactly that list.
bool SetAccessList(const std::wstring& path, const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return false;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  const DWORD result =
      SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr);
  const std::wstring wanted = AccessListText(descriptor);
  LocalFree(descriptor);
  if (result != ERROR_SUCCESS) return false;
  PSECURITY_DESCRIPTOR now = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &now) != ERROR_SUCCESS)
    return false;
  const bool kept = AccessListText(now) == wanted;
  LocalFree(now);
  return kept;
}

}  // namespace

TEST(Files, ReadableByOthersWhenTheAccessListLetsAnyoneButOwnerSystemAndAdministratorsRead) {
  TempDir dir;
  const std::wstring path = dir / L"fbwarm.INI";
  WriteBytes(path, "[STARTPARAMS]\r\n/PASSWORD:secret\r\n");
  const std::wstring user = CurrentUserSid();
  ASSERT_FALSE(user.empty());
  const std::wstring own = L"D:P(A;;FA;;;" + user + L")(A;;FA;;;SY)(A;;FA;;;BA)";
  struct Case {
    std::wstring sddl;
    bool readable;
  } cases[] = {
      {own, false},
      {own + L"(A;;FR;;;WD)", true},         // Everyone may read
      {own + L"(A;;FR;;;BU)", true},         // the local users may read
      {own + L"(A;;0x100000;;;WD)", false},  // Everyone may only wait on it
      {own + L"(A;IO;FR;;;WD)", false},      // only for what is created inside
  };
  for (const Case& c : cases) {
    if (!SetAccessList(path, c.sddl))
      GTEST_SKIP() << "this system does not keep an access list set on a file (Wine derives "
                      "it from the Unix mode)";
    EXPECT_EQ(IsReadableByOthers(U16(path)), c.readable) << Utf8(c.sddl);
  }
  EXPECT_FALSE(IsReadableByOthers(U16(dir / L"missing.INI")));
}
