// What the shared start-parameter tests (application_param_list_test.cpp,
// temp_redirection_test.cpp) need of one platform; each platform's file
// (application_param_list_posix_test.cpp, application_param_list_win32_test.cpp) defines it
// beside the cases that platform alone has.
#pragma once

#include <string>

// Removes a variable from the process environment.
void UnsetVariable(const std::u16string& name);

// Why fs::permissions(none) on a directory does not keep this test process out of it here;
// empty when it does.
std::string WhyADirectoryCannotBeLocked();
