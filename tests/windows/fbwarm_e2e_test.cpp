// fbwarm.exe end to end under Windows (Wine here): run as another program would start it, with
// an exact command line, against the stand-in client library as gds32.dll beside the .exe.
// Checked: the exact output bytes, the bytes that reach the client library, how the library is
// found and what an unusable one gives, the parameter file beside the .exe, the TEMP
// redirection, files held open by another process, and text in the ANSI code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/tool_cases.h"
#include "tests/windows/win32_support.h"

namespace {

// UTF-16 little-endian bytes with their byte-order mark.
std::string Utf16LeFile(const std::wstring& text) {
  std::string bytes = "\xff\xfe";
  for (wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

struct ToolRun {
  ProcessResult result;
  std::vector<std::string> log;    // every line of the stand-in's log
  std::vector<std::string> calls;  // its isc_service_ lines
};

class Fbwarm : public testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << "these runs expect the ANSI code page 1252";
    // A blank in the program's directory: argument 0 and the parameter file must cope.
    bin_ = dir_ / L"My Tools";
    ASSERT_TRUE(CreateDirectoryW(bin_.c_str(), nullptr));
    exe_ = bin_ + L"\\fbwarm.exe";
    CopyFileOrThrow(HostPath(FBWARM_EXE), exe_);
  }

  static std::wstring Variant(const std::string& variant, const wchar_t* file) {
    return HostPath(STANDIN_DIR "/" + variant) + L"\\" + file;
  }
  void UseClient(const std::string& variant) {
    CopyFileOrThrow(Variant(variant, L"gds32.dll"), bin_ + L"\\gds32.dll");
  }
  void UseXml(const std::string& variant) {
    CopyFileOrThrow(Variant(variant, L"ibxml.dll"), bin_ + L"\\ibxml.dll");
  }

  // Runs the tool with arguments after its own quoted path, and the stand-in's script.
  ToolRun Run(const std::wstring& arguments, const std::string& script = "",
              ProcessOptions options = {}) {
    const std::wstring log = dir_ / L"standin.log";
    DeleteFileW(log.c_str());
    WriteBytes(dir_ / L"standin.script", script);
    options.env["FBWARM_STANDIN_SCRIPT"] = Utf8(dir_ / L"standin.script");
    options.env["FBWARM_STANDIN_LOG"] = Utf8(log);
    options.command_line = Utf8(L"\"" + exe_ + L"\" " + arguments);
    ToolRun run;
    run.result = RunProcess(Utf8(exe_), options);
    EXPECT_FALSE(run.result.timed_out);
    run.log = SplitAt(ReadBytes(log), "\n");
    run.calls = ServiceCalls(run.log);
    return run;
  }

  // The TEMP and TMP the stand-in found when the tool loaded it, as "TEMP=<hex> TMP=<hex>".
  static std::string LoadedEnvironment(const ToolRun& run) {
    for (const std::string& line : run.log)
      if (line.rfind("standin_load ", 0) == 0) return line.substr(13);
    return "(not loaded)";
  }

  TempDir dir_;
  std::wstring bin_;
  std::wstring exe_;
};

const std::wstring kArgs = L"/DB:C:\\DB\\A.GDB /USER:SYSDBA /PASSWORD:secret";
const std::string kSpb = AttachSpb("SYSDBA", "secret");
// The 20 bytes that start the statistics of C:\DB\A.GDB with data and index pages.
const std::string kStart = "0b6a0b00433a5c44425c412e4744426c09000000";

class FbwarmReport : public Fbwarm, public testing::WithParamInterface<ReportCase> {};
class FbwarmServerCache : public Fbwarm, public testing::WithParamInterface<ServerCacheCase> {};

}  // namespace

// The shared report table (tests/support/tool_cases.h), also run by the POSIX build.
TEST_P(FbwarmReport, ReportLinesGoOutByteForByteWithCrLfAndOneQueryEach) {
  const ReportCase& c = GetParam();
  UseClient("full");
  ToolRun run = Run(kArgs, c.script);
  EXPECT_EQ(run.result.out, ReportOutput(c));
  // Far below 2000 ms, and standard error says that this alone made it fail.
  const std::string missing = MissingHereLine("C:\\DB\\A.GDB");
  ASSERT_EQ(run.result.err.substr(0, missing.size()), missing);
  EXPECT_TRUE(
      std::regex_match(run.result.err.substr(missing.size()), std::regex(kTooShortLine + "\n")))
      << run.result.err;
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  // The 20 bytes of the start request, written out once.
  EXPECT_EQ(StatisticsStart("C:\\DB\\A.GDB"), kStart);
  EXPECT_EQ(run.calls, ReportCalls(c, "C:\\DB\\A.GDB"));
}

