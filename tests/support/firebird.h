// The local Firebird server that scripts/firebird-up starts, as tests reach it: its password,
// the standard databases of scripts/make-database, and whether it answers at all.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Runs a bash snippet with scripts/lib/firebird.sh sourced; its standard output without the
// final line breaks, or nullopt when it fails.
std::optional<std::string> FirebirdShell(const std::string& snippet);

// Empty when the server answers and its SYSDBA password can be read; otherwise why not.
// Under FBWARM_REQUIRE_SERVER=1 (set by scripts/test) a missing server is a test failure
// instead of a skip, so CI can never pass by skipping.
std::string RealServerUnavailable();

std::string FirebirdPassword();

// The path of a standard database (small or large), made when missing.
std::string StandardDatabase(const std::string& name);

#define SKIP_WITHOUT_REAL_SERVER()                                 \
  do {                                                             \
    const std::string why_not = RealServerUnavailable();           \
    if (!why_not.empty()) {                                        \
      if (std::getenv("FBWARM_REQUIRE_SERVER")) FAIL() << why_not; \
      GTEST_SKIP() << why_not;                                     \
    }                                                              \
  } while (0)
