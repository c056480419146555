#include "params/command_line.h"

namespace {

class Tokenizer {
 public:
  explicit Tokenizer(std::u16string_view line) : line_(line.substr(0, line.find(u'\0'))) {}

  // The next token; empty only at the end of the line.
  std::u16string Next() {
    SkipSeparators();
    std::u16string token;
    while (pos_ < line_.size()) {
      char16_t c = line_[pos_];
      if (c == u'"') {
        size_t close = line_.find(u'"', pos_ + 1);
        size_t end = close == std::u16string_view::npos ? line_.size() : close;
        token.append(line_.substr(pos_ + 1, end - pos_ - 1));
        pos_ = close == std::u16string_view::npos ? line_.size() : close + 1;
      } else if (c <= u' ') {
        break;
      } else {
        token.push_back(c);
        ++pos_;
      }
    }
    return token;
  }

 private:
  void SkipSeparators() {
    while (pos_ < line_.size()) {
      if (line_[pos_] <= u' ') {
        ++pos_;
      } else if (line_[pos_] == u'"' && pos_ + 1 < line_.size() && line_[pos_ + 1] == u'"') {
        pos_ += 2;
      } else {
        break;
      }
    }
  }

  std::u16string_view line_;
  size_t pos_ = 0;
};

}  // namespace

SplitCommandLineResult SplitCommandLine(std::u16string_view line) {
  SplitCommandLineResult result;
  Tokenizer tokens(line);
  result.program = tokens.Next();
  while (true) {
    std::u16string argument = tokens.Next();
    if (argument.empty()) break;
    result.arguments.push_back(std::move(argument));
  }
  return result;
}
