// Loading the client library: versions, stubs, missing files and names, the XML extension.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/exceptions.h"
#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "platform/environment.h"
#include "tests/ibclient/ibclient_test_support.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

const char kLibraryMissing[] =
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this "
    "functionality";

// Runs one operation of the binding: "called" when it reached the stand-in (which logs its
// name), else the SQLCode and message of the client error it raised.
class OperationProbe {
 public:
  OperationProbe() : log_(dir_ / "calls.log") {
    SetEnvironmentValue(u"FBWARM_STANDIN_LOG", ToU16(log_));
  }
  ~OperationProbe() { SetEnvironmentValue(u"FBWARM_STANDIN_LOG", u""); }

  std::string operator()(const char* name, const std::function<void()>& call) {
    WriteFileBytes(log_, "");
    try {
      call();
    } catch (const EIBClientError& e) {
      return "SQLCode " + std::to_string(e.SQLCode()) + ": " + e.what();
    }
    return ReadFileBytes(log_).rfind(name, 0) == 0 ? "called" : "not called";
  }

 private:
  ScopedTempDir dir_;
  std::string log_;
};

std::string Stub(const char* name, const char* version, bool blank) {
  return std::string("SQLCode 0: ") + name + (blank ? " " : "") + " is an InterBase " + version +
         " function. Please upgrade to InterBase " + version + " to use this functonality";
}

}  // namespace

