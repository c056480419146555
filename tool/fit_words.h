// The words for what /FIT found and did: the budget, the page-role map, the reads by plan, what
// the statistics action brought in, and what the file cache holds by page role at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool/fit_facts.h"

// After the read-through: the budget, whether the whole file was read to classify it and why,
// the reads by plan, the map's age and what this run checked and corrected.
std::vector<std::string> FitReadLines(const FitOutcome& fit, uint64_t file_size,
                                      int64_t now_seconds);

// Before the read-through: there is no usable map, so the whole file is read to make one.
std::string FitWholeReadLine(MapStatus found);

// Where the system cannot say which pages the cache holds (Windows; a user it hides them
// from): what /FIT does then.
std::string FitWithoutResidencyLine();

// The names of tables and indexes could not be asked.
std::string NamesUnknownLine(const std::u16string& failure);

// Resident bytes of the file at three moments of a /FIT run.
struct ResidentAlong {
  std::optional<uint64_t> run_start;   // before the read-through
  std::optional<uint64_t> statistics;  // before the statistics action
  std::optional<uint64_t> end;         // after it
};

// The statistics action in /FIT mode: what it was asked for, what it brought into the cache,
// and what the run brought in altogether against the budget.
std::vector<std::string> FitStatisticsLines(const StatisticsScope& scope,
                                            const ResidentAlong& resident, uint64_t budget);

// At the end: the share of each role the cache holds, then per table and index where names
// are known; roles come from pages checked in this run or from a map of the given age.
std::vector<std::string> CachedByRoleLines(const CachedByRole& cached, const RelationNames& names,
                                           const FitOutcome& fit, int64_t now_seconds);

// "vor 5 Minuten", "vor 2 Tagen".
std::string AgeText(int64_t seconds);
