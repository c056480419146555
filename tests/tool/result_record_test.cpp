// The result record's lines: each kind written and read back, the escaping of error lines,
// and what a reader refuses.
#include "tool/result_record.h"

#include <gtest/gtest.h>

namespace {

std::string Line(const ResultRecord& record) { return FormatResultRecord(record); }

template <class Kind>
Kind Parsed(const std::string& line) {
  const std::optional<ResultRecord> record = ParseResultRecord(line);
  EXPECT_TRUE(record.has_value()) << line;
  EXPECT_TRUE(record && std::holds_alternative<Kind>(*record)) << line;
  return record && std::holds_alternative<Kind>(*record) ? std::get<Kind>(*record) : Kind{};
}

}  // namespace

TEST(ResultRecord, EachKindIsOneLineThatReadsBack) {
  EXPECT_EQ(Line(VersionRecord{}), "fbwarm-record 1\n");
  EXPECT_EQ(Parsed<VersionRecord>("fbwarm-record 1").version, 1);

  EXPECT_EQ(Line(ReadProgressRecord{67108863, 13700000000, 2500}),
            "read 67108863 13700000000 2500\n");
  const auto read = Parsed<ReadProgressRecord>("read 67108863 13700000000 2500");
  EXPECT_EQ(read.done, 67108863u);
  EXPECT_EQ(read.total, 13700000000u);
  EXPECT_EQ(read.milliseconds, 2500u);

  EXPECT_EQ(Line(ServerStepRecord{}), "server\n");
  Parsed<ServerStepRecord>("server");

  const struct {
    RunOutcome outcome;
    const char* word;
  } outcomes[] = {{RunOutcome::Finished, "finished"},
                  {RunOutcome::TooFast, "too-fast"},
                  {RunOutcome::Retry, "retry"},
                  {RunOutcome::Permanent, "permanent"},
                  {RunOutcome::Help, "help"}};
  for (const auto& o : outcomes) {
    const std::string line = "result " + std::string(o.word) + " 1234 335544721";
    EXPECT_EQ(Line(RunEndRecord{o.outcome, 1234, 335544721}), line + "\n");
    const auto end = Parsed<RunEndRecord>(line);
    EXPECT_EQ(end.outcome, o.outcome) << o.word;
    EXPECT_EQ(end.milliseconds, 1234u);
    EXPECT_EQ(end.error_code, 335544721);
  }
  EXPECT_EQ(Parsed<RunEndRecord>("result permanent 5 -902").error_code, -902);
}

TEST(ResultRecord, ErrorLinesKeepEveryByteAndStayOneLine) {
  const struct {
    std::string text, line;
  } cases[] = {
      {"FEHLER Fehler aufgetreten", "error FEHLER Fehler aufgetreten"},
      {"  blanks  inside and after  ", "error   blanks  inside and after  "},
      {"", "error "},
      {"a\nb\rc\td", "error a\\x0Ab\\x0Dc\\x09d"},
      {"back\\slash \\x41", "error back\\x5Cslash \\x5Cx41"},
      {std::string("nul\0del\x7f", 8), "error nul\\x00del\\x7F"},
      {"caf\xc3\xa9 \xe9 \xff", "error caf\xc3\xa9 \xe9 \xff"},  // the locale's bytes as they are
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Line(ErrorLineRecord{c.text}), c.line + "\n");
    EXPECT_EQ(Parsed<ErrorLineRecord>(c.line).text, c.text) << c.line;
  }
  EXPECT_EQ(Parsed<ErrorLineRecord>("error \\x4a\\x4B").text, "JK");  // either letter case
}

TEST(ResultRecord, ReadersRefuseWhatIsMalformedOrUnknown) {
  for (const char* line : {
           "",
           "fbwarm-record",
           "fbwarm-record x",
           "read 1 2",
           "read 1 2 3 4",
           "read -1 2 3",
           "read 1 2 3ms",
           "read  1 2 3",
           "server now",
           "result finished 1",
           "result done 1 0",
           "result finished 1 0 extra",
           "result finished 18446744073709551616 0",
           "error \\x4",
           "error \\xZZ",
           "error a\\",
           "error \\y41",
           "progress 1 2",
           "RESULT finished 1 0",
       })
    EXPECT_FALSE(ParseResultRecord(line).has_value()) << line;
}