INSTANTIATE_TEST_SUITE_P(Shared, FbwarmReport, testing::ValuesIn(kReportCases), ReportCaseName);

// The shared /SERVERCACHE table (tests/support/tool_cases.h), also run by the POSIX build.
TEST_P(FbwarmServerCache, SaysWhatTheStepDidOnStandardErrorAndLeavesStandardOutputAlone) {
  const ServerCacheCase& c = GetParam();
  UseClient("full");
  ToolRun run = Run(kArgs + L" /SERVERCACHE", c.script);
  ExpectServerCacheLines(c, run.result.out, run.result.err, MissingHereLine("C:\\DB\\A.GDB"));
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  if (c.same_as_without) {
    EXPECT_EQ(Run(kArgs, c.script).result.out, run.result.out);
  }
}

INSTANTIATE_TEST_SUITE_P(Shared, FbwarmServerCache, testing::ValuesIn(kServerCacheCases),
                         ServerCacheCaseName);

TEST_F(Fbwarm, ARunOfTwoSecondsEndsWithTheResultLineNamingServerAndDatabase) {
  UseClient("full");
  ProcessOptions options;
  options.env["FBWARM_STANDIN_LOAD_DELAY_MS"] = "2100";
  ToolRun run = Run(kArgs + L" /SERVER:dbhost/3051", "line only\n", options);
  EXPECT_EQ(run.result.out,
            CrLfLines({kNotLocal, "only", "", "Fertig! (DB=dbhost/3051:C:\\DB\\A.GDB)"}));
  ASSERT_FALSE(run.calls.empty());
  EXPECT_EQ(run.calls[0], AttachCall("dbhost/3051", kSpb));
}

TEST_F(Fbwarm, TheCommandLineIsSplitByTheToolsOwnRules) {
  UseClient("full");
  // Quotes open and close stretches anywhere in an argument and are dropped; a backslash is an
  // ordinary character; two quotes standing alone give no argument.
  ToolRun run =
      Run(L"\"\" \"/DB:C:\\My Data\\Main.gdb\" /USER:\"SYS\"DBA \"\" "
          L"/PASSWORD:se\" \"cret\\ \"\"",
          "");
  EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "", kTooFast}));
  ASSERT_EQ(run.calls.size(), 4u) << run.result.out;
  EXPECT_EQ(run.calls[0], AttachCall("127.0.0.1", AttachSpb("SYSDBA", "se cret\\")));
  EXPECT_EQ(run.calls[1], StartCall("C:\\My Data\\Main.gdb"));
}

// The shared help table (tests/support/tool_cases.h), also run by the POSIX build.
TEST_F(Fbwarm, HelpPrintsItsLinesAndWaitsForOneLineOfInput) {
  const std::string help = CrLfLines(kHelpLines);
  UseClient("full");
  for (const HelpCase& c : kHelpCases) {
    SCOPED_TRACE(c.spelling);
    ProcessOptions options;
    options.stdin_bytes = c.input;
    ToolRun run =
        Run(L"/DB:C:\\DB\\A.GDB " + std::wstring(c.spelling, c.spelling + strlen(c.spelling)) +
                L" /USER:SYSDBA",
            "", options);
    EXPECT_EQ(run.result.out, help);
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
    EXPECT_TRUE(run.log.empty()) << "help mode loads no client library";
  }
  // Alone, and before all the other parameters.
  for (const std::wstring& arguments : {std::wstring(L"/?"), L"-? " + kArgs}) {
    SCOPED_TRACE(Utf8(arguments));
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.result.out, help);
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
    EXPECT_TRUE(run.log.empty()) << "help mode loads no client library";
  }
}

