#include "platform/environment.h"
#include "platform/state_directory.h"

namespace {

std::optional<std::u16string> NonEmpty(const std::u16string& name) {
  std::optional<std::u16string> value = GetEnvironmentValue(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::u16string> StateDirectory() {
  // systemd lists one directory per StateDirectory= entry, separated by ':'.
  if (const auto given = NonEmpty(u"STATE_DIRECTORY")) {
    const std::u16string first = given->substr(0, given->find(u':'));
    if (!first.empty()) return first;
  }
  if (const auto xdg = NonEmpty(u"XDG_STATE_HOME")) return *xdg + u"/fbwarm";
  if (const auto home = NonEmpty(u"HOME")) return *home + u"/.local/state/fbwarm";
  return std::nullopt;
}
