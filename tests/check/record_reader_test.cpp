// fbwarm-check's reading of the records and its verdict: lines split across pieces, a version
// it does not know, kinds it skips, and the exit status for each way a run of fbwarm ends.
#include "check/record_reader.h"

#include <gtest/gtest.h>

#include "check/verdict.h"

namespace {

struct Reading {
  RunRecords records;
  std::vector<std::string> progress;  // the progress records handed on, as lines
};

Reading Read(const std::vector<std::string>& pieces) {
  Reading reading;
  RecordReader reader(
      [&](const ResultRecord& r) { reading.progress.push_back(FormatResultRecord(r)); });
  for (const std::string& piece : pieces) reader.Feed(piece);
  reading.records = reader.Records();
  return reading;
}

}  // namespace

TEST(RecordReader, TakesRecordsWhereverThePiecesOfThePipeEnd) {
  const std::string all =
      "fbwarm-record 1\nread 10 20 5\nserver\nerror FEHLER a b\\x0A\nerror c\n"
      "result retry 1200 335544721\n";
  // Whole, byte by byte, and cut at every place in two.
  std::vector<std::vector<std::string>> splits = {{all}, {}};
  for (char c : all) splits[1].push_back(std::string(1, c));
  for (size_t cut = 1; cut < all.size(); ++cut)
    splits.push_back({all.substr(0, cut), all.substr(cut)});
  for (const auto& pieces : splits) {
    const Reading r = Read(pieces);
    ASSERT_TRUE(r.records.version_known);
    EXPECT_EQ(r.progress, (std::vector<std::string>{"read 10 20 5\n", "server\n"}));
    EXPECT_EQ(r.records.error_lines, (std::vector<std::string>{"FEHLER a b\n", "c"}));
    ASSERT_TRUE(r.records.end.has_value());
    EXPECT_EQ(r.records.end->outcome, RunOutcome::Retry);
    EXPECT_EQ(r.records.end->milliseconds, 1200u);
    EXPECT_EQ(r.records.end->error_code, 335544721);
  }
}

TEST(RecordReader, OnlyTheKnownVersionCountsAndUnknownKindsAreSkipped) {
  const std::string rest = "server\nerror FEHLER x\nresult finished 3000 0\n";
  for (const char* first : {"fbwarm-record 2\n", "fbwarm-record\n", "server\n", "\n"}) {
    const Reading r = Read({first + rest});
    EXPECT_FALSE(r.records.version_known) << first;
    EXPECT_TRUE(r.progress.empty()) << first;
    EXPECT_FALSE(r.records.end.has_value()) << first;
  }
  // Kinds of a later version, malformed lines and a last line without its LF are passed over.
  const Reading r =
      Read({"fbwarm-record 1\nphase fit 3\nread x\nserver\nresult finished 3000 0\n"
            "result permanent 1 0"});
  EXPECT_TRUE(r.records.version_known);
  EXPECT_EQ(r.progress, std::vector<std::string>{"server\n"});
  ASSERT_TRUE(r.records.end.has_value());
  EXPECT_EQ(r.records.end->outcome, RunOutcome::Finished);
}

TEST(Verdict, ExitStatusForEachWayARunEnds) {
  auto records = [](std::optional<RunOutcome> outcome, bool version_known = true) {
    RunRecords r;
    r.version_known = version_known;
    if (outcome) r.end = RunEndRecord{*outcome, 100, 0};
    return r;
  };
  const ChildEnd exited{false, 0};
  const struct {
    const char* what;
    ChildEnd end;
    RunRecords records;
    CheckStatus status;
    int number;
  } cases[] = {
      {"result line", exited, records(RunOutcome::Finished), CheckStatus::Finished, 0},
      {"wrong login", exited, records(RunOutcome::Permanent), CheckStatus::Permanent, 1},
      {"only the help text", exited, records(RunOutcome::Help), CheckStatus::Permanent, 1},
      {"server not there", exited, records(RunOutcome::Retry), CheckStatus::Retry, 3},
      {"under 2000 ms", exited, records(RunOutcome::TooFast), CheckStatus::TooFast, 4},
      {"no end record", exited, records(std::nullopt), CheckStatus::Broken, 2},
      {"unknown version", exited, records(RunOutcome::Finished, false), CheckStatus::Broken, 2},
      {"standard output failed", {false, 1}, records(RunOutcome::Finished), CheckStatus::Broken, 2},
      {"killed", {true, 9}, records(RunOutcome::Finished), CheckStatus::Broken, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusOf(c.end, c.records), c.status) << c.what;
    EXPECT_EQ(static_cast<int>(c.status), c.number) << c.what;
  }
}
