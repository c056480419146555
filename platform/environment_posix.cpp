#include <stdlib.h>

#include "platform/environment.h"
#include "platform/text_encoding.h"

namespace {

// The narrow form of a variable name, or nothing when no variable can carry that name.
std::optional<std::string> NarrowName(const std::u16string& name) {
  std::string narrow = ToNarrow(name);
  if (narrow.empty() || narrow.find('=') != std::string::npos ||
      narrow.find('\0') != std::string::npos)
    return std::nullopt;
  return narrow;
}

}  // namespace

std::optional<std::u16string> ExpandEnvironmentReferences(const std::u16string& text) {
  std::u16string result;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find(u'%', pos);
    if (open == std::u16string::npos) break;
    result.append(text, pos, open - pos);
    size_t close = text.find(u'%', open + 1);
    std::optional<std::u16string> value;
    if (close != std::u16string::npos)
      value = GetEnvironmentValue(text.substr(open + 1, close - open - 1));
    if (value) {
      result += *value;
      pos = close + 1;
    } else {
      // Not a reference: the '%' stays, and the next one may open a reference of its own.
      result.push_back(u'%');
      pos = open + 1;
    }
  }
  if (pos < text.size()) result.append(text, pos);
  return result;
}

void SetEnvironmentValue(const std::u16string& name, const std::u16string& value) {
  std::optional<std::string> narrow = NarrowName(name);
  if (!narrow) return;
  std::string narrow_value = ToNarrow(value);
  if (narrow_value.find('\0') != std::string::npos) return;
  setenv(narrow->c_str(), narrow_value.c_str(), 1);
}

std::optional<std::u16string> GetEnvironmentValue(const std::u16string& name) {
  std::optional<std::string> narrow = NarrowName(name);
  if (!narrow) return std::nullopt;
  const char* value = getenv(narrow->c_str());
  if (!value) return std::nullopt;
  return FromNarrow(value);
}
