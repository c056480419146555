// Small text helpers on UTF-16 strings that several parts share. They follow the tool's own
// text rules: only ASCII letters change case, trimming removes U+0000..U+0020 and nothing else.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Widens 7-bit text (literals, numbers) to UTF-16 unit by unit.
std::u16string ToU16(std::string_view ascii);

// A whole number in decimal digits, with a leading '-' when negative: the one way numbers
// become text in messages.
std::u16string DecimalText(long long number);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. For diagnostics only: text that
// crosses into the client library or the console goes through platform/text_encoding.h.
std::string Utf16ToUtf8(std::u16string_view text);

// Maps a..z onto A..Z (AsciiUpper) or A..Z onto a..z (AsciiLower); every other unit stays.
std::u16string AsciiUpper(std::u16string_view text);
std::u16string AsciiLower(std::u16string_view text);

// Removes every unit from U+0000 to U+0020 at both ends.
std::u16string Trim(std::u16string_view text);

// Replaces each %s and %d in format, left to right, by the next argument; further arguments
// are ignored and placeholders without an argument stay as written.
std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> arguments);
