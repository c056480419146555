#include "base/byte_count.h"

#include <cstdio>

namespace {

std::string Fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

std::string FormatBytes(uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (bytes >= 1000000000) return Fixed1(value / 1e9) + " GB";
  if (bytes >= 1000000) return Fixed1(value / 1e6) + " MB";
  if (bytes >= 1000) return Fixed1(value / 1e3) + " KB";
  return std::to_string(bytes) + " B";
}
