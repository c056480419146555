// The script language of the client library's test doubles: each directive tells the service
// half (service_double.h) or the database half (database_double.h) how to answer.
// tests/standin/README.md describes it. The stand-in reads its script file with it; unit tests
// can script the in-process fake with the same text.
#pragma once

#include <string>
#include <string_view>

#include "tests/support/database_double.h"
#include "tests/support/service_double.h"

// Hands the directives of text to the doubles in order. A malformed script is a fault of the
// test: its line (where:number) and what is wrong go to standard error, and the process aborts.
void ApplyDoubleScript(std::string_view text, const std::string& where, ServiceDouble& service,
                       DatabaseDouble& database);
