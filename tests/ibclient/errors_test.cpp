// The exception family, the client error table and the composition of status-vector errors.
#include "ibclient/errors.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ibclient/status_vector.h"
#include "platform/environment.h"
#include "tests/ibclient/ibclient_test_support.h"
#include "tests/support/temp_dir.h"

TEST(ClientErrors, TableTextsCodesAndArguments) {
  struct Case {
    std::function<void()> raise;
    int32_t code;
    const char* message;
  } cases[] = {
      {[] { RaiseClientError(ClientErrorCode::ServiceNotAttached); }, 90,
       "Cannot perform operation -- service is not attached"},
      {[] { RaiseClientError(ClientErrorCode::ServiceAttached); }, 91,
       "Cannot perform operation -- service is attached"},
      {[] { RaiseClientError(ClientErrorCode::SharedResourceFailure, 5); }, 58,
       "Cannot create shared resource. (Windows error 5)"},
      {[] { RaiseClientError(ClientErrorCode::NeedsVersion6, u"isc_service_start", 7); }, 3,
       "isc_service_start is an InterBase 6 function. Please upgrade to InterBase 6 to use this "
       "functonality"},
      // A text without placeholders ignores its arguments.
      {[] { RaiseClientError(ClientErrorCode::ServerNameMissing, u"x", 1); }, 92,
       "Server Name Missing"},
      {[] { RaiseClientError(ClientErrorCode::LibraryMissing); }, 1,
       "InterBase library gds32.dll not found in the path. Please install InterBase to use this "
       "functionality"},
      {[] { RaiseClientError(ClientErrorCode::LoginCancelled); }, 10,
       "Operation cancelled at user's request"},
      {[] { RaiseClientError(ClientErrorCode::SpbConstantNotSupported); }, 88,
       "SPB Constant Not supported"},
      {[] { RaiseClientError(ClientErrorCode::SpbConstantUnknown); }, 89, "SPB Constant Unknown"},
      {[] { RaiseClientError(ClientErrorCode::QueryParamsInvalid); }, 93,
       "Query Parameters missing or incorrect"},
      {[] { RaiseClientError(ClientErrorCode::StartParamsInvalid); }, 94,
       "start Parameters missing or incorrect"},
      {[] { RaiseClientError(ClientErrorCode::UnexpectedOutputValue); }, 95,
       "Unexpected Output buffer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto error = Raised<EIBClientError>(c.raise);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->SQLCode(), c.code);
    EXPECT_EQ(error->IBErrorCode(), 0);
    EXPECT_STREQ(error->what(), c.message);
  }
}

TEST(ClientErrors, FamilyAndConstructors) {
  const EIBClientError two(94, u"t");
  EXPECT_EQ(two.SQLCode(), 94);
  EXPECT_EQ(two.IBErrorCode(), 0);
  const EIBInterBaseError three(-902, 335544472, u"m");
  EXPECT_EQ(three.IBErrorCode(), 335544472);
  EXPECT_EQ(three.Message(), u"m");
  // Everything the layer raises reaches the driver's handler as an Exception.
  const Exception& general = three;
  EXPECT_NE(dynamic_cast<const EDatabaseError*>(&general), nullptr);
  EXPECT_NE(dynamic_cast<const EIBError*>(&general), nullptr);
  EXPECT_EQ(dynamic_cast<const EIBClientError*>(&general), nullptr);
}

TEST(StatusVector, EachThreadHasItsOwnZeroedPointerSizedVector) {
  static_assert(sizeof(ISC_STATUS) == sizeof(void*));
  ThreadStatusVector()[1] = 42;
  ISC_STATUS* other = nullptr;
  bool zeroed = false;
  std::thread([&] {
    other = ThreadStatusVector();
    zeroed = std::all_of(other, other + ISC_STATUS_LENGTH, [](ISC_STATUS v) { return v == 0; });
  }).join();
  EXPECT_NE(other, ThreadStatusVector());
  EXPECT_TRUE(zeroed);
  EXPECT_EQ(ThreadStatusVector()[1], 42);
}

TEST(StatusVectorError, MessageCompositionFromInterpretedLines) {
  auto library = Bind("full");
  library->CheckIBLoaded();
  struct Case {
    const char* name;
    ISC_STATUS error_code, sql_code;
    std::vector<const char*> lines;
    std::u16string message;
    bool role_error;
  } cases[] = {
      {"two lines are joined by CR LF, the final full stop goes",
       335544721,
       -902,
       {"Unable to complete network request to host \"h\".", "Failed to establish a connection."},
       u"Unable to complete network request to host \"h\".\r\nFailed to establish a connection",
       false},
      {"a line ending in LF gets no CR LF", 1, -1, {"A\n", "B"}, u"A\nB", false},
      {"only the last of two full stops goes", 2, -2, {"C.."}, u"C.", false},
      {"narrow text is converted",
       4,
       -4,
       {"Gr\xc3\xbc\xc3\x9f"
        "e."},
       u"Gr\u00fc\u00dfe",
       false},
      {"SQL code -551 is the role error",
       335544352,
       -551,
       {"no permission."},
       u"no permission",
       true},
      {"no line at all gives an empty message", 335544472, -902, {}, u"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FillStandinVector(c.error_code, c.sql_code, c.lines);
    auto error = Raised<EIBError>([&] { RaiseStatusVectorError(*library); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Message(), c.message);
    EXPECT_EQ(error->SQLCode(), c.sql_code);
    EXPECT_EQ(error->IBErrorCode(), c.error_code);
    // Raised<> copies the exception as EIBError, so the class is checked by a second raise.
    if (c.role_error)
      EXPECT_THROW(RaiseStatusVectorError(*library), EIBInterBaseRoleError);
    else
      EXPECT_THROW(RaiseStatusVectorError(*library), EIBInterBaseError);
  }

  // A vector that was never filled.
  std::fill(ThreadStatusVector(), ThreadStatusVector() + ISC_STATUS_LENGTH, 0);
  try {
    RaiseStatusVectorError(*library);
    FAIL() << "nothing was raised";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(), u"");
    EXPECT_EQ(e.SQLCode(), 0);
    EXPECT_EQ(e.IBErrorCode(), 0);
  }
}

// The stand-in's script and log as the service tests use them: a failed attach reported
// through the binding.
TEST(StatusVectorError, ScriptedAttachFailure) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "script",
                 "attach fail -902 335544472\n"
                 "message Your user name and password are not defined.\n"
                 "message Second line\\n\n");
  SetEnvironmentValue(u"FBWARM_STANDIN_SCRIPT", ToU16(dir / "script"));
  auto library = Bind("full");
  library->CheckIBLoaded();
  SetEnvironmentValue(u"FBWARM_STANDIN_LOG", ToU16(dir / "log"));

  isc_svc_handle handle = 0;
  const char service[] = "localhost:service_mgr";
  const char spb[] = {2, 2, 28, 1, 'U'};
  const ISC_STATUS status = library->isc_service_attach(ThreadStatusVector(), sizeof service - 1,
                                                        service, &handle, sizeof spb, spb);
  EXPECT_GT(status, 0);
  EXPECT_EQ(handle, 0u);
  try {
    RaiseStatusVectorError(*library);
    FAIL() << "nothing was raised";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(), u"Your user name and password are not defined.\r\nSecond line\n");
    EXPECT_EQ(e.SQLCode(), -902);
    EXPECT_EQ(e.IBErrorCode(), 335544472);
  }
  const std::string log = ReadFileBytes(dir / "log");
  EXPECT_EQ(log.substr(0, log.find('\n')),
            "isc_service_attach service=6c6f63616c686f73743a736572766963655f6d6772 "
            "spb=02021c0155 handle=0");
  // The next attach has no scripted outcome left and succeeds.
  EXPECT_EQ(library->isc_service_attach(ThreadStatusVector(), sizeof service - 1, service, &handle,
                                        sizeof spb, spb),
            0);
  EXPECT_NE(handle, 0u);
  SetEnvironmentValue(u"FBWARM_STANDIN_SCRIPT", u"");
  SetEnvironmentValue(u"FBWARM_STANDIN_LOG", u"");
}
