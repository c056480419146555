// The read-through of the database file as a step of the run: it opens the file once, asks how
// much of it the file cache holds and whether it fits, decides what /SKIPCACHED may skip, and
// reads the file through. It says nothing itself: what it finds it hands on as plain values.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/residency.h"
#include "tool/file_cache_facts.h"

class FileCacheStep {
 public:
  // Opens the file at path and plans; reads nothing yet. With skip_cached, each request that a
  // trusted answer says the cache already wholly holds is skipped, at any size of the file.
  FileCacheStep(const std::u16string& path, bool skip_cached);
  FileCacheStep(const FileCacheStep&) = delete;
  FileCacheStep& operator=(const FileCacheStep&) = delete;

  const ReadThroughPlan& Plan() const { return plan_; }

  // Reads the file through as planned, handing progress on after each request. Nothing when
  // the file did not open (the plan says why). Raises EOutOfMemory when the read buffer cannot
  // be obtained.
  std::optional<ReadThroughSummary> Run(const std::function<void(const ReadProgress&)>& progress);

 private:
  SequentialFile file_;
  FileResidency residency_;  // asks about file_'s descriptor
  ResidentPages before_;
  ReadThroughPlan plan_;
};
