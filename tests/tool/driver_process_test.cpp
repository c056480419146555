// The driver as users meet it: the built binary, its exact output bytes and exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_cases.h"
#include "tests/tool/fbwarm_process.h"

namespace {

// A run whose client library cannot load, so that nothing reaches a server.
ProcessResult RunWithoutClient(std::vector<std::string> args, ProcessOptions options = {}) {
  options.args = std::move(args);
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  return RunProcess(FbwarmBinary(), options);
}

}  // namespace

TEST(Help, EachSpellingOfTheSwitchPrintsOnlyTheHelpAndEndsAtEndOfInput) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", "data");
  // The shared help table (tests/support/tool_cases.h), also run by the Windows build.
  for (const HelpCase& c : kHelpCases) {
    SCOPED_TRACE(c.spelling);
    ProcessOptions options;
    options.stdin_bytes = c.input;
    // The broken client library proves nothing else ran: loading it would print an error.
    ProcessResult r =
        RunWithoutClient({"/DB:" + dir / "db.fdb", c.spelling, "/USER:SYSDBA"}, options);
    EXPECT_EQ(r.out, CrLfLines(kHelpLines));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

TEST(Help, ADoubledSwitchIsNoHelpSwitch) {
  ProcessResult r = RunWithoutClient({"??"});
  EXPECT_EQ(r.out, CrLfLines({kNotLocal, kLibraryMissing}));
}

TEST(Help, OtherWordsForHelpRunAsBefore) {
  // Only "--help" and "-h" themselves join the help switch; look-alikes stay ordinary unknown
  // parameters, and the run goes on.
  for (const char* argument : {"---help", "--help=x", "-hh", "--h"}) {
    SCOPED_TRACE(argument);
    ProcessResult r = RunWithoutClient({argument});
    EXPECT_EQ(r.out, CrLfLines({kNotLocal, kLibraryMissing}));
  }
}

TEST(Help, WaitsForOneLineOfInputOnly) {
  ProcessOptions options;
  options.stdin_bytes = "\r\nmore input that nobody reads\n";
  ProcessResult r = RunWithoutClient({"?"}, options);
  EXPECT_EQ(r.out, CrLfLines(kHelpLines));
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Help, CtrlZEndsTheWaitWhileStandardInputStaysOpen) {
  ProcessOptions options;
  // The writer keeps the pipe open for a minute; only the Ctrl-Z byte can end the wait.
  options.shell_prefix = "{ printf 'x\\032'; sleep 60 2>/dev/null & } |";
  options.timeout_seconds = 20;
  ProcessResult r = RunWithoutClient({"?"}, options);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.out, CrLfLines(kHelpLines));
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Help, ClosedStandardInputIsAnErrorLineNotACrash) {
  ProcessOptions options;
  options.shell_prefix = "exec 0<&-;";
  ProcessResult r = RunWithoutClient({"?"}, options);
  std::vector<std::string> expected = kHelpLines;
  expected.push_back("FEHLER E/A-Fehler 9");
  EXPECT_EQ(r.out, CrLfLines(expected));
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(NativeFileCache, RunsOnlyForAnExistingFileAndThenGoesOn) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", std::string(100000, 'x'));
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_symlink(dir / "db.fdb", dir / "file-link");
  std::filesystem::create_symlink(dir / "folder", dir / "folder-link");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling-link");
  const std::vector<std::string> read = {"Natives FileCache Start...", "Natives FileCache Fertig.",
                                         kLibraryMissing};
  const std::vector<std::string> skipped = {kNotLocal, kLibraryMissing};
  struct Case {
    std::string db;
    std::vector<std::string> lines;
  } cases[] = {
      {dir / "db.fdb", read},
      {dir / "file-link", read},
      {dir / "folder", skipped},
      {dir / "folder-link", skipped},
      {dir / "dangling-link", skipped},
      {dir / "missing.fdb", skipped},
      {dir / "missing/db.fdb", skipped},
      {"", skipped},
      {"127.0.0.1:/var/lib/db.fdb", skipped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.db);
    ProcessResult r = RunWithoutClient({"/DB:" + c.db});
    EXPECT_EQ(r.out, CrLfLines(c.lines));
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

// An absolute path that names nothing here while the server is this machine's is said on
// standard error; standard output and the order of the run's errors stay as they are.
TEST(NativeFileCache, AnAbsolutePathMissingOnTheLocalServerIsSaid) {
  ScopedTempDir dir;
  const std::string db = dir / "missing.fdb";
  const std::string too_long(300, 's');
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"/DB:" + db}, MissingHereLine(db)},
      {{"/DB:" + db, "/SERVER:127.0.0.2/3051"}, MissingHereLine(db, "127.0.0.2/3051")},
      {{"/DB:" + db, "/SERVER:[::1]"}, MissingHereLine(db, "[::1]")},
      {{"/DB:" + db, "/SERVER:dbhost"}, ""},
      {{"/DB:main"}, ""},                          // an alias
      {{"/DB:" + db, "/SERVER:" + too_long}, ""},  // refused later, after the library
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ProcessResult r = RunWithoutClient(c.args);
    EXPECT_EQ(r.out, CrLfLines({kNotLocal, kLibraryMissing}));
    // The missing-path note comes first, where the path is looked at; the library's reason
    // comes last, before its error line.
    EXPECT_EQ(r.err, c.err +
                         "fbwarm: Die Firebird-Clientbibliothek libfbclient.so.2 kann nicht "
                         "geladen werden: " +
                         BrokenClientDir() +
                         "/libfbclient.so.2: file too short. Sie gehoert zum Debian-Paket "
                         "libfbclient2 (apt-get install libfbclient2).\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

TEST(NativeFileCache, ReadsAFileAnotherProcessKeepsOpenForWriting) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", std::string(4096, 'x'));
  ProcessOptions options;
  options.shell_prefix = "exec 7>>'" + dir / "db.fdb" + "';";
  ProcessResult r = RunWithoutClient({"/DB:" + dir / "db.fdb"}, options);
  EXPECT_EQ(r.out, CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.",
                              kLibraryMissing}));
}

