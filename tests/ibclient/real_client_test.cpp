// The real Firebird client library of this machine, through the same binding.
#include <gtest/gtest.h>

#include <filesystem>

#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "tests/ibclient/ibclient_test_support.h"
#include "tests/support/run_process.h"

namespace {

bool RealClientInstalled() { return std::filesystem::exists(REAL_CLIENT_LIBRARY); }

// Loaded by full path: a plain name would match a stand-in already loaded in this process.
TDynamicLibrary& RealClient() {
  static TDynamicLibrary library(REAL_CLIENT_LIBRARY, kNoXmlLibrary);
  return library;
}

}  // namespace

TEST(RealClient, LoadsWithClientVersion63000) {
  if (!RealClientInstalled()) GTEST_SKIP() << REAL_CLIENT_LIBRARY << " is not installed";
  TDynamicLibrary& library = RealClient();
  library.CheckIBLoaded();
  EXPECT_EQ(library.ClientVersion(), 63000);
  char version[256] = {};
  library.isc_get_client_version(version);
  EXPECT_EQ(std::string(version).rfind("LI-V6.3", 0), 0u) << version;
  // The InterBase-only names are stubs with the Firebird client.
  isc_tr_handle transaction = 0;
  EXPECT_THROW(library.isc_start_savepoint(ThreadStatusVector(), &transaction, "s"),
               EIBClientError);
}

TEST(RealClient, StatusVectorMessagesFromTheLibrarysOwnTexts) {
  if (!RealClientInstalled()) GTEST_SKIP() << REAL_CLIENT_LIBRARY << " is not installed";
  TDynamicLibrary& library = RealClient();
  library.CheckIBLoaded();
  const char* host = "127.0.0.1";
  struct Case {
    std::vector<ISC_STATUS> vector;
    int32_t sql_code;
    std::u16string message;
    bool role_error;
  } cases[] = {
      {{isc_arg_gds, isc_login, isc_arg_end},
       -902,
       u"Your user name and password are not defined. Ask your database administrator to set "
       u"up a Firebird login",
       false},
      {{isc_arg_gds, isc_network_error, isc_arg_string, reinterpret_cast<ISC_STATUS>(host),
        isc_arg_gds, isc_net_connect_err, isc_arg_end},
       -902,
       u"Unable to complete network request to host \"127.0.0.1\".\r\nFailed to establish a "
       u"connection",
       false},
      {{isc_arg_gds, isc_no_priv, isc_arg_string, reinterpret_cast<ISC_STATUS>("SELECT"),
        isc_arg_string, reinterpret_cast<ISC_STATUS>("TABLE"), isc_arg_string,
        reinterpret_cast<ISC_STATUS>("T1"), isc_arg_end},
       -551,
       u"no permission for SELECT access to TABLE T1",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.message));
    std::fill(ThreadStatusVector(), ThreadStatusVector() + ISC_STATUS_LENGTH, 0);
    std::copy(c.vector.begin(), c.vector.end(), ThreadStatusVector());
    try {
      RaiseStatusVectorError(library);
      FAIL() << "nothing was raised";
    } catch (const EIBError& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.SQLCode(), c.sql_code);
      EXPECT_EQ(e.IBErrorCode(), static_cast<int32_t>(c.vector[1]));
      EXPECT_EQ(dynamic_cast<const EIBInterBaseRoleError*>(&e) != nullptr, c.role_error);
      EXPECT_EQ(dynamic_cast<const EIBInterBaseError*>(&e) != nullptr, !c.role_error);
    }
  }
}

// The stand-in decodes integers exactly as the real library does, the sign taken from the
// last byte (so a 2-byte length of 40000 comes back as -25536).
TEST(RealClient, StandinDecodesIntegersLikeTheRealLibrary) {
  if (!RealClientInstalled()) GTEST_SKIP() << REAL_CLIENT_LIBRARY << " is not installed";
  TDynamicLibrary& real = RealClient();
  real.CheckIBLoaded();
  auto standin = Bind("full");
  standin->CheckIBLoaded();
  struct Case {
    const char bytes[4];
    short length;
    ISC_LONG value;
  } cases[] = {
      {{0x40, char(0x9C), 0, 0}, 2, -25536},
      {{0x40, char(0x9C), 0, 0}, 3, 40000},
      {{1, 2, 3, 4}, 4, 0x04030201},
      {{1, 2, 3, 4}, 1, 1},
      {{char(0xFF), char(0xFF), char(0xFF), 0x7F}, 4, 0x7FFFFFFF},
      {{char(0x80), 0, 0, 0}, 1, -128},
      {{char(0x80), 0, 0, 0}, 4, 128},
      {{1, 2, 3, 4}, 0, 0},
      {{1, 2, 3, 4}, 5, 0},
      {{1, 2, 3, 4}, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(real.isc_vax_integer(c.bytes, c.length), c.value);
    EXPECT_EQ(standin->isc_vax_integer(c.bytes, c.length), c.value);
  }
}

TEST(RealClient, ProgramFindsItByPlainName) {
  if (!RealClientInstalled()) GTEST_SKIP() << REAL_CLIENT_LIBRARY << " is not installed";
  ProcessOptions options;
  options.env["LD_LIBRARY_PATH"] = std::nullopt;
  const ProcessResult result = RunProcess(PROBE_BINARY, options);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "version=63000\n");
}
