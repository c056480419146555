// /FIT around the statistics action: before it, what to ask the action for (from the plan the
// read-through followed and the names of the tables); after it, what it brought into the file
// cache and what the cache holds by page role.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tool/file_cache_facts.h"
#include "tool/fit_facts.h"
#include "tool/run_target.h"

struct FitStatisticsPlan {
  StatisticsScope scope;
  RelationNames names;
  std::optional<std::u16string> names_failure;
  uint64_t budget_bytes = 0;
  std::optional<uint64_t> resident_before;  // bytes of the file cached before the action
};

struct FitRunEnd {
  bool residency_trusted = false;
  std::optional<uint64_t> resident_after;
  std::optional<CachedByRole> cached;  // with a map and a trusted residency
};

// Without a map of the file (not here, unreadable, no database of a known layout): index
// pages alone, the cheapest and the most valuable.
FitStatisticsPlan PlanFitStatistics(const std::optional<ReadThroughSummary>& read_through,
                                    const ServerTarget& target);

FitRunEnd MeasureFitRunEnd(const std::optional<ReadThroughSummary>& read_through);
