#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "base/text.h"

void FuzzFailure(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

std::u16string Widen(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (unsigned char c : bytes) text.push_back(c);
  return text;
}

std::vector<std::u16string> SplitAt(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos) return parts;
    start = end + 1;
  }
}

std::string Show(std::u16string_view text) { return Utf16ToUtf8(text); }
