// What the fuzz targets share: the libFuzzer entry point, a property check that fails loudly,
// and small readers that turn the fuzzer's bytes into the program's UTF-16 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Each target defines it; libFuzzer calls it, and so does the corpus replay of the normal build.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken property prints where and what, then aborts: libFuzzer keeps the input as a crash,
// the corpus replay fails its test.
[[noreturn]] void FuzzFailure(const char* file, int line, const char* what);
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : FuzzFailure(__FILE__, __LINE__, #condition))

inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Each byte as one UTF-16 unit (0 to 255): every unit the splitter and the look-ups tell apart
// (controls, blank, quote, ':', '=', '/', '-', '\') can appear.
std::u16string Widen(std::string_view bytes);

// Splits at every separator; n separators give n + 1 parts.
std::vector<std::u16string> SplitAt(std::u16string_view text, char16_t separator);

// Readable form of a text for failure messages.
std::string Show(std::u16string_view text);
