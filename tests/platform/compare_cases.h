// What the shared comparison tests need of one platform: a locale whose letters go beyond
// ASCII, chosen for the life of the object and given back afterwards.
#pragma once

#include <string>

class LetterLocale {
 public:
  LetterLocale();
  ~LetterLocale();
  LetterLocale(const LetterLocale&) = delete;
  LetterLocale& operator=(const LetterLocale&) = delete;

  std::string why_not;  // empty when the locale was chosen

 private:
  std::string previous_;
};
