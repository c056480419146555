// The cases that the process-level tests of both platforms run against fbwarm and the stand-in
// client library: tests/tool runs them on POSIX, tests/windows under Windows, each with its own
// runner and paths. What reaches the library is written in the stand-in's log format.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/tool_output.h"

// An SPB item (1-byte count) or a start-request text item (2-byte count) of text bytes, in hex.
inline std::string SpbItem(const char* code, const std::string& bytes) {
  return code + Hex(std::string(1, static_cast<char>(bytes.size()))) + Hex(bytes);
}
inline std::string StartItem(const char* code, const std::string& bytes) {
  const std::string count{static_cast<char>(bytes.size() & 0xFF),
                          static_cast<char>(bytes.size() >> 8)};
  return code + Hex(count) + Hex(bytes);
}

// The attach SPB: version 2 2, then user_name (28) and password (29).
inline std::string AttachSpb(const std::string& user, const std::string& password) {
  return "0202" + SpbItem("1c", user) + SpbItem("1d", password);
}

// The DPB of the database attachment that asks the server about its cache: version 1, then
// user_name (28), password (29) and lc_ctype (48) UTF8.
inline std::string DatabaseDpb(const std::string& user, const std::string& password) {
  return "01" + SpbItem("1c", user) + SpbItem("1d", password) + SpbItem("30", "UTF8");
}

// The statistics start request: db_stats (11), dbname (106), options (108) with mask 9 (data
// and index pages).
inline std::string StatisticsStart(const std::string& database) {
  return "0b" + StartItem("6a", database) + "6c09000000";
}

inline std::string AttachCall(const std::string& server, const std::string& spb) {
  return "isc_service_attach service=" + Hex(server + ":service_mgr") + " spb=" + spb + " handle=0";
}
inline std::string StartCall(const std::string& database) {
  return "isc_service_start handle=1 request=" + StatisticsStart(database);
}
inline const std::string kQueryCall =
    "isc_service_query handle=1 send= request=3e buffer_length=32000";
inline const std::string kDetachCall = "isc_service_detach handle=1";

// The error line of a run that ends below 2000 ms, as every run against the stand-in does.
inline const std::string kTooFast = "FEHLER Fehler aufgetreten";

// A report as the stand-in sends it (its script) and the lines the tool prints for it, each
// byte unchanged; one query per line and one more that finds the end.
struct ReportCase {
  const char* name;
  std::string script;
  std::vector<std::string> lines;
};

inline void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }
inline std::string ReportCaseName(const testing::TestParamInfo<ReportCase>& info) {
  return info.param.name;
}

// Standard output of a run of database (not a local file) against the report: the lines, the
// empty line after them and the error of a run below 2000 ms.
inline std::string ReportOutput(const ReportCase& c) {
  std::vector<std::string> lines = {kNotLocal};
  lines.insert(lines.end(), c.lines.begin(), c.lines.end());
  lines.insert(lines.end(), {"", kTooFast});
  return CrLfLines(lines);
}

// The calls that reach the library: attach, start, one query per line and one that finds the
// end, detach.
inline std::vector<std::string> ReportCalls(const ReportCase& c, const std::string& database) {
  std::vector<std::string> calls = {AttachCall("127.0.0.1", AttachSpb("SYSDBA", "secret")),
                                    StartCall(database)};
  calls.insert(calls.end(), c.lines.size() + 1, kQueryCall);
  calls.push_back(kDetachCall);
  return calls;
}

inline const std::vector<ReportCase> kReportCases = {
    // Trailing blanks, tabs and backslashes stay as the server sent them.
    {"TwoLines",
     "line Database \"C:\\\\DB\\\\A.GDB\" \nline \tPage size\t\t8192\n",
     {"Database \"C:\\DB\\A.GDB\" ", "\tPage size\t\t8192"}},
    // An empty report still prints the empty line after it.
    {"Empty", "", {}},
};

// /SERVERCACHE against the stand-in: a SuperServer database of 20 pages of 4 KiB, all in use,
// with 30 page buffers and a linger of 900 s unless the case says otherwise. The database is no
// local file, so the run prints no read-through and asks nothing about the file cache.
inline std::string ServerCacheScript(const std::string& db_class = "0e",
                                     const std::string& linger = "900",
                                     const std::string& more = "") {
  return "info 15 1e 00 00 00\ninfo 61 1e 00 00 00\ninfo 102 " + db_class +
         " 00 00 00\ninfo 32 0c 00 00 00\ninfo 14 00 10 00 00\ninfo 124 14 00 00 00\n"
         "info 125 00 00 00 00\ninfo 5 e8 03 00 00\ninfo 7 88 13 00 00\n"
         "pages 0 19 4096 01\nresult RDB$LINGER\ncolumns LONG\nrow " +
         linger + "\nresult MON$ATTACHMENTS\ncolumns INT64\nrow 0\n" + more +
         "result RDB$RELATIONS\ncolumns LONG\nresult RDB$INDICES\ncolumns SHORT SHORT TEXT\n"
         "result RDB$PAGES\ncolumns SHORT LONG LONG SHORT\n";
}