TEST_F(Fbwarm, ClientLibraryIsFoundBesideTheProgramOrOnThePath) {
  // Reported before any parameter is looked at.
  EXPECT_EQ(Run(L"").result.out, CrLfLines({kNotLocal, kLibraryMissing}));

  // Something that is no DLL at all is missing too, and brings up no dialog box.
  WriteBytes(bin_ + L"\\gds32.dll", "not a library");
  ToolRun broken = Run(kArgs);
  EXPECT_EQ(broken.result.out, CrLfLines({kNotLocal, kLibraryMissing}));
  EXPECT_FALSE(broken.result.timed_out);
  DeleteFileW((bin_ + L"\\gds32.dll").c_str());

  // The standard search order: a directory on PATH serves as well as the program's own.
  const std::wstring elsewhere = dir_ / L"client";
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  CopyFileOrThrow(Variant("full", L"gds32.dll"), elsewhere + L"\\gds32.dll");
  ProcessOptions options;
  wchar_t path[32768];
  const DWORD length = GetEnvironmentVariableW(L"PATH", path, 32768);
  options.env["PATH"] = Utf8(elsewhere + L";" + std::wstring(path, length));
  ToolRun on_path = Run(kArgs, "", options);
  EXPECT_EQ(on_path.result.out, CrLfLines({kNotLocal, "", kTooFast}));
  EXPECT_EQ(on_path.calls.size(), 4u);
}

TEST_F(Fbwarm, LoaderVariantsOfOlderAndIncompleteLibraries) {
  const std::string os_error = "FEHLER Systemfehler.  Code: 127.";
  struct Case {
    std::string client;
    std::string xml;  // empty: no ibxml.dll
    std::vector<std::string> first_lines;
    size_t service_calls;
  } cases[] = {
      {"full", "", {kNotLocal, "", kTooFast}, 4},
      {"v80", "xml", {kNotLocal, "", kTooFast}, 4},
      {"no-version-functions", "", {kNotLocal, "", kTooFast}, 4},
      {"no-rollback-retaining",
       "",
       {kNotLocal,
        "FEHLER isc_service_attach is an InterBase 6 function. Please upgrade to InterBase 6 "
        "to use this functonality"},
       0},
      {"no-transaction-info", "", {kNotLocal, os_error}, 0},
      {"full", "xml-incomplete", {kNotLocal, os_error}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.client + " " + c.xml);
    DeleteFileW((bin_ + L"\\ibxml.dll").c_str());
    UseClient(c.client);
    if (!c.xml.empty()) UseXml(c.xml);
    ToolRun run = Run(kArgs);
    std::vector<std::string> lines = SplitCrLf(run.result.out);
    if (c.first_lines.back() == os_error) {
      // The system's own text for the code follows on a line of its own, without a full stop.
      ASSERT_EQ(lines.size(), 3u) << run.result.out;
      EXPECT_FALSE(lines[2].empty());
      EXPECT_NE(lines[2].back(), '.');
      lines.pop_back();
    }
    EXPECT_EQ(lines, c.first_lines);
    EXPECT_EQ(run.calls.size(), c.service_calls);
  }
}

TEST_F(Fbwarm, ParameterFileBesideTheProgramInEveryEncoding) {
  UseClient("full");
  // The password "geheim" + a-umlaut reaches the server in the ANSI code page: E4.
  const std::string spb = AttachSpb("SYSDBA", "geheim\xe4");
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"ANSI", "[Other]\r\n/DB:wrong\r\n[startparams]\r\n  /USER:SYSDBA\r\n/PASSWORD:geheim\xe4"},
      {"UTF-8", "\xef\xbb\xbf[STARTPARAMS]\n/USER:SYSDBA\n/PASSWORD:geheim\xc3\xa4\n"},
      {"UTF-16", Utf16LeFile(L"[STARTPARAMS]\r\n/USER:SYSDBA\r/PASSWORD:geheim\u00e4")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(bin_ + L"\\fbwarm.INI", c.bytes);
    ToolRun run = Run(L"/DB:C:\\DB\\A.GDB");
    EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "", kTooFast}));
    ASSERT_FALSE(run.calls.empty()) << run.result.out;
    EXPECT_EQ(run.calls[0], "isc_service_attach service=" + Hex("127.0.0.1:service_mgr") +
                                " spb=" + spb + " handle=0");
  }
}

