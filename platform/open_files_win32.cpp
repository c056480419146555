#include "platform/open_files.h"

// Windows shows no other process's open flags without a kernel driver; left out.
std::vector<ForeignOpening> FindForeignOpenings(const std::u16string&) { return {}; }

std::optional<std::vector<ForeignOpening>> OpeningsByProcess(int, const std::u16string&) {
  return std::nullopt;
}
