#include "base/string_list.h"

#include <algorithm>

#include "base/text.h"

void TStringList::Changing() const {
  if (on_changing_) on_changing_();
}

void TStringList::Changed() const {
  if (on_change_) on_change_();
}

void TStringList::Add(std::u16string text) {
  Changing();
  items_.push_back(std::move(text));
  Changed();
}

void TStringList::Clear() {
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Assign(const TStringList& source) { Assign(source.items_); }

void TStringList::Assign(const std::vector<std::u16string>& lines) {
  Changing();
  items_ = lines;
  Changed();
}

int TStringList::IndexOf(std::u16string_view text) const {
  const std::u16string wanted = AsciiUpper(text);
  for (size_t i = 0; i < items_.size(); ++i)
    if (AsciiUpper(items_[i]) == wanted) return static_cast<int>(i);
  return -1;
}

void TStringList::Sort(const Comparison& compare) {
  Changing();
  std::stable_sort(
      items_.begin(), items_.end(),
      [&](const std::u16string& a, const std::u16string& b) { return compare(a, b) < 0; });
  Changed();
}
