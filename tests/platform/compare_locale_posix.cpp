// The POSIX locale of the shared comparison tests: C.UTF-8, which lowers every letter.
#include <clocale>

#include "tests/platform/compare_cases.h"

LetterLocale::LetterLocale() : previous_(setlocale(LC_ALL, nullptr)) {
  if (!setlocale(LC_ALL, "C.UTF-8")) why_not = "no C.UTF-8 locale on this host";
}

LetterLocale::~LetterLocale() { setlocale(LC_ALL, previous_.c_str()); }