TEST(NativeFileCache, TooLittleMemoryForTheBufferEndsTheRun) {
  if (std::getenv("FBWARM_SANITIZED")) GTEST_SKIP() << "sanitizers need more address space";
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", "data");
  ProcessOptions options;
  options.shell_prefix = "ulimit -v 40000;";  // KiB: enough to start, not for 64 MiB more
  ProcessResult r = RunWithoutClient({"/DB:" + dir / "db.fdb"}, options);
  EXPECT_EQ(r.out, CrLfLines({"Natives FileCache Start...", "FEHLER Zu wenig Arbeitsspeicher"}));
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Output, NoParametersGivesTheFileCacheLineAndTheFirstMissingParameter) {
  ProcessOptions options;
  options.args = {};
  options.env["LD_LIBRARY_PATH"] = StandinDir();
  ProcessResult r = RunProcess(FbwarmBinary(), options);
  EXPECT_EQ(r.out, CrLfLines({kNotLocal, "FEHLER Parameter USER fehler"}));
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Output, AFileReceivesTheSameBytesAsAPipe) {
  ScopedTempDir dir;
  ProcessOptions options;
  options.stdout_path = dir / "out.txt";
  ProcessResult to_file = RunWithoutClient({"/DB:" + dir.path()}, options);
  ProcessResult to_pipe = RunWithoutClient({"/DB:" + dir.path()});
  EXPECT_EQ(ReadFileBytes(dir / "out.txt"), CrLfLines({kNotLocal, kLibraryMissing}));
  EXPECT_EQ(to_pipe.out, ReadFileBytes(dir / "out.txt"));
  EXPECT_EQ(to_file.exit_code, 0) << to_file.err;
}

