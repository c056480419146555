// Reads fbwarm's result records as they arrive over the pipe: complete lines are parsed, the
// progress handed on at once, the error lines and the run's end kept for the verdict.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tool/result_record.h"

// What the records said about the run.
struct RunRecords {
  bool version_known = false;  // the first record named the version this reader knows
  std::vector<std::string> error_lines;
  std::optional<RunEndRecord> end;
};

class RecordReader {
 public:
  // on_progress sees each read-through and server-step record of a known version.
  explicit RecordReader(std::function<void(const ResultRecord&)> on_progress);

  // Takes the next bytes from the pipe; a line may end in a later piece.
  void Feed(std::string_view bytes);
  const RunRecords& Records() const { return records_; }

 private:
  void Take(std::string_view line);

  std::function<void(const ResultRecord&)> on_progress_;
  std::string pending_;
  bool first_ = true;
  RunRecords records_;
};
