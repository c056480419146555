// The Win32 implementations of the platform services, run under Wine or on Windows.
#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "platform/compare.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "platform/tick_counter.h"
#include "tests/windows/win32_support.h"

namespace {

class AnsiCodePage1252 : public testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
    InitTextEncoding();
  }
};

}  // namespace

TEST_F(AnsiCodePage1252, LacksBecomeOneQuestionMarkPerCharacterAndNothingIsBestFitted) {
  EXPECT_EQ(NarrowEncodingName(), "CP1252");
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {u"Gr\u00fc\u00dfe \u20ac",
       "Gr\xfc\xdf"
       "e \x80"},
      {u"", ""},
      {u"\u0100", "?"},               // best fit would give 'A'
      {u"a\u2215b\uff0fc", "a?b?c"},  // best fit would give '/' twice: another path
      {u"\u4e2d\u6587", "??"},
      {u"x\U0001F600y", "x?y"},  // one character, two code units, one '?'
      {std::u16string(u"a") + char16_t(0xD800) + u"b", "a?b"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToNarrow(c.text), c.bytes) << Utf8(W(c.text));
}

TEST_F(AnsiCodePage1252, NarrowBytesDecodeToTheirCharacters) {
  EXPECT_EQ(FromNarrow("\x80\xe4\xdf"
                       "a"),
            u"\u20ac\u00e4\u00df"
            "a");
  EXPECT_EQ(FromNarrow(""), u"");
}

TEST(TextEncoding, StrictUtf8RefusesEveryMalformedForm) {
  std::u16string result = u"untouched";
  EXPECT_TRUE(DecodeUtf8("ok \xc3\xa4\xf0\x9f\x98\x80", result));
  EXPECT_EQ(result, u"ok \u00e4\U0001F600");
  EXPECT_TRUE(DecodeUtf8("", result));
  EXPECT_EQ(result, u"");
  const std::vector<std::string> malformed = {
      "\xc0\xaf",          // overlong '/'
      "\xed\xa0\x80",      // an encoded surrogate
      "a\xe2\x82",         // cut short
      "\x80",              // a lone continuation byte
      "\xf4\x90\x80\x80",  // beyond U+10FFFF
      "\xff",
  };
  for (const std::string& bytes : malformed) {
    result = u"untouched";
    EXPECT_FALSE(DecodeUtf8(bytes, result)) << testing::PrintToString(bytes);
    EXPECT_EQ(result, u"untouched");
  }
}

TEST(TextEncoding, Utf16InEitherByteOrderDropsAnOddLastByte) {
  EXPECT_EQ(DecodeUtf16(std::string("a\0\xe4\0z", 5), false), u"a\u00e4");
  EXPECT_EQ(DecodeUtf16(std::string("\0a\x20\xac", 4), true), u"a\u20ac");
}

