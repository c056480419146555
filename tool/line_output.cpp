#include "tool/line_output.h"

#include "platform/console.h"

void ConsoleLineOutput::PrintLine(std::u16string_view text) { ConsoleWriteLine(text); }
