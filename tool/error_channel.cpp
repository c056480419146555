#include "tool/error_channel.h"

#include "platform/console.h"

void ConsoleErrorChannel::Line(const std::string& text) {
  ConsoleFlush();
  ConsoleWriteError(text + "\n");
}

void ConsoleErrorChannel::Redraw(const std::string& text) {
  // Spaces over what is left of a longer line drawn before; nothing else moves the cursor.
  std::string line = "\r" + text;
  if (drawn_ > text.size()) line += std::string(drawn_ - text.size(), ' ') + "\r" + text;
  if (text.empty()) line += "\r";
  drawn_ = text.size();
  ConsoleWriteError(line);
}

bool ConsoleErrorChannel::IsTerminal() { return StandardErrorIsTerminal(); }
