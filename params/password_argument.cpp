#include "params/password_argument.h"

#include <string_view>

#include "base/text.h"

size_t PasswordValueStart(const std::u16string& item) {
  const std::u16string upper = AsciiUpper(item);
  const size_t name =
      (!upper.empty() && std::u16string_view(u"-/\\").find(upper[0]) != std::u16string_view::npos)
          ? 1
          : 0;
  const size_t end = name + 8;  // "PASSWORD"
  if (upper.compare(name, 8, u"PASSWORD") != 0 || end >= upper.size()) return std::u16string::npos;
  return (upper[end] == u':' || upper[end] == u'=') ? end + 1 : std::u16string::npos;
}
