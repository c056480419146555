// Byte counts as the operator reads them, shared by fbwarm's report and fbwarm-check's status.
#pragma once

#include <cstdint>
#include <string>

// "12.8 GB", "512.0 MB", "800 B": decimal units, one decimal place.
std::string FormatBytes(uint64_t bytes);
