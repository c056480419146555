#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <string.h>

#include <mutex>

#include "base/exceptions.h"
#include "platform/text_encoding.h"

namespace {

std::string g_encoding = "UTF-8";

// One conversion direction through iconv, opened for the call and closed after it.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts one step: returns false with errno on a failed step, true when all input was
  // taken. The output grows in proportion to what is left, so a large text takes few calls.
  bool Step(const char*& in, size_t& in_left, std::string& out) {
    while (true) {
      const size_t used = out.size();
      out.resize(used + 4 * in_left + 64);  // room for the worst expansion of what is left
      char* dst = out.data() + used;
      size_t dst_left = out.size() - used;
      char* src = const_cast<char*>(in);
      size_t rc = iconv(cd_, in ? &src : nullptr, &in_left, &dst, &dst_left);
      out.resize(out.size() - dst_left);
      if (in) in = src;
      if (rc != static_cast<size_t>(-1)) return true;
      if (errno != E2BIG) return false;
    }
  }

 private:
  iconv_t cd_;
};

const char* Utf16Native() {
  return (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) ? "UTF-16LE" : "UTF-16BE";
}

std::u16string BytesToUnits(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

// Converts bytes in encoding `from` to UTF-16. Each sequence that does not convert is
// skipped (`skip` bytes) and replaced by U+FFFD; strict mode fails on it instead.
bool DecodeWith(const char* from, std::string_view bytes, size_t skip, bool strict,
                std::u16string& result) {
  Converter conv(Utf16Native(), from);
  if (!conv.ok()) throw EOSError(errno, u"iconv cannot convert this encoding");
  std::string out;
  const char* in = bytes.data();
  size_t left = bytes.size();
  const std::string replacement = std::string(reinterpret_cast<const char*>(u"\uFFFD"), 2);
  while (!conv.Step(in, left, out)) {
    if (strict) return false;
    size_t n = std::min(skip, left);
    in += n;
    left -= n;
    out += replacement;
  }
  if (strict && left != 0) return false;
  result = BytesToUnits(out);
  return true;
}

}  // namespace

void InitTextEncoding() {
  setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  std::string name = codeset ? codeset : "";
  // The C/POSIX locale says ASCII, which would turn every non-ASCII path into '?'.
  if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
    name = "UTF-8";
  g_encoding = name;
}

std::string NarrowEncodingName() { return g_encoding; }

std::string ToNarrow(std::u16string_view text) {
  Converter conv(g_encoding.c_str(), Utf16Native());
  if (!conv.ok()) throw EOSError(errno, u"iconv cannot convert this encoding");
  std::string out;
  const char* in = reinterpret_cast<const char*>(text.data());
  size_t left = text.size() * 2;
  while (!conv.Step(in, left, out)) {
    // A character the encoding lacks (or a lone surrogate): one '?' for the whole character,
    // which is two units only when a high surrogate is followed by a low one.
    char16_t unit, next = 0;
    memcpy(&unit, in, 2);
    if (left >= 4) memcpy(&next, in + 2, 2);
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF;
    size_t units = pair ? 2 : 1;
    in += units * 2;
    left -= units * 2;
    out.push_back('?');
  }
  conv.Step(in = nullptr, left, out);  // flush any shift state
  return out;
}

std::u16string FromNarrow(std::string_view bytes) {
  std::u16string result;
  DecodeWith(g_encoding.c_str(), bytes, 1, false, result);
  return result;
}

bool DecodeUtf8(std::string_view bytes, std::u16string& result) {
  return DecodeWith("UTF-8", bytes, 1, true, result);
}
