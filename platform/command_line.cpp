#include "platform/command_line.h"

namespace {

struct Token {
  std::u16string text;
  std::vector<size_t> positions;  // of each unit of text in the line
};

class Tokenizer {
 public:
  explicit Tokenizer(std::u16string_view line) : line_(line.substr(0, line.find(u'\0'))) {}

  // The next token; empty only at the end of the line.
  Token Next() {
    SkipSeparators();
    Token token;
    while (pos_ < line_.size()) {
      const char16_t c = line_[pos_];
      if (c == u'"') {
        const size_t close = line_.find(u'"', pos_ + 1);
        const size_t end = close == std::u16string_view::npos ? line_.size() : close;
        for (size_t i = pos_ + 1; i < end; ++i) Append(token, i);
        pos_ = close == std::u16string_view::npos ? line_.size() : close + 1;
      } else if (c <= u' ') {
        break;
      } else {
        Append(token, pos_++);
      }
    }
    return token;
  }

 private:
  void Append(Token& token, size_t pos) const {
    token.text.push_back(line_[pos]);
    token.positions.push_back(pos);
  }

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
  result.program = tokens.Next().text;
  while (true) {
    Token argument = tokens.Next();
    if (argument.text.empty()) break;
    result.arguments.push_back(std::move(argument.text));
    result.positions.push_back(std::move(argument.positions));
  }
  return result;
}
