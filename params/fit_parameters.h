// /FIT and /MAXMB:<n>: whether the read-through keeps to a budget, filling it with the pages
// worth the most first, and how large that budget is. /MAXMB alone asks for /FIT too: a
// budget means nothing to the plain read-through, which reads the whole file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class TApplicationParamList;

// The largest budget taken: 2^30 MiB (1 PiB), far above any file cache, far below overflow.
inline constexpr uint64_t kMaxBudgetMiB = uint64_t{1} << 30;

struct FitParameters {
  bool fit = false;
  // /MAXMB in bytes (MiB of 1048576 bytes each); none for the default budget, the room the
  // file cache has.
  std::optional<uint64_t> budget_bytes;
  // The /MAXMB value as given when it is no whole number of MiB from 1 to kMaxBudgetMiB.
  std::optional<std::u16string> refused;

  // The budget; raises "Parameter MAXMB ungueltig: ..." for a refused value.
  std::optional<uint64_t> Budget() const;
};

// The number of MiB a /MAXMB value gives: decimal digits only, blanks around them allowed,
// from 1 to kMaxBudgetMiB; nothing otherwise.
std::optional<uint64_t> ParseMebibytes(const std::u16string& text);

// What the parameter list asks for.
FitParameters ReadFitParameters(TApplicationParamList& list);
