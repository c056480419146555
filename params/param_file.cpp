#include "params/param_file.h"

#include "base/text.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

std::u16string ParameterFilePath(std::u16string_view executable_path) {
  const size_t component = executable_path.find_last_of(PathComponentEnds());
  const size_t dot = executable_path.rfind(u'.');
  const bool has_extension = dot != std::u16string_view::npos &&
                             (component == std::u16string_view::npos || dot > component);
  std::u16string path(executable_path.substr(0, has_extension ? dot : executable_path.size()));
  return path + u".INI";
}

std::u16string DecodeParameterFile(std::string_view bytes) {
  std::u16string text;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    if (!DecodeUtf8(bytes.substr(3), text)) text.clear();
  } else if (bytes.starts_with("\xFF\xFE")) {
    text = DecodeUtf16(bytes.substr(2), false);
  } else if (bytes.starts_with("\xFE\xFF")) {
    text = DecodeUtf16(bytes.substr(2), true);
  } else {
    text = FromNarrow(bytes);
  }
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return text;
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
  }
  return lines;
}

std::vector<std::u16string> StartParamLines(const std::vector<std::u16string>& lines) {
  std::vector<std::u16string> items;
  bool in_section = false;
  for (const std::u16string& line : lines) {
    if (!line.empty() && line[0] == u'[') {
      in_section = AsciiUpper(Trim(line)) == u"[STARTPARAMS]";
      continue;
    }
    if (!in_section) continue;
    std::u16string item = Trim(line);
    if (!item.empty()) items.push_back(std::move(item));
  }
  return items;
}

bool HasStartParamSection(const std::vector<std::u16string>& lines) {
  for (const std::u16string& line : lines)
    if (!line.empty() && line[0] == u'[' && AsciiUpper(Trim(line)) == u"[STARTPARAMS]") return true;
  return false;
}

ParameterFile ReadParameterFile(const std::u16string& path) {
  ParameterFile file;
  file.path = path;
  if (path.empty()) return file;
  const PathKind kind = QueryPath(path);
  if (kind == PathKind::Missing) {
    file.state = ParameterFileState::Missing;
    return file;
  }
  file.state = ParameterFileState::Unreadable;
  if (kind == PathKind::Inaccessible) {
    file.reason = PathAccessFailure(path);
    return file;
  }
  std::string bytes;
  if (!ReadWholeFile(path, bytes, &file.reason)) return file;
  const std::vector<std::u16string> lines = SplitLines(DecodeParameterFile(bytes));
  file.state =
      HasStartParamSection(lines) ? ParameterFileState::Read : ParameterFileState::NoSection;
  file.items = StartParamLines(lines);
  return file;
}