TEST(Files, WhatAPathNames) {
  TempDir dir;
  WriteBytes(dir / L"file.gdb", "data");
  CreateDirectoryW((dir / L"sub").c_str(), nullptr);
  struct Case {
    std::wstring path;
    PathKind kind;
    bool local_file;
  };
  const std::vector<Case> cases = {
      {dir / L"file.gdb", PathKind::File, true},
      {dir / L"FILE.GDB", PathKind::File, true},  // names ignore case
      {dir / L"sub", PathKind::Directory, false},
      {dir / L"sub\\", PathKind::Directory, false},
      {dir.path(), PathKind::Directory, false},
      {dir / L"missing.gdb", PathKind::Missing, false},
      {dir / L"missing\\x.gdb", PathKind::Missing, false},
      {dir / L"a<b>.gdb", PathKind::Missing, false},  // an invalid name
      {L"", PathKind::Missing, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QueryPath(U16(c.path)), c.kind) << Utf8(c.path);
    EXPECT_EQ(IsLocalFile(U16(c.path)), c.local_file) << Utf8(c.path);
  }
  EXPECT_EQ(PathSeparator(), u'\\');
  EXPECT_EQ(PathComponentEnds(), u"\\:");
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
  EXPECT_FALSE(ReadWholeFile(U16(dir / L"missing.INI"), bytes));
  EXPECT_FALSE(ReadWholeFile(U16(dir.path()), bytes));
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
  SequentialFile missing(U16(dir / L"new.gdb"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(GetFileAttributesW((dir / L"new.gdb").c_str()), INVALID_FILE_ATTRIBUTES)
      << "opening must create nothing";
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

TEST(Files, MakeDirectoryCreatesOneLevel) {
  TempDir dir;
  EXPECT_TRUE(MakeDirectory(U16(dir / L"a")));
  EXPECT_EQ(QueryPath(U16(dir / L"a")), PathKind::Directory);
  EXPECT_FALSE(MakeDirectory(U16(dir / L"a"))) << "exists already";
  EXPECT_FALSE(MakeDirectory(U16(dir / L"b\\c"))) << "parent missing";
  EXPECT_EQ(QueryPath(U16(dir / L"b")), PathKind::Missing);
}

TEST(Process, ExecutablePathIsTheFullPathOfThisProgram) {
  const std::u16string path = ExecutablePath();
  ASSERT_GE(path.size(), 4u);
  EXPECT_EQ(path.substr(1, 2), u":\\") << Utf8(W(path));
  const std::u16string tail = u"\\platform_tests.exe";
  ASSERT_GT(path.size(), tail.size());
  EXPECT_EQ(CompareTextIgnoreCase(path.substr(path.size() - tail.size()), tail), 0)
      << Utf8(W(path));
}

TEST(Process, ConcealedArgumentsLeaveTheCommandLineButNotWhatTheProgramRead) {
  const std::vector<std::u16string> before = ProcessArguments();
  const std::u16string key = u"--gtest_filter=";
  bool found = false;
  for (const std::u16string& argument : before) found |= argument.rfind(key, 0) == 0;
  if (!found) GTEST_SKIP() << "run without --gtest_filter: no argument to conceal";
  ConcealArguments([&](const std::u16string& argument) {
    return argument.rfind(key, 0) == 0 ? key.size() : std::u16string::npos;
  });
  const std::wstring line = GetCommandLineW();
  EXPECT_NE(line.find(L"--gtest_filter=XXXX"), std::wstring::npos) << Utf8(line);
  EXPECT_EQ(line.find(L"Concealed"), std::wstring::npos) << Utf8(line);
  EXPECT_EQ(ProcessArguments(), before);
}

TEST(DynamicLibrary, MissingLibraryAndMissingNameReportTheSystemsError) {
  EXPECT_EQ(DynamicLibrary::Load("fbwarm-no-such-library.dll"), nullptr);
  SetLastError(0);  // a later call must not wipe out what the failed load said
  DynamicLibrary::Error error = DynamicLibrary::LastError();
  EXPECT_EQ(error.code, ERROR_MOD_NOT_FOUND);
  EXPECT_FALSE(error.text.empty());

  DynamicLibrary* kernel = DynamicLibrary::Load("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(
      kernel->Symbol("GetTickCount"),
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(kernel->Symbol("isc_service_attach"), nullptr);
  SetLastError(0);
  error = DynamicLibrary::LastError();
  EXPECT_EQ(error.code, ERROR_PROC_NOT_FOUND);
  const std::u16string message = EOSError(error.code, error.text).Message();
  EXPECT_EQ(message.substr(0, 25), u"Systemfehler.  Code: 127.");
  EXPECT_GT(message.size(), 27u) << "the system's text follows the code";
  EXPECT_NE(message.back(), u'.');
  EXPECT_NE(message.back(), u'\n');
}

TEST(TickCounter, CountsMilliseconds) {
  const uint32_t start = TickCount();
  Sleep(200);
  const uint32_t elapsed = TickCount() - start;  // unsigned: right across a wrap too
  EXPECT_GE(elapsed, 150u);
  EXPECT_LT(elapsed, 5000u);
}