TEST(Loading, EachVariantSetsClientVersionAndFillsSlotsOrStubs) {
  const std::string v6_attach =
      "SQLCode 3: isc_service_attach is an InterBase 6 function. Please upgrade to InterBase 6 "
      "to use this functonality";
  const std::string v6_rollback =
      "SQLCode 3: isc_rollback_retaining is an InterBase 6 function. Please upgrade to "
      "InterBase 6 to use this functonality";
  const std::string v70_version = Stub("isc_get_client_major_version", "7.0", true);
  const std::string v70_array = Stub("isc_array_gen_sdl2", "7.0", true);
  const std::string v71_savepoint = Stub("isc_start_savepoint", "7.1", true);
  const std::string v2007_batch = Stub("isc_dsql_batch_execute", "2007", false);
  struct Case {
    const char* variant;
    int64_t version;
    std::string attach, rollback, version_function, array2, savepoint, batch;
  } cases[] = {
      {"full", 63000, "called", "called", "called", v70_array, v71_savepoint, v2007_batch},
      {"no-rollback-retaining", 50000, v6_attach, v6_rollback, v70_version, v70_array,
       v71_savepoint, v2007_batch},
      {"no-version-functions", 60000, "called", "called", v70_version, v70_array, v71_savepoint,
       v2007_batch},
      {"v70", 70000, "called", "called", "called", "called", v71_savepoint, v2007_batch},
      {"v71", 71000, "called", "called", "called", "called", "called", v2007_batch},
      {"v80", 80000, "called", "called", "called", "called", "called", "called"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    auto library = Bind(c.variant);
    EXPECT_EQ(library->ClientVersion(), 0);
    library->CheckIBLoaded();
    EXPECT_EQ(library->ClientVersion(), c.version);
    EXPECT_EQ(library->GetIBClientVersion(), static_cast<double>(c.version));

    OperationProbe probe;
    ISC_STATUS* status = ThreadStatusVector();
    isc_svc_handle service = 0;
    isc_tr_handle transaction = 0;
    isc_stmt_handle statement = 0;
    EXPECT_EQ(
        probe("isc_service_attach",
              [&] { library->isc_service_attach(status, 11, "service_mgr", &service, 0, ""); }),
        c.attach);
    EXPECT_EQ(probe("isc_rollback_retaining",
                    [&] { library->isc_rollback_retaining(status, &transaction); }),
              c.rollback);
    EXPECT_EQ(
        probe("isc_get_client_major_version", [&] { library->isc_get_client_major_version(); }),
        c.version_function);
    EXPECT_EQ(
        probe("isc_array_gen_sdl2",
              [&] { library->isc_array_gen_sdl2(status, nullptr, nullptr, nullptr, nullptr); }),
        c.array2);
    EXPECT_EQ(probe("isc_start_savepoint",
                    [&] { library->isc_start_savepoint(status, &transaction, "sp"); }),
              c.savepoint);
    EXPECT_EQ(probe("isc_dsql_batch_execute",
                    [&] {
                      library->isc_dsql_batch_execute(status, &transaction, &statement, 3, nullptr,
                                                      0, nullptr, nullptr);
                    }),
              c.batch);
    // Entry points resolved in every variant reach the library.
    EXPECT_EQ(
        probe("isc_transaction_info",
              [&] { library->isc_transaction_info(status, &transaction, 0, "", 0, nullptr); }),
        "called");
  }
}

TEST(Loading, MissingLibraryRaisesTheFixedTextAndIsTriedAgain) {
  ScopedTempDir dir;
  const std::string path = dir / "libfbclient.so.2";
  TDynamicLibrary library(path, StandinPath("xml", "libibxml.so"));

  EXPECT_FALSE(library.TryIBLoad());
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto error = Raised<EIBClientError>([&] { library.CheckIBLoaded(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->SQLCode(), 1);
    EXPECT_EQ(error->IBErrorCode(), 0);
    EXPECT_STREQ(error->what(), kLibraryMissing);
  }
  EXPECT_THROW(library.GetIBClientVersion(), EIBClientError);
  // Nothing after the failed load: no XML library, no version, and no slot can be called.
  EXPECT_FALSE(library.XmlLibraryLoaded());
  EXPECT_EQ(library.ClientVersion(), 0);
  isc_svc_handle handle = 0;
  auto refused = Raised<EIBClientError>(
      [&] { library.isc_service_attach(ThreadStatusVector(), 11, "service_mgr", &handle, 0, ""); });
  ASSERT_TRUE(refused);
  EXPECT_EQ(std::string(refused->what()),
            "isc_service_attach cannot be called: the client library " + path + " is not loaded");

  // The file appears: the next request loads it.
  WriteFileBytes(path, ReadFileBytes(StandinPath("full")));
  EXPECT_NO_THROW(library.CheckIBLoaded());
  EXPECT_EQ(library.ClientVersion(), 63000);
  EXPECT_TRUE(library.XmlLibraryLoaded());
}

TEST(Loading, LoadedLibraryIsNotLoadedAgain) {
  ScopedTempDir dir;
  const std::string path = dir / "libfbclient.so.2";
  WriteFileBytes(path, ReadFileBytes(StandinPath("v71")));
  TDynamicLibrary library(path, kNoXmlLibrary);
  library.CheckIBLoaded();
  // Were the loader asked again, the missing file would now make it fail.
  std::filesystem::remove(path);
  EXPECT_TRUE(library.TryIBLoad());
  EXPECT_NO_THROW(library.CheckIBLoaded());
  EXPECT_EQ(library.GetIBClientVersion(), 71000.0);
}

TEST(Loading, MissingRequiredNameRaisesTheSystemErrorAndRefusesFurtherUse) {
  auto library = Bind("no-transaction-info");
  auto error = Raised<EOSError>([&] { library->CheckIBLoaded(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->ErrorCode(), 127);
  const std::string message = error->what();
  EXPECT_EQ(message.rfind("Systemfehler.  Code: 127.\r\n", 0), 0u) << message;
  EXPECT_NE(message.find("undefined symbol: isc_transaction_info"), std::string::npos) << message;
  // Resolution stopped at the missing name: the version step never ran.
  EXPECT_EQ(library->ClientVersion(), 0);

  // Every further use is refused, also of the slots filled before the missing name.
  ISC_STATUS* status = ThreadStatusVector();
  isc_svc_handle handle = 0;
  const std::function<void()> uses[] = {
      [&] { library->CheckIBLoaded(); },
      [&] { library->TryIBLoad(); },
      [&] { library->isc_sqlcode(status); },
      [&] { library->isc_service_attach(status, 11, "service_mgr", &handle, 0, ""); },
  };
  for (const auto& use : uses) {
    auto refused = Raised<EIBClientError>(use);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->SQLCode(), 0);
    EXPECT_EQ(std::string(refused->what()),
              "Client library " + StandinPath("no-transaction-info") +
                  " is unusable: an entry point was missing when it was loaded");
  }

  // Letting go of the library allows a fresh attempt, which fails the same way.
  library->FreeIBLibrary();
  EXPECT_THROW(library->CheckIBLoaded(), EOSError);
}

TEST(Loading, XmlExtensionIsOptionalButMustBeComplete) {
  {
    auto library = Bind("full");
    library->CheckIBLoaded();
    EXPECT_FALSE(library->XmlLibraryLoaded());
    auto stub = Raised<EIBClientError>(
        [&] { library->isc_dsql_xml_fetch(ThreadStatusVector(), nullptr, 3, nullptr, nullptr); });
    ASSERT_TRUE(stub);
    EXPECT_EQ(stub->SQLCode(), 0);
    EXPECT_STREQ(stub->what(),
                 "isc_dsql_xml_fetch  is an InterBase 6.5 function. Please upgrade to InterBase "
                 "6.5 to use this functonality");
  }
  {
    auto library = Bind("full", StandinPath("xml", "libibxml.so"));
    library->CheckIBLoaded();
    EXPECT_TRUE(library->XmlLibraryLoaded());
    EXPECT_EQ(library->isc_dsql_xml_buffer_fetch(ThreadStatusVector(), nullptr, nullptr, 0, 3,
                                                 nullptr, nullptr),
              0);
  }
  {
    auto library = Bind("full", StandinPath("xml-incomplete", "libibxml.so"));
    auto error = Raised<EOSError>([&] { library->CheckIBLoaded(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->ErrorCode(), 127);
    EXPECT_NE(std::string(error->what()).find("isc_dsql_xml_buffer_fetch"), std::string::npos);
    EXPECT_EQ(library->ClientVersion(), 63000);
  }
}

// The program's own road: the shared binding loads "libfbclient.so.2" by plain name, so the
// library search path decides which file it gets.
TEST(Loading, PlainNameFollowsTheLibrarySearchPath) {
  struct Case {
    const char* variant;
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {"v71", {}, "version=71000\n"},
      {"full", {"attach"}, "version=63000\nattach=0 handle=1\n"},
      {"no-rollback-retaining",
       {"attach"},
       "version=50000\nEIBClientError 3 isc_service_attach is an InterBase 6 function. Please "
       "upgrade to InterBase 6 to use this functonality\n"},
      {"no-transaction-info",
       {},
       "EOSError 127 Systemfehler.  Code: 127.\r\n" + StandinPath("no-transaction-info") +
           ": undefined symbol: isc_transaction_info\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    ProcessOptions options;
    options.args = c.args;
    options.env["LD_LIBRARY_PATH"] = std::string(STANDIN_ROOT) + "/" + c.variant;
    const ProcessResult result = RunProcess(PROBE_BINARY, options);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, c.expected);
  }
}
