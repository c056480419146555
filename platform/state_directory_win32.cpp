#include "platform/environment.h"
#include "platform/state_directory.h"

std::optional<std::u16string> StateDirectory() {
  const std::optional<std::u16string> local = GetEnvironmentValue(u"LOCALAPPDATA");
  if (!local || local->empty()) return std::nullopt;
  return *local + u"\\fbwarm";
}
