#include <windows.h>

#include <string>

#include "base/exceptions.h"
#include "platform/text_encoding.h"

namespace {

// The ANSI code page read at program start; UTF-8 until then.
UINT g_code_page = CP_UTF8;

const wchar_t* Wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

// The conversions take int lengths; text of 2 GiB and more is refused like a conversion failure.
int Length(size_t size) {
  if (size > 0x7FFFFFFF) throw EOSError(ERROR_ARITHMETIC_OVERFLOW, u"text too long to convert");
  return static_cast<int>(size);
}

// Code page bytes to UTF-16; false, result untouched, when the conversion refuses them.
bool Decode(UINT code_page, DWORD flags, std::string_view bytes, std::u16string& result) {
  if (bytes.empty()) {
    result.clear();
    return true;
  }
  const int size = Length(bytes.size());
  int units = MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  if (units <= 0) return false;
  std::u16string out(static_cast<size_t>(units), u'\0');
  units = MultiByteToWideChar(code_page, flags, bytes.data(), size,
                              reinterpret_cast<wchar_t*>(out.data()), units);
  if (units <= 0) return false;
  out.resize(static_cast<size_t>(units));
  result.swap(out);
  return true;
}

// No ANSI code page holds a character beyond U+FFFF, but the conversion would give one '?' per
// half of its surrogate pair; make it one '?' per character, as everywhere else.
std::u16string OneUnitPerSupplementary(std::u16string_view text) {
  std::u16string result(text);
  size_t out = 0;
  for (size_t i = 0; i < result.size(); ++i) {
    const char16_t unit = result[i];
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < result.size() &&
                      result[i + 1] >= 0xDC00 && result[i + 1] <= 0xDFFF;
    result[out++] = pair ? u'?' : unit;
    if (pair) ++i;
  }
  result.resize(out);
  return result;
}

}  // namespace

void InitTextEncoding() { g_code_page = GetACP(); }

std::string NarrowEncodingName() {
  if (g_code_page == CP_UTF8) return "UTF-8";
  return "CP" + std::to_string(g_code_page);
}

std::string ToNarrow(std::u16string_view text) {
  if (text.empty()) return std::string();
  const bool utf8 = g_code_page == CP_UTF8;
  std::u16string narrowed;
  if (!utf8) {
    narrowed = OneUnitPerSupplementary(text);
    text = narrowed;
  }
  const int size = Length(text.size());
  // No best-fit mapping: a character the code page lacks becomes '?', never a look-alike that
  // could turn a path into another path (U+2215 would become '/'). UTF-8 takes neither flags
  // nor a default character.
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* replacement = utf8 ? nullptr : "?";
  int bytes =
      WideCharToMultiByte(g_code_page, flags, Wide(text), size, nullptr, 0, replacement, nullptr);
  if (bytes <= 0) throw EOSError(static_cast<int>(GetLastError()), u"WideCharToMultiByte failed");
  std::string out(static_cast<size_t>(bytes), '\0');
  bytes = WideCharToMultiByte(g_code_page, flags, Wide(text), size, out.data(), bytes, replacement,
                              nullptr);
  if (bytes <= 0) throw EOSError(static_cast<int>(GetLastError()), u"WideCharToMultiByte failed");
  out.resize(static_cast<size_t>(bytes));
  return out;
}

std::u16string FromNarrow(std::string_view bytes) {
  std::u16string result;
  if (!Decode(g_code_page, 0, bytes, result))
    throw EOSError(static_cast<int>(GetLastError()), u"MultiByteToWideChar failed");
  return result;
}

bool DecodeUtf8(std::string_view bytes, std::u16string& result) {
  return Decode(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, result);
}
