#include "platform/residency.h"

// Windows has no call that tells a file's cache residency without reading it: every answer is
// Unavailable.
class FileResidency::Answerer {};

FileResidency::FileResidency(const std::u16string&) : answerer_(std::make_unique<Answerer>()) {}
FileResidency::FileResidency(const SequentialFile&) : answerer_(std::make_unique<Answerer>()) {}
FileResidency::~FileResidency() = default;
ResidencyState FileResidency::State() const { return ResidencyState::Unavailable; }
uint64_t FileResidency::Size() const { return 0; }
uint64_t FileResidency::PageSize() const { return 4096; }
const char* FileResidency::Mechanism() const { return "none"; }
ResidentPages FileResidency::Query(uint64_t, uint64_t) { return {}; }
