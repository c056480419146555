// The operator's words: the memory and /SKIPCACHED decisions, the residency line, and progress
// that only a terminal sees.
#include "tool/operator_report.h"

#include <gtest/gtest.h>

#include <thread>

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

}  // namespace

TEST(OperatorReport, TheMemoryWarningCountsWhatIsAlreadyCachedAndFitsExactlyAtTheLimit) {
  struct Case {
    uint64_t size, available, resident;
    std::optional<uint64_t> room;
  } cases[] = {
      {10 * kGB, 4 * kGB, 0, 4 * kGB},
      {10 * kGB, 4 * kGB, 3 * kGB, 7 * kGB},
      {10 * kGB, 4 * kGB, 6 * kGB, std::nullopt},
      {10 * kGB, 10 * kGB, 0, std::nullopt},
      {10 * kGB, 0, 20 * kGB, std::nullopt},  // resident never counts above the file's size
      {0, 0, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " " << c.available << " " << c.resident);
    EXPECT_EQ(CacheShortfall(c.size, c.available, c.resident), c.room);
    RecordingChannel channel;
    OperatorReport(channel).MemoryShort(c.size, c.available, c.resident);
    ASSERT_EQ(channel.lines.size(), c.room ? 1u : 0u);
    if (c.room) {
      EXPECT_NE(channel.lines[0].find("nur etwa " + FormatBytes(*c.room) + " der Datei"),
                std::string::npos)
          << channel.lines[0];
    }
  }
}

TEST(OperatorReport, SkippingNeedsATrustedAnswerAndAFileOfAtMostHalfTheMemory) {
  struct Case {
    ResidencyState state;
    uint64_t size;
    std::optional<uint64_t> available;
    SkipRefusal expected;
  } cases[] = {
      {ResidencyState::Trusted, 5 * kGB, 10 * kGB, SkipRefusal::None},
      {ResidencyState::Trusted, 5 * kGB + 1, 10 * kGB, SkipRefusal::FileTooLarge},
      {ResidencyState::Trusted, 5 * kGB, std::nullopt, SkipRefusal::None},
      {ResidencyState::HiddenFromUser, 1, 10 * kGB, SkipRefusal::ResidencyHidden},
      {ResidencyState::Unavailable, 1, 10 * kGB, SkipRefusal::ResidencyUnavailable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(DecideSkip(c.state, c.size, c.available), c.expected);
    RecordingChannel channel;
    OperatorReport(channel).SkipRefused(c.expected, c.size, c.available.value_or(0));
    EXPECT_EQ(channel.lines.size(), c.expected == SkipRefusal::None ? 0u : 1u);
    for (const std::string& line : channel.lines)
      EXPECT_EQ(line.rfind("fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil ", 0), 0u);
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
}

TEST(OperatorReport, ProgressIsDrawnOnlyOnATerminalAtMostFourTimesASecondAndCleared) {
  RecordingChannel pipe(false);
  OperatorReport quiet(pipe);
  for (int i = 0; i < 10; ++i) quiet.Progress(i, 10);
  quiet.ProgressEnd();
  EXPECT_TRUE(pipe.redraws.empty());
  EXPECT_TRUE(pipe.lines.empty());

  RecordingChannel terminal(true);
  OperatorReport report(terminal);
  for (int i = 0; i < 1000; ++i) report.Progress(i * 1000000ull, 2 * kGB);  // within microseconds
  ASSERT_EQ(terminal.redraws.size(), 1u);
  EXPECT_EQ(terminal.redraws[0], "fbwarm: Dateicache: 0 % (0 B von 2.0 GB)");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  report.Progress(kGB, 2 * kGB);
  ASSERT_EQ(terminal.redraws.size(), 2u);
  EXPECT_EQ(terminal.redraws[1].rfind("fbwarm: Dateicache: 50 % (1.0 GB von 2.0 GB), ", 0), 0u)
      << terminal.redraws[1];
  EXPECT_TRUE(terminal.redraws[1].ends_with(" s")) << terminal.redraws[1];
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

TEST(OperatorReport, AMissingPathOnTheLocalServerIsSaid) {
  RecordingChannel channel;
  OperatorReport report(channel);
  report.PathMissingHere(u"/srv/db/mian.fdb", u"");
  report.PathMissingHere(u"/srv/db/mian.fdb", u"localhost/3051");
  ASSERT_EQ(channel.lines.size(), 2u);
  EXPECT_EQ(channel.lines[0],
            "fbwarm: WARNUNG: Den Pfad /srv/db/mian.fdb gibt es auf diesem Rechner nicht, obwohl "
            "der Server (127.0.0.1) hier laeuft; der Dateicache wurde nicht gefuellt. Den Pfad "
            "pruefen: der Server liest die Datei unter demselben Pfad.");
  EXPECT_NE(channel.lines[1].find("der Server (localhost/3051) hier laeuft"), std::string::npos);
}
