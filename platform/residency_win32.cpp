#include "platform/residency.h"

// Windows has no call that tells a file's cache residency without reading; it is left out.
FileResidency::FileResidency(const std::u16string&) {}

FileResidency::~FileResidency() = default;

const char* FileResidency::Mechanism() const { return "none"; }

ResidentPages FileResidency::Query(uint64_t, uint64_t) { return {}; }

ResidentPages FileResidency::QueryCachestat(uint64_t, uint64_t) { return {}; }

ResidentPages FileResidency::QueryMincore(uint64_t, uint64_t) { return {}; }
