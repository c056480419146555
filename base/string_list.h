// TStrings / TStringList: an ordered list of UTF-16 lines with change notifications.
// The service session uses the notifications to refuse edits while attached and to mark its
// parameter block stale after an edit.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class TStringList {
 public:
  using Notification = std::function<void()>;
  // Orders two texts: negative, zero or positive, like strcmp.
  using Comparison = std::function<int(const std::u16string&, const std::u16string&)>;

  TStringList() = default;
  virtual ~TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  size_t Count() const { return items_.size(); }
  const std::u16string& operator[](size_t index) const { return items_.at(index); }
  const std::vector<std::u16string>& Items() const { return items_; }

  void Add(std::u16string text);
  void Clear();
  // Replaces every line by the lines of source.
  void Assign(const TStringList& source);
  void Assign(const std::vector<std::u16string>& lines);

  // Index of the first line equal to text when ASCII letter case is ignored, or -1.
  int IndexOf(std::u16string_view text) const;
  // Stable in-place sort by compare.
  void Sort(const Comparison& compare);

  // Called before every change; may throw to refuse it, leaving the list as it was.
  void SetOnChanging(Notification handler) { on_changing_ = std::move(handler); }
  // Called after every change.
  void SetOnChange(Notification handler) { on_change_ = std::move(handler); }

 private:
  void Changing() const;
  void Changed() const;

  std::vector<std::u16string> items_;
  Notification on_changing_;
  Notification on_change_;
};

using TStrings = TStringList;
