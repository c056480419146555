// Conversion between the program's UTF-16 text and the process's narrow encoding: the ANSI
// code page on Windows, the locale's codeset elsewhere (UTF-8 under the C/POSIX locale, so a
// cron job's non-ASCII paths survive). Every byte boundary of the program converts here.
#pragma once

#include <string>
#include <string_view>

// Chooses the narrow encoding from the environment's locale. Called once at program start,
// before anything is converted; conversions before it use UTF-8.
void InitTextEncoding();

// The narrow encoding's name as iconv knows it (for example "UTF-8", "ISO-8859-1").
std::string NarrowEncodingName();

// UTF-16 to the narrow encoding; a character the encoding lacks becomes '?'.
std::string ToNarrow(std::u16string_view text);

// The narrow encoding to UTF-16; a byte sequence invalid in it becomes U+FFFD.
std::u16string FromNarrow(std::string_view bytes);

// Strict UTF-8 decoding: false, and result untouched, when bytes is not well-formed UTF-8.
bool DecodeUtf8(std::string_view bytes, std::u16string& result);

// UTF-16 bytes in the given byte order; a trailing odd byte is dropped.
std::u16string DecodeUtf16(std::string_view bytes, bool big_endian);