// A case: its script, the lines standard output holds after the not-local line, and the line
// (a regular expression) that standard error holds between the not-local line and the
// too-short line (none when the run failed before that rule). same_as_without: a run without
// /SERVERCACHE prints the same standard output.
struct ServerCacheCase {
  const char* name;
  std::string script;
  std::vector<std::string> out;
  std::string err;
  bool same_as_without;
};

inline void PrintTo(const ServerCacheCase& c, std::ostream* os) { *os << c.name; }
inline std::string ServerCacheCaseName(const testing::TestParamInfo<ServerCacheCase>& info) {
  return info.param.name;
}

inline const std::vector<ServerCacheCase> kServerCacheCases = {
    {"Warmed",
     ServerCacheScript(),
     {"", kTooFast},
     "fbwarm: SERVERCACHE: 20 Seiten \\(81\\.9 KB\\) in [0-9.]+ s in den Seitencache des "
     "Servers geholt, in Dateireihenfolge, davon 0 aus der Datei gelesen; 66 % der 30 "
     "Seitenpuffer belegt \\(Ziel 90 %, 20 Seiten in Gebrauch\\); 1 Seiten auf dem Weg zu den "
     "Zeilen zuletzt erneut geholt\\.",
     true},
    {"Classic",
     ServerCacheScript("0d"),
     {"", kTooFast},
     "fbwarm: SERVERCACHE uebersprungen: der Server laeuft als Classic oder SuperClassic, .*",
     true},
    {"LingerNotSet",
     ServerCacheScript("0e", "NULL"),
     {"", kTooFast},
     "fbwarm: SERVERCACHE uebersprungen: LINGER ist nicht gesetzt und keine andere Verbindung .*",
     true},
    // The server goes away while pages are read: the run ends as at any other server error.
    {"ServerGone",
     ServerCacheScript("0e", "900",
                       "database-info ok\ndatabase-info ok\ndatabase-info ok\n"
                       "database-info ok\ndatabase-info ok\ndatabase-info fail -902 335544721\n"
                       "message Unable to complete network request to host \"127.0.0.1\".\n"
                       "message Error writing data to the connection.\n"),
     {"FEHLER Unable to complete network request to host \"127.0.0.1\".",
      "Error writing data "
      "to the connection"},
     "",
     false},
};

// What both platforms check of a /SERVERCACHE run of case c: standard output after the not-local
// line, and standard error from the line that says the path is missing here (missing_here).
inline void ExpectServerCacheLines(const ServerCacheCase& c, const std::string& out,
                                   const std::string& err_text, const std::string& missing_here) {
  std::vector<std::string> lines = {kNotLocal};
  lines.insert(lines.end(), c.out.begin(), c.out.end());
  EXPECT_EQ(out, CrLfLines(lines));
  std::vector<std::string> err = SplitAt(err_text, "\n");
  if (!err.empty() && err.back().empty()) err.pop_back();
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err[0] + "\n", missing_here);
  if (!c.err.empty()) {
    ASSERT_EQ(err.size(), 3u) << err_text;
    EXPECT_TRUE(std::regex_match(err[1], std::regex(c.err))) << err[1];
    EXPECT_TRUE(std::regex_match(err[2], std::regex(kTooShortLine))) << err[2];
  }
}

// Each spelling of the help switch, among other parameters, with what standard input holds
// (nullopt: the null device). Every case prints the help lines only, waits for one line of
// input or its end, loads no client library and ends with exit code 0.
struct HelpCase {
  const char* spelling;
  std::optional<std::string> input;
};

inline const std::vector<HelpCase> kHelpCases = {
    {"?", std::nullopt},
    {"/?", std::nullopt},
    {"-?", std::string("\r\n")},                // Enter
    {"\\?", std::string("more\r\nlines\r\n")},  // only the first line is read
    {"/?:x", std::string("\x1a")},              // Ctrl-Z
    // The switches a Unix user tries first, exactly as typed.
    {"--help", std::nullopt},
    {"-h", std::string("\r\n")},
};