TEST(Output, OutputThatCannotBeWrittenEndsWithExitCodeOneAndAMessageOnStandardError) {
  struct Case {
    const char* name;
    ProcessOptions options;
    std::string message;
  } cases[] = {
      {"full device", {}, "Zu wenig Speicherplatz"},
      {"closed pipe", {}, "E/A-Fehler 32"},
      {"closed stream", {}, "E/A-Fehler 9"},
      {"file-size limit reached", {}, "E/A-Fehler 27"},  // EFBIG, not death by SIGXFSZ
  };
  ScopedTempDir dir;
  cases[0].options.stdout_path = "/dev/full";
  cases[1].options.stdout_closed_pipe = true;
  cases[2].options.shell_prefix = "exec 1>&-;";
  cases[3].options.shell_prefix = "ulimit -f 0;";
  cases[3].options.stdout_path = dir / "out.txt";
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessResult r = RunWithoutClient({"/DB:/"}, c.options);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(r.signal, 0);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST(ParameterFile, TheIniBesideTheExecutableAddsParametersAfterTheArguments) {
  ScopedTempDir dir;
  std::filesystem::copy_file(FbwarmBinary(), dir / "fbwarm");
  WriteFileBytes(dir / "db.fdb", "data");
  WriteFileBytes(dir / "fbwarm.INI",
                 "[Other]\r\n/DB:/\r\n[STARTPARAMS]\r\n/DB:" + dir / "db.fdb" + "\r\n");
  ProcessOptions options;
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  ProcessResult from_file = RunProcess(dir / "fbwarm", options);
  EXPECT_EQ(from_file.out, CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.",
                                      kLibraryMissing}));
  options.args = {"/DB:" + dir.path()};  // the command line comes first and wins
  ProcessResult overridden = RunProcess(dir / "fbwarm", options);
  EXPECT_EQ(overridden.out, CrLfLines({kNotLocal, kLibraryMissing}));
}

TEST(ParameterFile, TempParameterCreatesItsDirectory) {
  ScopedTempDir dir;
  const std::string temp = dir / "a/b/c";
  ProcessResult r = RunWithoutClient({"/TEMP:" + temp + "/"});
  EXPECT_TRUE(std::filesystem::is_directory(temp));
  EXPECT_EQ(r.out, CrLfLines({kNotLocal, kLibraryMissing}));
}

