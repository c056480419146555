// The system's text for a Windows error code, shared by the *_win32.cpp files. Included by them
// only.
#pragma once

#include <string>

// Without the line break and full stop it ends with; "Fehler N" when the system has no text.
std::u16string ErrorText(unsigned long error);
