// The operator's words about the database file and its read-through: a path that names no file
// here, the warnings before the first read, progress, and the residency line at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tool/file_cache_facts.h"
#include "tool/run_target.h"

// A path that may be local but cannot be reached, or that names nothing here although the
// server is this machine's; nothing for the other places.
std::optional<std::string> DatabaseNotHereLine(const DatabaseLocation& database);

// In this order: the file cannot be opened; it is larger than the room of the file cache;
// /SKIPCACHED cannot skip. Nothing but the first for a file that did not open.
std::vector<std::string> ReadThroughPlanLines(const ReadThroughPlan& plan);

// The progress line: share, bytes, and once there is a rate, the rate and the time left.
std::string ProgressLine(const ReadProgress& progress);

// A read that broke off, then the residency line: before and after only for a trusted answer.
std::vector<std::string> ReadThroughSummaryLines(const ReadThroughSummary& summary);
