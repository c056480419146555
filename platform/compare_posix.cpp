// The registry's comparison: both texts become wide strings of code points, are lowered with
// towlower and collated with wcscoll, both under the locale chosen at start (LC_CTYPE,
// LC_COLLATE). Texts that collate equal but differ after lowering are ordered by code point,
// so only texts that differ in letter case alone count as equal.
#include <wchar.h>
#include <wctype.h>

#include <algorithm>

#include "platform/compare.h"

namespace {

std::wstring LowerWide(const std::u16string& text) {
  std::wstring result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    result.push_back(static_cast<wchar_t>(towlower(static_cast<wint_t>(c))));
  }
  return result;
}

}  // namespace

int CompareTextIgnoreCase(const std::u16string& a, const std::u16string& b) {
  const std::wstring wa = LowerWide(a);
  const std::wstring wb = LowerWide(b);
  // wcscoll stops at a NUL; the code point order below still sees the rest.
  int collated = wcscoll(wa.c_str(), wb.c_str());
  if (collated != 0) return collated < 0 ? -1 : 1;
  // Element by element rather than wstring::compare: glibc's vectorised wmemcmp reads whole
  // 32-byte words past the string's end, which valgrind reports as invalid reads.
  if (std::lexicographical_compare(wa.begin(), wa.end(), wb.begin(), wb.end())) return -1;
  return std::lexicographical_compare(wb.begin(), wb.end(), wa.begin(), wa.end()) ? 1 : 0;
}
