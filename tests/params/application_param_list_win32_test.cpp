// The Windows side of the start-parameter tests.
#include <windows.h>

#include "tests/params/application_param_list_cases.h"

void UnsetVariable(const std::u16string& name) {
  SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name.c_str()), nullptr);
}

std::string WhyADirectoryCannotBeLocked() {
  return "a directory's permissions only mark it read-only here; its content stays reachable";
}
