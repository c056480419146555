// fbwarm-check's run: starts the fbwarm that lies beside it with the same arguments on the
// same standard streams, forwards its progress to the service manager, and after it ended
// decides by its result records and says why on standard error.
#pragma once

#include <string>
#include <vector>

// Runs fbwarm with arguments (their bytes as given) and returns the exit status.
int RunCheck(const std::vector<std::string>& arguments);
