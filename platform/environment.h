// The process environment.
#pragma once

#include <optional>
#include <string>

// Replaces each %NAME% reference to a defined variable by its value; references to undefined
// variables, and everything else, stay as written. Empty on failure.
std::optional<std::u16string> ExpandEnvironmentReferences(const std::u16string& text);

// Sets a variable of the process environment; failures are ignored.
void SetEnvironmentValue(const std::u16string& name, const std::u16string& value);

// The value of a variable, or nothing when it is not defined.
std::optional<std::u16string> GetEnvironmentValue(const std::u16string& name);
