// The part of the text conversions that needs nothing of the operating system.
#include "platform/text_encoding.h"

std::u16string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u16string result;
  result.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned char a = bytes[i], b = bytes[i + 1];
    result.push_back(static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a)));
  }
  return result;
}
