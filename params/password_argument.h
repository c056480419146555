// Which part of an argument is a password, so that a process can hide it from the process list
// (fbwarm does, and so does fbwarm-check, which hands its arguments on to fbwarm).
#pragma once

#include <cstddef>
#include <string>

// Where the value of a password item begins, or npos for any other item. Misspelt forms
// such as -PASSWORD:x or PASSWORD=x give no value, but they still hold a password.
size_t PasswordValueStart(const std::u16string& item);
