#include "tool/file_cache_facts.h"

SkipRefusal DecideSkip(ResidencyState residency) {
  if (residency == ResidencyState::HiddenFromUser) return SkipRefusal::ResidencyHidden;
  if (residency != ResidencyState::Trusted) return SkipRefusal::ResidencyUnavailable;
  return SkipRefusal::None;
}

std::optional<CacheRoom> RoomTooSmall(uint64_t size, const std::optional<CacheRoom>& room) {
  if (room && size > room->bytes) return room;
  return std::nullopt;
}
