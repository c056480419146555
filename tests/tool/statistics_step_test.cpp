// The statistics run with a driven tick counter, against the stand-in client library (this
// test executable runs with the stand-in first in LD_LIBRARY_PATH).
#include "tool/statistics_step.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "tests/support/temp_dir.h"
#include "tool/run_outcome.h"

namespace {

class RecordedLines : public LineOutput {
 public:
  void PrintLine(std::u16string_view text) override { lines.emplace_back(text); }
  std::vector<std::u16string> lines;
};

class FixedTicks : public TickSource {
 public:
  explicit FixedTicks(uint32_t now) : now_(now) {}
  uint32_t Now() override { return now_; }
  void Advance(uint32_t milliseconds) { now_ += milliseconds; }

 private:
  uint32_t now_;
};

// No /SERVER: this machine's server.
ServerTarget Target() {
  return {ServerOf(u""), LocateDatabase(u"/db/a.fdb", std::nullopt), u"SYSDBA", u"pw"};
}

struct WarmUpResult {
  std::vector<std::u16string> lines;
  std::u16string error;
  uint32_t elapsed = 0;  // as returned, or as the too-fast error carries it
};

// Runs the statistics step with the given ticks on a two-line report; the lines printed, the
// error raised, if any, and the milliseconds measured. after_report, when given, runs between
// the report and the result, as the driver's step after the report does, with the lines
// printed so far.
WarmUpResult RunWithTicks(
    uint32_t start, uint32_t end,
    const std::function<void(FixedTicks&, const std::vector<std::u16string>&)>& after_report =
        nullptr) {
  ScopedTempDir dir;  // a new script file each time, so the stand-in reads it afresh
  WriteFileBytes(dir / "script", "line one\nline two\n");
  setenv("FBWARM_STANDIN_SCRIPT", (dir / "script").c_str(), 1);
  RecordedLines out;
  FixedTicks ticks(end);
  WarmUpResult result;
  try {
    StatisticsStep step(out, ticks);
    step.PrintReport(Target(), start);
    if (after_report) after_report(ticks, out.lines);
    result.elapsed = step.Finish();
  } catch (const ERunTooFast& e) {
    result.error = e.Message();
    result.elapsed = e.ElapsedMilliseconds();
  } catch (const Exception& e) {
    result.error = e.Message();
  }
  unsetenv("FBWARM_STANDIN_SCRIPT");
  result.lines = out.lines;
  return result;
}

}  // namespace

TEST(WarmUpRun, TheResultLineNeedsTwoSecondsMeasuredAcrossTheCountersWrap) {
  struct Case {
    uint32_t start, end;
    bool passes;
  } cases[] = {
      {0, 2000, true},
      {0, 1999, false},
      {1000, 1000, false},
      {123456, 123456 + 600000, true},
      {0xFFFFFF00u, 0x700u, true},  // 2048 ms across the wrap
      {0xFFFFFFF0u, 0x5u, false},   // 21 ms across the wrap
      {0xFFFFF830u, 0u, true},      // exactly 2000 ms, ending on the wrap
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " -> " << c.end);
    const WarmUpResult r = RunWithTicks(c.start, c.end);
    std::vector<std::u16string> expected = {u"one", u"two", u""};
    if (c.passes) expected.push_back(u"Fertig! (DB=127.0.0.1:/db/a.fdb)");
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(r.error, c.passes ? u"" : u"Fehler aufgetreten");
    // Both ways the time the rule measured travels on, for the result record.
    EXPECT_EQ(r.elapsed, c.end - c.start);
  }
}

// The step after the report (the bypass verdict) runs between the report and the result line,
// and its time does not count: a run too fast stays too fast, one in time stays in time.
TEST(WarmUpRun, TheStepAfterTheReportRunsBeforeTheResultAndIsNotTimed) {
  for (const auto& [end, passes] : {std::pair{1500u, false}, std::pair{2500u, true}}) {
    SCOPED_TRACE(end);
    std::vector<std::u16string> seen;
    const WarmUpResult r = RunWithTicks(0, end, [&](FixedTicks& ticks, const auto& printed) {
      seen = printed;
      ticks.Advance(passes ? 0xFFFFF000u : 5000);  // long enough to turn either way if timed
    });
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"one", u"two", u""}));
    EXPECT_EQ(r.lines.size(), passes ? 4u : 3u);
    EXPECT_EQ(r.error, passes ? u"" : u"Fehler aufgetreten");
    EXPECT_EQ(r.elapsed, end);
  }
}
