#include "base/text.h"

std::u16string ToU16(std::string_view ascii) {
  std::u16string result;
  result.reserve(ascii.size());
  for (unsigned char c : ascii) result.push_back(c);
  return result;
}

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& u : result)
    if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
  return result;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& u : result)
    if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u - u'A' + u'a');
  return result;
}

std::u16string Trim(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] <= u' ') ++begin;
  while (end > begin && text[end - 1] <= u' ') --end;
  return std::u16string(text.substr(begin, end - begin));
}

std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> arguments) {
  std::u16string result;
  auto next = arguments.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    bool placeholder = format[i] == u'%' && i + 1 < format.size() &&
                       (format[i + 1] == u's' || format[i + 1] == u'd');
    if (placeholder && next != arguments.end()) {
      result += *next++;
      ++i;
    } else {
      result.push_back(format[i]);
    }
  }
  return result;
}

std::u16string DecimalText(long long number) { return ToU16(std::to_string(number)); }
