// The read-through of the database file as the driver runs it: residency before and after,
// the memory and readability warnings, progress, and /SKIPCACHED.
#pragma once

#include <string>

#include "tool/operator_report.h"
#include "tool/result_record_writer.h"

// Reads the local database file at path through. With skip_cached, each request that the cache
// already wholly holds (by a trusted answer) is skipped, unless the file is larger than half the
// memory available. Progress goes to the report and, when given, to the result records.
// Raises EOutOfMemory when the read buffer cannot be obtained.
void WarmFileCache(const std::u16string& path, bool skip_cached, OperatorReport& report,
                   ResultRecordWriter* records = nullptr);
