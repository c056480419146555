// Where the run's lines go: the console in the program, a recorder in tests.
#pragma once

#include <string_view>

class LineOutput {
 public:
  virtual ~LineOutput() = default;
  // Prints one line; raises EInOutError when it cannot be written.
  virtual void PrintLine(std::u16string_view text) = 0;
};

// Standard output, in the narrow encoding, each line ending in CR LF.
class ConsoleLineOutput : public LineOutput {
 public:
  void PrintLine(std::u16string_view text) override;
};
