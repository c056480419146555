// The Windows locale of the shared comparison tests: the user's own, which the comparison
// uses without being told.
#include "tests/platform/compare_cases.h"

LetterLocale::LetterLocale() = default;

LetterLocale::~LetterLocale() = default;