TEST_F(Fbwarm, ParameterFileThatAWriterHoldsOpenContributesNothing) {
  UseClient("full");
  WriteBytes(bin_ + L"\\fbwarm.INI", "[STARTPARAMS]\r\n/USER:SYSDBA\r\n/PASSWORD:x\r\n");
  {
    HeldFile editor(bin_ + L"\\fbwarm.INI", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(Run(L"/DB:C:\\DB\\A.GDB").result.out,
              CrLfLines({kNotLocal, "FEHLER Parameter USER fehler"}));
  }
  HeldFile reader(bin_ + L"\\fbwarm.INI", GENERIC_READ, FILE_SHARE_READ);
  EXPECT_EQ(Run(L"/DB:C:\\DB\\A.GDB").result.out, CrLfLines({kNotLocal, "", kTooFast}));
}

TEST_F(Fbwarm, TempRedirectionWithDriveLettersAndBackslashes) {
  UseClient("full");
  const std::wstring work = dir_ / L"work";
  ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr));
  const std::wstring inherited = L"C:\\inherited-temp";
  struct Case {
    std::wstring argument;              // the TEMP argument as typed
    std::wstring expected;              // TEMP and TMP in the tool afterwards
    std::vector<std::wstring> created;  // directories that must exist afterwards
  } cases[] = {
      {L"/TEMP:" + work + L"\\T\\Run", work + L"\\T\\Run", {work + L"\\T", work + L"\\T\\Run"}},
      {L"/TEMP:" + work + L"\\T2\\", work + L"\\T2\\", {work + L"\\T2"}},
      {L"\"/TEMP:" + work + L"\\My Temp\"", work + L"\\My Temp", {work + L"\\My Temp"}},
      {L"/TEMP:%FBWARM_WORK%\\Tmp", work + L"\\Tmp", {work + L"\\Tmp"}},
      {L"/TEMP:D:", L"D:", {}},                        // a drive counts as present
      {L"/TEMP:x", L"x", {}},                          // too short to be tested
      {L"/TEMP:%FBWARM_NOSUCH%\\Tmp", inherited, {}},  // a relative path that fails
      {L"/TEMP:", inherited, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.argument));
    ProcessOptions options;
    options.env["TEMP"] = Utf8(inherited);
    options.env["TMP"] = Utf8(inherited);
    options.env["FBWARM_WORK"] = Utf8(work);
    options.env["FBWARM_NOSUCH"] = std::nullopt;
    options.working_dir = Utf8(work);
    ToolRun run = Run(c.argument + L" " + kArgs, "", options);
    EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "", kTooFast}));
    const std::string hex = Hex(Utf8(c.expected));
    EXPECT_EQ(LoadedEnvironment(run), "TEMP=" + hex + " TMP=" + hex);
    for (const std::wstring& directory : c.created) {
      const DWORD attributes = GetFileAttributesW(directory.c_str());
      EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
          << Utf8(directory);
    }
  }
  EXPECT_EQ(GetFileAttributesW((work + L"\\%FBWARM_NOSUCH%").c_str()), INVALID_FILE_ATTRIBUTES)
      << "a failed redirection creates nothing";
}

// After the report the tool asks the local server about its cache through an attachment of its
// own; a stand-in without a script for it tells no page buffers, so the question goes
// unanswered, said once.
const std::string kStandinProbe =
    "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, war nicht festzustellen, "
    "die Abfrage beim Server misslang: Unexpected answer from the server: no "
    "isc_info_num_buffers";

// After the warning: the probe's line, then the line that says the run was too short.
void ExpectProbeThenTooShort(const std::string& err) {
  const std::vector<std::string> lines = SplitAt(err, "\n");
  ASSERT_EQ(lines.size(), 3u) << err;
  EXPECT_EQ(lines[1], kStandinProbe);
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(kTooShortLine))) << err;
}

