// The parameter file: decoding of its bytes, its lines and the section scan, and the file name
// made from the executable's path.
#include "base/text.h"
#include "params/param_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The text with every line end written as LF, and a line end at the very end dropped.
std::u16string NormalisedLineEnds(std::u16string_view text) {
  std::u16string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      result.push_back(u'\n');
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      result.push_back(text[i]);
    }
  }
  if (!result.empty() && result.back() == u'\n') result.pop_back();
  return result;
}

bool HasLineEnd(std::u16string_view text) {
  return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

void CheckFilePath(std::u16string_view executable) {
  const std::u16string path = ParameterFilePath(executable);
  FUZZ_CHECK(path.ends_with(u".INI"));
  const std::u16string_view stem = std::u16string_view(path).substr(0, path.size() - 4);
  // Only the extension of the last component goes, nothing else.
  FUZZ_CHECK(executable.starts_with(stem));
  const std::u16string_view removed = executable.substr(stem.size());
  FUZZ_CHECK(removed.empty() || removed[0] == u'.');
  FUZZ_CHECK(removed.find(u'/') == std::u16string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const std::u16string text = DecodeParameterFile(bytes);
  FUZZ_CHECK(text.find(u'\0') == std::u16string::npos);
  // Every decoding makes at most one unit of each byte (UTF-8 narrow encoding here).
  FUZZ_CHECK(text.size() <= bytes.size());

  const std::vector<std::u16string> lines = SplitLines(text);
  std::u16string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    FUZZ_CHECK(!HasLineEnd(lines[i]));
    if (i > 0) joined += u'\n';
    joined += lines[i];
  }
  FUZZ_CHECK(joined == NormalisedLineEnds(text));

  const std::vector<std::u16string> items = StartParamLines(lines);
  FUZZ_CHECK(items.size() <= lines.size());
  for (const std::u16string& item : items) {
    FUZZ_CHECK(!item.empty());
    FUZZ_CHECK(item == Trim(item));
    FUZZ_CHECK(!HasLineEnd(item));
  }
  // A file without a "[STARTPARAMS]" header contributes nothing.
  if (AsciiUpper(text).find(u"[STARTPARAMS]") == std::u16string::npos) FUZZ_CHECK(items.empty());

  CheckFilePath(Widen(bytes));
  return 0;
}
