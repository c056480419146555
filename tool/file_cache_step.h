// The read-through of the database file as the driver runs it: residency before and after,
// the memory and readability warnings, progress, and /SKIPCACHED.
#pragma once

#include <string>

#include "tool/operator_report.h"
#include "tool/result_record_writer.h"

// Reads the local database file at path through. With skip_cached, each request that a trusted
// answer says the cache already wholly holds is skipped, at any size of the file. Progress goes
// to the report and, when given, to the result records. Raises EOutOfMemory when the read buffer
// cannot be obtained.
void WarmFileCache(const std::u16string& path, bool skip_cached, OperatorReport& report,
                   ResultRecordWriter* records = nullptr);
