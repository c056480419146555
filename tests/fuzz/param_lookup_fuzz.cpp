// The start parameter list's look-ups and its registry of requested names, on fuzzed items and
// names. Input: items, one per line, then a NUL, then the names to look up, one per line.
#include "base/text.h"
#include "params/application_param_list.h"
#include "platform/compare.h"
#include "platform/text_encoding.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t kMaxValueLength = 255;

// The item that answers a look-up of name: the first that begins with "/NAME:" in any case.
std::u16string ExpectedValue(const std::vector<std::u16string>& items, const std::u16string& name) {
  const std::u16string key = AsciiUpper(u"/" + name + u":");
  for (const std::u16string& item : items)
    if (AsciiUpper(item).starts_with(key)) return item.substr(key.size(), kMaxValueLength);
  return {};
}

bool Contains(std::u16string_view text, std::u16string_view units) {
  return text.find_first_of(units) != std::u16string_view::npos;
}

void CheckRegistry(TApplicationParamList& list, const std::vector<std::u16string>& names) {
  const TStringList& registry = list.RequestedParams();
  const std::vector<std::u16string>& entries = registry.Items();
  FUZZ_CHECK(entries.size() <= names.size() + 1);  // the names and TEMP
  bool has_temp = false;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::u16string& entry = entries[i];
    FUZZ_CHECK(!Contains(entry, u":="));
    if (entry == u"TEMP") has_temp = true;
    if (i > 0) FUZZ_CHECK(CompareTextIgnoreCase(entries[i - 1], entry) < 0);
  }
  FUZZ_CHECK(has_temp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const size_t nul = bytes.find('\0');
  const std::string_view item_bytes = bytes.substr(0, nul);
  const std::string_view name_bytes =
      nul == std::string_view::npos ? std::string_view() : bytes.substr(nul + 1);

  // An empty TEMP value first: the list's TEMP redirection then leaves the file system and the
  // environment alone, whatever TEMP items follow.
  std::vector<std::u16string> arguments{u"/TEMP:"};
  for (std::u16string& line : SplitAt(FromNarrow(item_bytes), u'\n'))
    if (!line.empty()) arguments.push_back(std::move(line));
  const std::vector<std::u16string> names =
      name_bytes.empty() ? std::vector<std::u16string>{} : SplitAt(FromNarrow(name_bytes), u'\n');

  TApplicationParamList list(u"/fuzz/fbwarm", arguments, u"");
  std::vector<std::u16string> items{u"/fuzz/fbwarm"};
  items.insert(items.end(), arguments.begin(), arguments.end());
  FUZZ_CHECK(list.Items() == items);

  for (const std::u16string& name : names) {
    const std::u16string value = list.GetParamValue(name);
    FUZZ_CHECK(value.size() <= kMaxValueLength);
    FUZZ_CHECK(value == ExpectedValue(items, name));
    const bool present = list.HasParam(name);
    // The presence test compares with a trimmed part cut at ':' and '=': such names never match.
    if (Contains(name, u":=") || name != Trim(name)) FUZZ_CHECK(!present);
    // A value found for a plain name means the parameter is there.
    if (!value.empty() && !name.empty() && !Contains(name, u":=") && name == Trim(name))
      FUZZ_CHECK(present);
  }
  CheckRegistry(list, names);
  return 0;
}
