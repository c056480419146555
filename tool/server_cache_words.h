// The words of the server-cache step (/SERVERCACHE) on standard error: why it was skipped, that
// it was not needed, its progress and its summary.
#pragma once

#include <string>
#include <vector>

#include "tool/server_cache_step.h"

// The lines of the step's end: a skip and what to do about it, or what the step brought in (a
// note first when the server reads the database through the file cache anyway).
std::vector<std::string> ServerCacheLines(const ServerCacheResult& result);

// The progress line while pages are brought in.
std::string ServerCacheProgressLine(const ServerCacheProgress& progress);
