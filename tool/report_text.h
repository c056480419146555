// What the operator's lines share: their two heads and the narrow encoding of the texts they
// quote. Every line on standard error starts with "fbwarm: ".
#pragma once

#include <string>
#include <string_view>

#include "platform/text_encoding.h"

inline std::string Notice(const std::string& text) { return "fbwarm: " + text; }
inline std::string Warning(const std::string& text) { return "fbwarm: WARNUNG: " + text; }
inline std::string Narrow(std::u16string_view text) { return ToNarrow(text); }
