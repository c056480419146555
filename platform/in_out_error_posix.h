// The console's errno values as EInOutError, for the POSIX implementation files and their
// tests. Only the meanings the runtime's codes share keep their text: access denied and disk
// full; every other errno is printed as its own number.
#pragma once

#include "base/exceptions.h"

EInOutError InOutErrorFromErrno(int error);