TEST_F(Fbwarm, DatabaseFileHeldOpenByAnotherProcessWithAndWithoutSharedReading) {
  UseClient("full");
  const std::wstring db = dir_ / L"Main.gdb";
  WriteBytes(db, std::string(1 << 20, 'p'));
  const std::wstring arguments = L"\"/DB:" + db + L"\" /USER:SYSDBA /PASSWORD:secret";
  const std::string expected =
      CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.", "", kTooFast});
  const std::string start = StartCall(Utf8(db));
  {
    // The database server: writing, and sharing reading and writing.
    HeldFile server(db, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.result.out, expected);
    // Windows cannot be asked which pages its cache holds: the size and the bytes read only.
    EXPECT_EQ(run.result.err.rfind("fbwarm: Dateicache: 1.0 MB, Anteil im Cache nicht "
                                   "feststellbar; gelesen 1.0 MB in ",
                                   0),
              0u)
        << run.result.err;
    ExpectProbeThenTooShort(run.result.err);
    ASSERT_EQ(run.calls.size(), 4u);
    EXPECT_EQ(run.calls[1], start);
  }
  {
    // Held without sharing: still a local file (in use), the read-through reads nothing:
    // the same lines, and the warm-up run follows. Standard error says why, with the system's
    // reason and the owner.
    HeldFile exclusive(db, GENERIC_READ | GENERIC_WRITE, 0);
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.result.out, expected);
    EXPECT_EQ(
        run.result.err.rfind(
            "fbwarm: WARNUNG: Die Datenbankdatei " + Utf8(db) + " kann nicht gelesen werden: ", 0),
        0u)
        << run.result.err;
    ExpectProbeThenTooShort(run.result.err);
    EXPECT_EQ(run.calls.size(), 4u);
  }
  // A directory is no local file, whatever it is called.
  ToolRun directory = Run(L"\"/DB:" + dir_.path() + L"\" /USER:SYSDBA /PASSWORD:secret");
  EXPECT_EQ(directory.result.out, CrLfLines({kNotLocal, "", kTooFast}));
}

// The stand-in answers the attachment that asks about the cache from its script, as the
// in-process fake does: here the page buffers and the server mode. No Firebird server process
// runs here to tell the threshold, so the answer stays open, with every input named.
TEST_F(Fbwarm, TheCacheQuestionGetsTheScriptsDatabaseAnswers) {
  UseClient("full");
  const std::wstring db = dir_ / L"Main.gdb";
  WriteBytes(db, std::string(1 << 20, 'p'));
  ToolRun run = Run(L"\"/DB:" + db + L"\" /USER:SYSDBA /PASSWORD:secret",
                    "info 15 70 11 01 00\ninfo 61 70 11 01 00\ninfo 102 0e 00 00 00\n"
                    "info 32 0c 00 00 00\nresult RDB$RELATIONS\ncolumns LONG\n");
  EXPECT_EQ(run.result.out,
            CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.", "", kTooFast}));
  const std::vector<std::string> lines = SplitAt(run.result.err, "\n");
  ASSERT_EQ(lines.size(), 3u) << run.result.err;
  EXPECT_EQ(lines[1],
            "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, ist nicht "
            "festzustellen: Page buffers 70000 in Kraft (vom Server, isc_info_num_buffers, "
            "SuperServer; im Kopf der Datenbank gesetzt); FileSystemCacheThreshold ist unbekannt: "
            "kein Firebird-Serverprozess ist zu sehen; nicht bestaetigt: kein Serverprozess, "
            "dessen Deskriptoren sich pruefen liessen.");
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(kTooShortLine))) << run.result.err;
  std::string attach;
  for (const std::string& line : run.log)
    if (line.rfind("isc_attach_database ", 0) == 0) attach = line;
  EXPECT_EQ(attach, "isc_attach_database name=" + Hex("127.0.0.1:" + Utf8(db)) +
                        " dpb=" + DatabaseDpb("SYSDBA", "secret") + " handle=0");
}

TEST_F(Fbwarm, TextCrossesInCodePage1252AndALackingCharacterBecomesAQuestionMark) {
  UseClient("full");
  ProcessOptions options;
  options.env["FBWARM_STANDIN_LOAD_DELAY_MS"] = "2100";
  // o-umlaut, sharp s and the euro sign are in 1252; the CJK character and U+0100 are not.
  const std::wstring db = L"C:\\Daten\\Gr\u00f6\u00dfe\u20ac\u4e2d\u0100.gdb";
  const std::string ansi =
      "C:\\Daten\\Gr\xf6\xdf"
      "e\x80??.gdb";
  ToolRun run =
      Run(L"\"/DB:" + db + L"\" /USER:SYSDBA /PASSWORD:secret", "line Seite \\xe4\\x80\n", options);
  EXPECT_EQ(run.result.out,
            CrLfLines({kNotLocal, "Seite \xe4\x80", "", "Fertig! (DB=127.0.0.1:" + ansi + ")"}));
  ASSERT_EQ(run.calls.size(), 5u);  // attach, start, two queries, detach
  EXPECT_EQ(run.calls[1], StartCall(ansi));
}