// Runs that used to end without a word on standard error about their cause.
TEST(StandardError, EachSilentCauseIsNamedAndStandardOutputStaysAsItWas) {
  ScopedTempDir dir;
  std::filesystem::copy_file(FbwarmBinary(), dir / "fbwarm");
  std::filesystem::create_symlink(dir / "loop-b", dir / "loop-a");
  std::filesystem::create_symlink(dir / "loop-a", dir / "loop-b");
  struct Case {
    const char* what;
    std::string ini;  // beside the copied binary; none when empty
    std::vector<std::string> args;
    std::vector<std::string> out;
    std::string err;
  } cases[] = {
      {"a parameter file without a [STARTPARAMS] section, and a parameter missing",
       "[Startparameter]\r\n/USER:SYSDBA\r\n",
       {},
       {kNotLocal, "FEHLER Parameter USER fehler"},
       "fbwarm: Parameter USER fehlt: die Parameterdatei " + dir / "fbwarm.INI" +
           " wurde gelesen, hat aber keinen Abschnitt [STARTPARAMS]; nur die Zeilen darin gelten "
           "als Parameter.\n"},
      {"a file with its section, and a parameter missing: not a word of the file",
       "[STARTPARAMS]\r\n/USER:SYSDBA\r\n",
       {"/PASSWORD:x"},
       {kNotLocal, "FEHLER Parameter DB fehler"},
       ""},
      {"a /TEMP: directory that cannot be made",
       "",
       {"/TEMP:/proc/fbwarm-no-such/tmp", "/USER:SYSDBA"},
       {kNotLocal, "FEHLER Parameter PASSWORD fehler"},
       "fbwarm: WARNUNG: /TEMP: wurde nicht angewandt: das Verzeichnis "
       "\"/proc/fbwarm-no-such/tmp\" gibt es nicht, und es kann nicht angelegt werden. TEMP und "
       "TMP bleiben, wie sie waren.\n"},
      {"a /TEMP: value too long",
       "",
       {"/TEMP:/tmp/" + std::string(300, 't'), "/USER:SYSDBA"},
       {kNotLocal, "FEHLER Parameter PASSWORD fehler"},
       "fbwarm: WARNUNG: /TEMP: wurde nicht angewandt: der Wert ist laenger als 255 Zeichen. "
       "TEMP und TMP bleiben, wie sie waren.\n"},
      {"a loop of symbolic links as /DB:, which no user can resolve",
       "",
       {"/DB:" + dir / "loop-a", "/USER:SYSDBA"},
       {kNotLocal, "FEHLER Parameter PASSWORD fehler"},
       "fbwarm: WARNUNG: Der Pfad " + dir / "loop-a" +
           " ist vielleicht lokal, kann aber nicht erreicht werden: Too many levels of symbolic "
           "links. Der Dateicache wurde nicht gefuellt.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir / "fbwarm.INI");
    if (!c.ini.empty()) WriteFileBytes(dir / "fbwarm.INI", c.ini);
    ProcessOptions options;
    options.args = c.args;
    options.env["LD_LIBRARY_PATH"] = StandinDir();
    ProcessResult r = RunProcess(dir / "fbwarm", options);
    EXPECT_EQ(r.out, CrLfLines(c.out));
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

TEST(StandardError, APasswordInAParameterFileThatOthersMayReadIsWarnedAbout) {
  ScopedTempDir dir;
  std::filesystem::copy_file(FbwarmBinary(), dir / "fbwarm");
  WriteFileBytes(dir / "fbwarm.INI", "[STARTPARAMS]\r\n/USER:SYSDBA\r\n/PASSWORD:secret\r\n");
  const std::string warning =
      "fbwarm: WARNUNG: Die Parameterdatei enthaelt ein Passwort und ist fuer andere Benutzer "
      "lesbar; sie sollte nur fuer ihren Eigentuemer lesbar sein.\n";
  const std::pair<mode_t, std::string> cases[] = {
      {0644, warning}, {0640, warning}, {0604, warning}, {0600, ""}};
  for (const auto& [mode, err] : cases) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod((dir / "fbwarm.INI").c_str(), mode), 0);
    ProcessOptions options;
    options.env["LD_LIBRARY_PATH"] = StandinDir();
    ProcessResult r = RunProcess(dir / "fbwarm", options);
    EXPECT_EQ(r.out, CrLfLines({kNotLocal, "FEHLER Parameter DB fehler"}));
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

TEST(StandardError, TheInstalledParameterFileUnreadableForTheServersUserIsNamed) {
  // Under /tmp, not TMPDIR: nobody must reach the copy wherever the checkout is.
  ScopedTempDir dir("/tmp");
  const OtherUserCopy copy = CopyForOtherUser(dir.path());
  if (!copy.skip_reason.empty()) GTEST_SKIP() << copy.skip_reason;
  const std::string ini = dir / "bin/fbwarm.INI";
  WriteFileBytes(ini, "[STARTPARAMS]\r\n/USER:SYSDBA\r\n/PASSWORD:secret\r\n");
  chmod(ini.c_str(), 0600);  // root's, as the package installs it
  ProcessOptions options;
  options.wrapper = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
  options.working_dir = dir.path();
  // The system's own client library (libfbclient2) loads without a server: the run ends at the
  // first missing parameter, as it does for the server's user under the installed file.
  options.env["LD_LIBRARY_PATH"] = std::nullopt;
  ProcessResult r = RunProcess(copy.binary, options);
  if (r.out.find(kLibraryMissing) != std::string::npos)
    GTEST_SKIP() << "the system has no client library (libfbclient2)";
  EXPECT_EQ(r.out, CrLfLines({kNotLocal, "FEHLER Parameter USER fehler"}));
  EXPECT_EQ(r.err, "fbwarm: WARNUNG: Die Parameterdatei " + ini +
                       " ist vorhanden, kann aber nicht gelesen werden: Permission denied. Ihre "
                       "Parameter gelten fuer diesen Lauf nicht; fbwarm als ihr Eigentuemer oder "
                       "als root starten, oder ihr das Leserecht fuer diesen Benutzer geben.\n");
}
