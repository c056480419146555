// The operator's words: the memory and /SKIPCACHED decisions and how they are said, the
// residency line, progress that only a terminal sees, the bypass verdict, and the lines for
// failures that their FEHLER line alone does not explain.
#include "tool/operator_report.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Records what the report says instead of writing to standard error.
class RecordingChannel : public ErrorChannel {
 public:
  explicit RecordingChannel(bool terminal = false) : terminal_(terminal) {}
  void Line(const std::string& text) override { lines.push_back(text); }
  void Redraw(const std::string& text) override { redraws.push_back(text); }
  bool IsTerminal() override { return terminal_; }
  std::vector<std::string> lines, redraws;

 private:
  bool terminal_;
};

constexpr uint64_t kGB = 1000000000;

ReadProgress At(uint64_t done, uint64_t total, double seconds) { return {done, total, seconds}; }

// The plan of a file that opened.
ReadThroughPlan OpenedPlan(uint64_t size) {
  ReadThroughPlan plan;
  plan.path = u"/srv/db/main.fdb";
  plan.opened = true;
  plan.size = size;
  return plan;
}

}  // namespace

TEST(OperatorReport, TheMemoryWarningComesWhenTheFileIsLargerThanTheRoomAndNamesItsSource) {
  struct Case {
    uint64_t size;
    CacheRoom room;
    std::string line;  // empty: no warning
  } cases[] = {
      {10 * kGB, {10 * kGB, CacheRoom::Source::MemAvailable, ""}, ""},
      {0, {0, CacheRoom::Source::MemAvailable, ""}, ""},
      {10 * kGB,
       {4 * kGB, CacheRoom::Source::MemAvailable, ""},
       "fbwarm: WARNUNG: Die Datenbankdatei (10.0 GB) ist groesser als der Speicher, den der "
       "Dateicache nutzen kann (4.0 GB, nach MemAvailable): hoechstens etwa 4.0 GB der Datei "
       "koennen im Cache bleiben; das Lesen verdraengt ihren Anfang und andere Daten aus dem "
       "Cache."},
      {300000000,
       {190000000, CacheRoom::Source::Cgroup, "/fbwarm/db"},
       "fbwarm: WARNUNG: Die Datenbankdatei (300.0 MB) ist groesser als der Speicher, den der "
       "Dateicache nutzen kann (190.0 MB, Grenze der Speicher-cgroup /fbwarm/db abzueglich ihres "
       "uebrigen Speichers): hoechstens etwa 190.0 MB der Datei koennen im Cache bleiben; das "
       "Lesen verdraengt ihren Anfang und andere Daten aus dem Cache."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    RecordingChannel channel;
    ReadThroughPlan plan = OpenedPlan(c.size);
    plan.room_short = RoomTooSmall(c.size, c.room);
    OperatorReport(channel).ReadThroughPlanned(plan);
    EXPECT_EQ(channel.lines,
              c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
  }
}

TEST(OperatorReport, SkippingNeedsATrustedAnswerOnly) {
  struct Case {
    ResidencyState state;
    SkipRefusal expected;
    std::string line;
  } cases[] = {
      {ResidencyState::Trusted, SkipRefusal::None, ""},
      {ResidencyState::HiddenFromUser, SkipRefusal::ResidencyHidden,
       "fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil dieser Benutzer die Belegung des "
       "Dateicaches nicht sehen kann."},
      {ResidencyState::Unavailable, SkipRefusal::ResidencyUnavailable,
       "fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil die Belegung des Dateicaches auf "
       "diesem System nicht feststellbar ist."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(DecideSkip(c.state), c.expected);
    RecordingChannel channel;
    ReadThroughPlan plan = OpenedPlan(kGB);
    plan.skip_asked = true;
    plan.skip_refusal = c.expected;
    OperatorReport(channel).ReadThroughPlanned(plan);
    EXPECT_EQ(channel.lines,
              c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
  }
}

TEST(OperatorReport, TheResidencyLineShowsBeforeAndAfterOnlyForATrustedAnswer) {
  ReadThroughSummary s;
  s.size = 12800 * 1000000ull;
  s.page_size = 4096;
  s.before = {s.size / 4096 * 3 / 100, s.size / 4096};
  s.after = {s.size / 4096, s.size / 4096};
  s.bytes_read = s.size;
  s.seconds = 4.0;
  struct Case {
    ResidencyState state;
    uint64_t skipped;
    std::string line;
  } cases[] = {
      {ResidencyState::Trusted, 0,
       "fbwarm: Dateicache: 12.8 GB von 12.8 GB im Cache (100 %), vorher 3 %; gelesen 12.8 GB in "
       "4.0 s (3.2 GB/s)"},
      {ResidencyState::HiddenFromUser, 0,
       "fbwarm: Dateicache: 12.8 GB, Anteil im Cache fuer diesen Benutzer nicht sichtbar (nur fuer "
       "den Eigentuemer der Datei, wer sie schreiben darf, oder root); gelesen 12.8 GB in 4.0 s "
       "(3.2 GB/s)"},
      {ResidencyState::Unavailable, 0,
       "fbwarm: Dateicache: 12.8 GB, Anteil im Cache nicht feststellbar; gelesen 12.8 GB in 4.0 s "
       "(3.2 GB/s)"},
  };
  for (const Case& c : cases) {
    RecordingChannel channel;
    s.residency = c.state;
    OperatorReport(channel).ReadThroughDone(s);
    EXPECT_EQ(channel.lines, std::vector<std::string>{c.line});
  }
  // Skipped requests: the last one reaches past the end and counts only up to it.
  RecordingChannel channel;
  s.residency = ResidencyState::Trusted;
  s.bytes_read = 800 * 1000000ull;
  s.bytes_skipped = s.size;
  OperatorReport(channel).ReadThroughDone(s);
  ASSERT_EQ(channel.lines.size(), 1u);
  EXPECT_TRUE(
      channel.lines[0].ends_with("gelesen 800.0 MB in 4.0 s (200.0 MB/s), 12.0 GB schon "
                                 "im Cache und uebersprungen"))
      << channel.lines[0];
  // A read that broke off is said before the residency line; a file that did not open gets
  // neither (its plan said why).
  RecordingChannel broken;
  s.path = u"/srv/db/main.fdb";
  s.bytes_skipped = 0;
  s.broken = ReadThroughSummary::Break{u"Input/output error", 800 * 1000000ull};
  OperatorReport(broken).ReadThroughDone(s);
  ASSERT_EQ(broken.lines.size(), 2u);
  EXPECT_EQ(broken.lines[0],
            "fbwarm: WARNUNG: Das Lesen der Datenbankdatei /srv/db/main.fdb brach nach 800.0 MB "
            "ab: Input/output error. Der Rest der Datei wurde nicht in den Dateicache gelesen.");
  EXPECT_EQ(broken.lines[1].rfind("fbwarm: Dateicache: ", 0), 0u) << broken.lines[1];
  RecordingChannel unopened;
  OperatorReport(unopened).ReadThroughDone(std::nullopt);
  EXPECT_TRUE(unopened.lines.empty());
}

TEST(OperatorReport, ProgressIsDrawnOnlyOnATerminalAtMostFourTimesASecondAndCleared) {
  RecordingChannel pipe(false);
  OperatorReport quiet(pipe);
  for (int i = 0; i < 10; ++i) quiet.Progress(At(i, 10, i * 0.5));
  quiet.ProgressEnd();
  EXPECT_TRUE(pipe.redraws.empty());
  EXPECT_TRUE(pipe.lines.empty());

  RecordingChannel terminal(true);
  OperatorReport report(terminal);
  for (int i = 0; i < 1000; ++i) report.Progress(At(i * 1000000ull, 2 * kGB, i * 1e-6));
  ASSERT_EQ(terminal.redraws.size(), 1u);
  EXPECT_EQ(terminal.redraws[0], "fbwarm: Dateicache: 0 % (0 B von 2.0 GB)");
  report.Progress(At(kGB, 2 * kGB, 0.2));  // within a quarter second of the last drawing
  ASSERT_EQ(terminal.redraws.size(), 1u);
  report.Progress(At(kGB, 2 * kGB, 2.0));
  ASSERT_EQ(terminal.redraws.size(), 2u);
  EXPECT_EQ(terminal.redraws[1],
            "fbwarm: Dateicache: 50 % (1.0 GB von 2.0 GB), 500.0 MB/s, noch 2 s");
  report.ProgressEnd();
  EXPECT_EQ(terminal.redraws.back(), "");
  EXPECT_TRUE(terminal.lines.empty());
}

// The verdict in words: every input with its source, the descriptor's evidence, one line.
TEST(OperatorReport, TheBypassVerdictNamesTheSourceOfEachInput) {
  using Outcome = BypassVerdict::Outcome;
  ServerInstance debian{20173, "/usr/sbin/firebird", "/etc/firebird/3.0", 3050};
  BypassVerdict header;  // Firebird 3, buffers set in the header, confirmed by the descriptor
  header.outcome = Outcome::Bypasses;
  header.page_buffers = header.header_buffers = 70000;
  header.db_class = 14;
  header.threshold = VerdictInput<uint64_t>{65536, {InputOrigin::Default, ""}};
  header.port = 3050;
  header.server = debian;
  header.evidence = DescriptorEvidence::Direct;
  header.evidence_pid = 20173;
  header.by_rule = true;  // 70000 pages reach the threshold

  BypassVerdict defaults = header;  // the server's default, from databases.conf, unconfirmed
  defaults.header_buffers = 0;
  defaults.default_pages =
      VerdictInput<uint64_t>{70000, {InputOrigin::File, "/etc/firebird/3.0/databases.conf"}};
  defaults.evidence = DescriptorEvidence::Unreadable;

  BypassVerdict table = header;  // Firebird 4: UseFileSystemCache from RDB$CONFIG
  table.page_buffers = table.header_buffers = 2048;
  table.threshold.reset();
  table.use_file_system_cache =
      VerdictInput<bool>{false, {InputOrigin::ServerTable, "/etc/firebird/4.0/firebird.conf"}};
  table.evidence = DescriptorEvidence::Plain;

  BypassVerdict unknown = header;  // no server process on the port
  unknown.outcome = Outcome::Undetermined;
  unknown.threshold.reset();
  unknown.by_rule.reset();
  unknown.server.reset();
  unknown.port = 3051;
  unknown.servers_seen = {debian, {30001, "/usr/local/bin/firebird", "", std::nullopt}};
  unknown.evidence = DescriptorEvidence::NotLooked;

  BypassVerdict unreached;
  unreached.outcome = Outcome::Unreached;
  unreached.failure = u"Your user name and password are not defined\r\nAsk your administrator";

  const std::string warning =
      "fbwarm: WARNUNG: Der Server umgeht fuer diese Datenbank den Dateicache des Systems, das "
      "Lesen der Datei waermt nichts, was er nutzt. Grundlage: ";
  const std::string process =
      ", Serverprozess 20173 (/usr/sbin/firebird, Port 3050, Konfiguration /etc/firebird/3.0); ";
  const std::string gfix =
      ". Abhilfe: die Page buffers der Datenbank (gfix -buffers) unter FileSystemCacheThreshold "
      "setzen oder den Schwellwert erhoehen.";
  const struct {
    const char* what;
    BypassVerdict verdict;
    std::string line;
  } cases[] = {
      {"header", header,
       warning +
           "Page buffers 70000 in Kraft (vom Server, isc_info_num_buffers, SuperServer; im Kopf "
           "der Datenbank gesetzt), FileSystemCacheThreshold 65536 (Voreinstellung)" +
           process + "bestaetigt durch /proc/20173/fdinfo (Datei mit O_DIRECT geoeffnet)" + gfix},
      {"defaults", defaults,
       warning +
           "Page buffers 70000 in Kraft (vom Server, isc_info_num_buffers, SuperServer; der Kopf "
           "sagt 0, also DefaultDbCachePages aus /etc/firebird/3.0/databases.conf), "
           "FileSystemCacheThreshold 65536 (Voreinstellung)" +
           process +
           "nicht bestaetigt: die Dateideskriptoren des Serverprozesses 20173 sind fuer diesen "
           "Benutzer nicht lesbar (dazu braucht es root oder CAP_SYS_PTRACE)" +
           gfix},
      {"table", table,
       warning +
           "Page buffers 2048 in Kraft (vom Server, isc_info_num_buffers, SuperServer; im Kopf "
           "der Datenbank gesetzt), UseFileSystemCache = false (laut RDB$CONFIG aus "
           "/etc/firebird/4.0/firebird.conf; entscheidet allein)" +
           process +
           "/proc/20173/fdinfo zeigt die Datei noch ohne O_DIRECT geoeffnet, die Umgehung gilt ab "
           "ihrem naechsten Oeffnen. Abhilfe: UseFileSystemCache = true setzen (laut RDB$CONFIG "
           "aus /etc/firebird/4.0/firebird.conf)."},
      {"unknown", unknown,
       "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, ist nicht "
       "festzustellen: Page buffers 70000 in Kraft (vom Server, isc_info_num_buffers, "
       "SuperServer; im Kopf der Datenbank gesetzt); FileSystemCacheThreshold ist unbekannt: "
       "keiner der sichtbaren Serverprozesse bedient Port 3051 (20173 /usr/sbin/firebird: Port "
       "3050; 30001 /usr/local/bin/firebird: Konfigurationsverzeichnis unbekannt); nicht "
       "bestaetigt: kein Serverprozess, dessen Deskriptoren sich pruefen liessen."},
      {"unreached", unreached,
       "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, war nicht "
       "festzustellen, die Abfrage beim Server misslang: Your user name and password are not "
       "defined; Ask your administrator"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingChannel channel;
    OperatorReport(channel).CacheBypass(c.verdict);
    ASSERT_EQ(channel.lines.size(), 1u);
    EXPECT_EQ(channel.lines[0], c.line);
  }
  for (Outcome silent : {Outcome::NotAsked, Outcome::UsesCache}) {
    RecordingChannel channel;
    BypassVerdict verdict = header;
    verdict.outcome = silent;
    OperatorReport(channel).CacheBypass(verdict);
    EXPECT_TRUE(channel.lines.empty());
  }
}

TEST(OperatorReport, TheRateCountsTheFirstRequestsTimeWithItsBytes) {
  // The first request of 64 MiB took a second: 67.1 MB/s, and three more take three seconds.
  RecordingChannel terminal(true);
  OperatorReport report(terminal);
  report.Progress(At(64 << 20, 256 << 20, 1.0));
  report.Progress(At(128 << 20, 256 << 20, 2.0));
  EXPECT_EQ(terminal.redraws,
            (std::vector<std::string>{
                "fbwarm: Dateicache: 25 % (67.1 MB von 268.4 MB), 67.1 MB/s, noch 3 s",
                "fbwarm: Dateicache: 50 % (134.2 MB von 268.4 MB), 67.1 MB/s, noch 2 s"}));
}

TEST(OperatorReport, EachSilentFailureGetsOneLineThatNamesItsCause) {
  ParameterFile unreadable{
      u"/usr/lib/fbwarm/fbwarm.INI", ParameterFileState::Unreadable, u"Permission denied", {}};
  ParameterFile no_section{u"/usr/lib/fbwarm/fbwarm.INI", ParameterFileState::NoSection, u"", {}};
  ParameterFile read{u"/usr/lib/fbwarm/fbwarm.INI", ParameterFileState::Read, u"", {}};
  using Temp = TApplicationParamList::TempRedirection;
  struct Case {
    const char* what;
    std::function<void(OperatorReport&)> say;
    std::vector<std::string> lines;
  } cases[] = {
      {"an unreadable parameter file, said at once",
       [&](OperatorReport& r) {
         r.ParametersRead({unreadable, false, {}});
       },
       {"fbwarm: WARNUNG: Die Parameterdatei /usr/lib/fbwarm/fbwarm.INI ist vorhanden, kann aber "
        "nicht gelesen werden: Permission denied. Ihre Parameter gelten fuer diesen Lauf nicht; "
        "fbwarm als ihr Eigentuemer oder als root starten, oder ihr das Leserecht fuer diesen "
        "Benutzer geben."}},
      {"an unreadable parameter file is not said twice when a parameter is missing",
       [&](OperatorReport& r) {
         r.ParametersRead({unreadable, false, {}});
         r.ParameterMissing(u"USER", unreadable);
       },
       {"fbwarm: WARNUNG: Die Parameterdatei /usr/lib/fbwarm/fbwarm.INI ist vorhanden, kann aber "
        "nicht gelesen werden: Permission denied. Ihre Parameter gelten fuer diesen Lauf nicht; "
        "fbwarm als ihr Eigentuemer oder als root starten, oder ihr das Leserecht fuer diesen "
        "Benutzer geben."}},
      {"no section, and a parameter missing",
       [&](OperatorReport& r) {
         r.ParametersRead({no_section, false, {}});
         r.ParameterMissing(u"PASSWORD", no_section);
       },
       {"fbwarm: Parameter PASSWORD fehlt: die Parameterdatei /usr/lib/fbwarm/fbwarm.INI wurde "
        "gelesen, hat aber keinen Abschnitt [STARTPARAMS]; nur die Zeilen darin gelten als "
        "Parameter."}},
      {"no section, nothing missing",
       [&](OperatorReport& r) {
         r.ParametersRead({no_section, false, {}});
       },
       {}},
      {"a parameter missing from a file that was read",
       [&](OperatorReport& r) {
         r.ParametersRead({read, false, {}});
         r.ParameterMissing(u"DB", read);
       },
       {}},
      {"/TEMP: applied",
       [](OperatorReport& r) {
         r.ParametersRead({{}, false, Temp{}});
       },
       {}},
      {"/TEMP: too long",
       [](OperatorReport& r) {
         r.ParametersRead({{}, false, Temp{Temp::Outcome::TooLong, u""}});
       },
       {"fbwarm: WARNUNG: /TEMP: wurde nicht angewandt: der Wert ist laenger als 255 Zeichen. "
        "TEMP und TMP bleiben, wie sie waren."}},
      {"/TEMP: no directory",
       [](OperatorReport& r) {
         r.ParametersRead({{}, false, Temp{Temp::Outcome::NoDirectory, u"/proc/tmp"}});
       },
       {"fbwarm: WARNUNG: /TEMP: wurde nicht angewandt: das Verzeichnis \"/proc/tmp\" gibt es "
        "nicht, und es kann nicht angelegt werden. TEMP und TMP bleiben, wie sie waren."}},
      {"the client library",
       [](OperatorReport& r) {
         r.ClientLibraryMissing("libfbclient.so.2",
                                u"libfbclient.so.2: cannot open shared object file: No such "
                                u"file or directory",
                                "libfbclient2");
       },
       {"fbwarm: Die Firebird-Clientbibliothek libfbclient.so.2 kann nicht geladen werden: "
        "libfbclient.so.2: cannot open shared object file: No such file or directory. Sie "
        "gehoert zum Debian-Paket libfbclient2 (apt-get install libfbclient2)."}},
      {"the client library, no package to name",
       [](OperatorReport& r) { r.ClientLibraryMissing("gds32.dll", u"not found", ""); },
       {"fbwarm: Die Firebird-Clientbibliothek gds32.dll kann nicht geladen werden: not found."}},
      {"a password in a parameter file that others may read, before the file's other words",
       [&](OperatorReport& r) {
         r.ParametersRead({read, true, Temp{Temp::Outcome::TooLong, u""}});
       },
       {"fbwarm: WARNUNG: Die Parameterdatei enthaelt ein Passwort und ist fuer andere Benutzer "
        "lesbar; sie sollte nur fuer ihren Eigentuemer lesbar sein.",
        "fbwarm: WARNUNG: /TEMP: wurde nicht angewandt: der Wert ist laenger als 255 Zeichen. "
        "TEMP und TMP bleiben, wie sie waren."}},
      {"a run too short",
       [](OperatorReport& r) { r.RunTooShort(1234, 2000); },
       {"fbwarm: Der Lauf dauerte nur 1234 ms, weniger als die verlangten 2000 ms; nur deshalb "
        "endet er mit \"Fehler aufgetreten\". Der Bericht des Servers war vollstaendig."}},
      {"a path that cannot be reached for a reason of its own",
       [](OperatorReport& r) {
         DatabaseLocation loop;
         loop.path = u"/srv/loop.fdb";
         loop.place = DatabaseLocation::Place::Unreachable;
         loop.access_failure = u"Too many levels of symbolic links";
         r.DatabaseNotHere(loop);
       },
       {"fbwarm: WARNUNG: Der Pfad /srv/loop.fdb ist vielleicht lokal, kann aber nicht erreicht "
        "werden: Too many levels of symbolic links. Der Dateicache wurde nicht gefuellt."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingChannel channel;
    OperatorReport report(channel);
    c.say(report);
    EXPECT_EQ(channel.lines, c.lines);
  }
}

TEST(OperatorReport, AMissingPathOnTheLocalServerIsSaid) {
  RecordingChannel channel;
  OperatorReport report(channel);
  report.DatabaseNotHere(LocateDatabase(u"/srv/db/mian.fdb", u""));
  report.DatabaseNotHere(LocateDatabase(u"/srv/db/mian.fdb", u"localhost/3051"));
  ASSERT_EQ(channel.lines.size(), 2u);
  EXPECT_EQ(channel.lines[0],
            "fbwarm: WARNUNG: Den Pfad /srv/db/mian.fdb gibt es auf diesem Rechner nicht, obwohl "
            "der Server (127.0.0.1) hier laeuft; der Dateicache wurde nicht gefuellt. Den Pfad "
            "pruefen: der Server liest die Datei unter demselben Pfad.");
  EXPECT_NE(channel.lines[1].find("der Server (localhost/3051) hier laeuft"), std::string::npos);
}