TEST_F(Fbwarm, StandardOutputThatRefusesWritesEndsWithExitCodeOne) {
  UseClient("full");
  const std::wstring out = dir_ / L"read-only.txt";
  WriteBytes(out, "");
  ProcessOptions options;
  options.stdout_path = Utf8(out);
  options.stdout_read_only = true;
  ToolRun run = Run(kArgs, "", options);
  EXPECT_EQ(run.result.exit_code, 1) << run.result.err;
  EXPECT_NE(run.result.err.find("Dateizugriff verweigert"), std::string::npos) << run.result.err;
  EXPECT_EQ(ReadBytes(out), "");
}

TEST_F(Fbwarm, PasswordValuesVanishFromTheCommandLineThatOthersSee) {
  // Help mode waits for Enter, which gives the time to look at the running tool.
  std::wstring seen;
  ProcessOptions options;
  options.stdin_bytes = "\r\n";
  options.while_running = [&](void* process) {
    for (int attempt = 0; attempt < 200; ++attempt) {
      seen = CommandLineOf(process);
      if (seen.find(L"XXXX") != std::wstring::npos) break;
      Sleep(25);
    }
  };
  ToolRun run = Run(L"/? /USER:SYSDBA \"/PASSWORD:top secret\" -password=abc", "", options);
  EXPECT_EQ(SplitCrLf(run.result.out).size(), 13u);
  EXPECT_EQ(seen, L"\"" + exe_ + L"\" /? /USER:SYSDBA \"/PASSWORD:XXXXXXXXXX\" -password=XXX");
}

namespace {

// A database file of 8 KiB pages as far as /FIT reads it: the header page (ODS 12), one data
// page of table 128, and pages never written.
std::string SmallDatabaseFile() {
  std::string file(8 * 8192, '\0');
  file[0] = 1;                       // header
  file[16] = 0x00, file[17] = 0x20;  // page size 8192
  file[18] = 12, file[19] = '\x80';  // ODS 12
  file[44] = 0x2A;                   // creation date
  file[5 * 8192] = 5;                // data page
  file[5 * 8192 + 12] = 5;           // its own number
  file[5 * 8192 + 20] = '\x80';      // relation 128
  return file;
}

}  // namespace

// Without an answer about the file cache, /FIT still classifies, keeps its map beside the
// user's other local state, reads by plan, and says what it cannot show; standard output is
// that of a run without /FIT.
TEST_F(Fbwarm, FitReadsByPlanAndSaysWhatItCannotShowWithoutResidency) {
  UseClient("full");
  const std::wstring db = dir_ / L"Main.fdb";
  WriteBytes(db, SmallDatabaseFile());
  const std::wstring local = dir_ / L"AppData";
  ASSERT_TRUE(CreateDirectoryW(local.c_str(), nullptr));
  ProcessOptions options;
  options.env["LOCALAPPDATA"] = Utf8(local);
  const std::wstring args = L"\"/DB:" + db + L"\" /USER:SYSDBA /PASSWORD:secret";
  const ToolRun plain = Run(args, "line only\n", options);
  const ToolRun first = Run(args + L" /FIT /MAXMB:1", "line only\n", options);
  const ToolRun later = Run(args + L" /FIT /MAXMB:1", "line only\n", options);
  const std::string without_residency =
      "fbwarm: FIT: Dieses System sagt nicht, welche Seiten der Datei im Dateicache liegen";
  for (const ToolRun* run : {&first, &later}) {
    EXPECT_EQ(run->result.out, plain.result.out);
    EXPECT_NE(run->result.err.find(without_residency), std::string::npos) << run->result.err;
  }
  EXPECT_EQ(plain.result.out, CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.",
                                         "only", "", "FEHLER Fehler aufgetreten"}));
  EXPECT_NE(first.result.err.find("fbwarm: FIT: Die ganze Datei wurde gelesen"), std::string::npos)
      << first.result.err;
  EXPECT_NE(later.result.err.find("fbwarm: FIT: Seitenkarte von gerade eben"), std::string::npos)
      << later.result.err;
  EXPECT_EQ(plain.result.err.find("FIT"), std::string::npos);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((local + L"\\fbwarm\\Main.fdb-*.pagemap").c_str(), &found);
  EXPECT_NE(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}
