// Where the operator's words go: standard error in the program, a recorder in tests.
#pragma once

#include <cstddef>
#include <string>

class ErrorChannel {
 public:
  virtual ~ErrorChannel() = default;
  // One whole line (without its line break). Standard output is flushed first; a failure of
  // that flush raises EInOutError like any failure to write standard output.
  virtual void Line(const std::string& text) = 0;
  // Rewrites the one progress line in place; the empty text clears it.
  virtual void Redraw(const std::string& text) = 0;
  virtual bool IsTerminal() = 0;
};

class ConsoleErrorChannel : public ErrorChannel {
 public:
  void Line(const std::string& text) override;
  void Redraw(const std::string& text) override;
  bool IsTerminal() override;

 private:
  size_t drawn_ = 0;  // width of the progress line on screen
};
