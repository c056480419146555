// TIBCustomService over the fake client library: the SPB and connect string it sends, its
// guards, the coupling of ServerName and Protocol, and how it attaches, detaches and is freed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "ibclient/gds_library.h"
#include "ibclient/trace_hook.h"
#include "tests/services/fake_client_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using SessionTest = FakeClientTest;

struct SpbCase {
  std::vector<std::u16string> lines;
  std::string spb;  // hex, or empty when the attach must fail with `error`
  ClientErrorCode error = ClientErrorCode::SpbConstantUnknown;
};

TEST_F(SessionTest, ParamsLinesBecomeTheSpbOfTheAttach) {
  const std::vector<SpbCase> cases = {
      {{}, "0202"},
      {{u"USER_NAME=x"}, "02021c0178"},
      {{u"isc_spb_user_name=x"}, "02021c0178"},
      {{u"ISC_SPB_PASSWORD="}, "02021d00"},
      {{u"user_name= x"}, "02021c022078"},
      {{u"instance_name=fb"}, "02024b026662"},
      {{u"user_name=a=b"}, "02021c03613d62"},
      {{u"user_name=a", u"user_name=b"}, "02021c01611c0162"},
      {{u"no equals sign", u"=x", u"   =y", u"password=p"}, "02021d0170"},
      {{u"user_name=SYSDBA", u"password=masterkey"},
       "02021c06" + Hex("SYSDBA") + "1d09" + Hex("masterkey")},
      // Counts are bytes of the converted text (UTF-8 here), not characters.
      {{u"user_name=M\u00fcller"}, "02021c07" + Hex("M\xc3\xbcller")},
      {{u"user_name=" + std::u16string(255, u'a')}, "02021cff" + Hex(std::string(255, 'a'))},
      {{u" user_name=x"}, "", ClientErrorCode::SpbConstantUnknown},
      {{u"user_name =x"}, "", ClientErrorCode::SpbConstantUnknown},
      {{u"role=x"}, "", ClientErrorCode::SpbConstantUnknown},
      {{u"isc_spb_=x"}, "", ClientErrorCode::SpbConstantUnknown},
      {{u"user_name=x", u"sql_role_name=x"}, "", ClientErrorCode::SpbConstantNotSupported},
      {{u"db_name=x"}, "", ClientErrorCode::SpbConstantNotSupported},
      {{u"sys_user_name=x"}, "", ClientErrorCode::SpbConstantNotSupported},
      {{u"ISC_SPB_OPTIONS=1"}, "", ClientErrorCode::SpbConstantNotSupported},
  };
  for (const SpbCase& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.lines.empty() ? u"(no lines)" : c.lines.front()));
    Reset();
    auto session = NewSession();
    session->Params().Assign(c.lines);
    if (c.spb.empty()) {
      EXPECT_CLIENT_ERROR(session->Attach(), c.error);
      EXPECT_FALSE(session->Active());
      EXPECT_TRUE(Calls("isc_service_attach").empty());
      continue;
    }
    session->Attach();
    const auto attaches = Calls("isc_service_attach");
    ASSERT_EQ(attaches.size(), 1u);
    EXPECT_EQ(attaches[0].Detail("spb"), c.spb);
    EXPECT_EQ(attaches[0].Detail("handle"), "0");
  }
}

TEST_F(SessionTest, OverlongSpbValuesAndBlocksAreRefusedBeforeAnythingIsSent) {
  const std::u16string long_value(256, u'a');
  // 2 + 128 * 257 bytes: every item fits its count, the block does not fit 32767 bytes.
  std::vector<std::u16string> many(128, u"password=" + std::u16string(255, u'p'));
  const std::vector<std::pair<std::vector<std::u16string>, std::string>> cases = {
      {{u"user_name=" + long_value},
       "SPB parameter value too long (user_name: 256 bytes, at most 255)"},
      // 128 two-byte characters: 256 bytes once converted.
      {{u"isc_spb_password=" + std::u16string(128, u'\u00e4')},
       "SPB parameter value too long (password: 256 bytes, at most 255)"},
      {many, "SPB too long (32898 bytes, at most 32767)"},
  };
  for (const auto& [lines, message] : cases) {
    SCOPED_TRACE(message);
    auto session = NewSession();
    session->Params().Assign(lines);
    try {
      session->Attach();
      ADD_FAILURE() << "the attach did not raise";
    } catch (const EIBClientError& e) {
      EXPECT_EQ(Utf16ToUtf8(e.Message()), message);
    }
    EXPECT_FALSE(session->Active());
  }
  EXPECT_TRUE(Calls("isc_service_attach").empty());
}

TEST_F(SessionTest, SpbIsBuiltOnceAndAgainOnlyAfterParamsChanged) {
  auto session = NewSession();
  session->Attach();
  session->Detach();
  session->Attach();
  session->Detach();
  session->Params().Clear();
  session->Params().Add(u"user_name=b");
  session->Attach();
  const auto attaches = Calls("isc_service_attach");
  ASSERT_EQ(attaches.size(), 3u);
  const std::string first = "02021c06" + Hex("SYSDBA") + "1d02" + Hex("pw");
  EXPECT_EQ(attaches[0].Detail("spb"), first);
  EXPECT_EQ(attaches[1].Detail("spb"), first);
  EXPECT_EQ(attaches[2].Detail("spb"), "02021c0162");
}

TEST_F(SessionTest, FailedSpbBuildIsNeverFollowedByAnOutdatedBlock) {
  auto session = NewSession();
  session->Attach();
  session->Detach();
  session->Params().Add(u"role=admin");
  // Each attempt builds again and fails again; the block of the first attach is not reused.
  EXPECT_CLIENT_ERROR(session->Attach(), ClientErrorCode::SpbConstantUnknown);
  EXPECT_CLIENT_ERROR(session->Attach(), ClientErrorCode::SpbConstantUnknown);
  EXPECT_EQ(Calls("isc_service_attach").size(), 1u);

  session->Params().Assign(std::vector<std::u16string>{u"user_name=c"});
  session->Attach();
  const auto attaches = Calls("isc_service_attach");
  ASSERT_EQ(attaches.size(), 2u);
  EXPECT_EQ(attaches[1].Detail("spb"), "02021c0163");
}

TEST_F(SessionTest, ConnectStringFollowsTheProtocol) {
  const std::vector<std::pair<TProtocol, std::string>> cases = {
      {TProtocol::TCP, "dbhost:service_mgr"},
      {TProtocol::SPX, "dbhost@service_mgr"},
      {TProtocol::NamedPipe, "\\\\dbhost\\service_mgr"},
      {TProtocol::Local, "service_mgr"},
  };
  for (const auto& [protocol, connect] : cases) {
    SCOPED_TRACE(connect);
    Reset();
    auto session = NewSession();
    session->SetProtocol(protocol);
    session->Attach();
    const auto attaches = Calls("isc_service_attach");
    ASSERT_EQ(attaches.size(), 1u);
    EXPECT_EQ(attaches[0].Detail("service"), Hex(connect));
  }
  // The warm-up run's connect string, with a non-ASCII host converted to bytes.
  Reset();
  auto session = NewSession();
  session->SetServerName(u"h\u00f6st");
  session->Attach();
  EXPECT_EQ(Calls("isc_service_attach").at(0).Detail("service"), Hex("h\xc3\xb6st:service_mgr"));
}

TEST_F(SessionTest, ServerNameAndProtocolFollowEachOther) {
  auto session = std::make_unique<TIBCustomService>(nullptr, Library());
  EXPECT_EQ(session->Protocol(), TProtocol::Local);
  EXPECT_EQ(session->ServerName(), u"");

  session->SetServerName(u"127.0.0.1");
  EXPECT_EQ(session->Protocol(), TProtocol::TCP);
  session->SetProtocol(TProtocol::SPX);
  EXPECT_EQ(session->ServerName(), u"127.0.0.1");  // only Local empties it
  session->SetServerName(u"");
  EXPECT_EQ(session->Protocol(), TProtocol::Local);

  session->SetServerName(u"a");
  session->SetProtocol(TProtocol::NamedPipe);
  session->SetServerName(u"b");  // a network protocol stays as it is
  EXPECT_EQ(session->Protocol(), TProtocol::NamedPipe);
  session->SetProtocol(TProtocol::Local);
  EXPECT_EQ(session->ServerName(), u"");

  // TCP without a name is accepted; the attach then fails before anything is sent.
  session->SetProtocol(TProtocol::TCP);
  EXPECT_EQ(session->ServerName(), u"");
  session->SetLoginPrompt(false);
  EXPECT_CLIENT_ERROR(session->Attach(), ClientErrorCode::ServerNameMissing);
  EXPECT_FALSE(session->Active());
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SessionTest, AttachedSessionRefusesChangesOfServerProtocolAndParams) {
  auto session = NewSession();
  session->SetActive(true);
  ASSERT_TRUE(session->Active());
  EXPECT_NE(session->Handle(), 0u);

  EXPECT_CLIENT_ERROR(session->SetServerName(u"other"), ClientErrorCode::ServiceAttached);
  EXPECT_CLIENT_ERROR(session->SetServerName(u""), ClientErrorCode::ServiceAttached);
  EXPECT_CLIENT_ERROR(session->SetProtocol(TProtocol::Local), ClientErrorCode::ServiceAttached);
  EXPECT_CLIENT_ERROR(session->Params().Add(u"user_name=x"), ClientErrorCode::ServiceAttached);
  EXPECT_CLIENT_ERROR(session->Params().Clear(), ClientErrorCode::ServiceAttached);
  TStringList other;
  other.Add(u"password=x");
  EXPECT_CLIENT_ERROR(session->SetParams(other), ClientErrorCode::ServiceAttached);
  EXPECT_EQ(session->ServerName(), u"dbhost");
  EXPECT_EQ(session->Protocol(), TProtocol::TCP);
  EXPECT_EQ(session->Params().Items(),
            (std::vector<std::u16string>{u"user_name=SYSDBA", u"password=pw"}));

  // Writing the current values, and the plain properties, are fine.
  session->SetServerName(u"dbhost");
  session->SetProtocol(TProtocol::TCP);
  session->SetLoginPrompt(true);
  session->SetTraceFlags(TTraceFlags{tfService});
  EXPECT_TRUE(session->Active());

  // Active := true while attached does nothing; Attach raises.
  session->SetActive(true);
  EXPECT_CLIENT_ERROR(session->Attach(), ClientErrorCode::ServiceAttached);
  EXPECT_EQ(Calls("isc_service_attach").size(), 1u);
  EXPECT_TRUE(session->Active());
}

TEST_F(SessionTest, DetachedSessionRefusesDetachButNotActiveFalse) {
  auto session = NewSession();
  session->SetActive(false);
  EXPECT_CLIENT_ERROR(session->Detach(), ClientErrorCode::ServiceNotAttached);
  session->SetActive(true);
  const std::string handle = std::to_string(session->Handle());
  session->SetActive(false);
  EXPECT_FALSE(session->Active());
  EXPECT_EQ(session->Handle(), 0u);
  EXPECT_CLIENT_ERROR(session->Detach(), ClientErrorCode::ServiceNotAttached);
  const auto detaches = Calls("isc_service_detach");
  ASSERT_EQ(detaches.size(), 1u);
  EXPECT_EQ(detaches[0].Detail("handle"), handle);
}

TEST_F(SessionTest, LoginStepRunsTheHandlerOrCancels) {
  auto session = std::make_unique<TIBCustomService>(nullptr, Library());
  session->SetServerName(u"dbhost");
  session->Params().Add(u"user_name=SYSDBA");
  // A new session prompts for the login, and there is no dialog to do it.
  EXPECT_CLIENT_ERROR(session->Attach(), ClientErrorCode::LoginCancelled);
  EXPECT_TRUE(Calls().empty());

  int logins = 0;
  session->SetOnLogin([&](TIBCustomService& sender, TStrings& login_params) {
    ++logins;
    EXPECT_EQ(&sender, session.get());
    EXPECT_EQ(login_params.Items(), std::vector<std::u16string>{u"user_name=SYSDBA"});
    login_params.Add(u"password=given");
  });
  int attached = 0;
  session->SetOnAttach([&](TIBCustomService& sender) {
    ++attached;
    EXPECT_TRUE(sender.Active());
  });
  session->Attach();
  EXPECT_EQ(logins, 1);
  EXPECT_EQ(attached, 1);
  EXPECT_EQ(session->Params().Items(),
            (std::vector<std::u16string>{u"user_name=SYSDBA", u"password=given"}));
  EXPECT_EQ(Calls("isc_service_attach").at(0).Detail("spb"),
            "02021c06" + Hex("SYSDBA") + "1d05" + Hex("given"));
}

TEST_F(SessionTest, RefusedAttachRaisesTheLibrarysTextAndStaysDetached) {
  Fake().attach_outcomes.push_back(
      {-902,
       335544472,
       {"Your user name and password are not defined.", "Ask your database administrator."}});
  auto session = NewSession();
  int attached = 0;
  session->SetOnAttach([&](TIBCustomService&) { ++attached; });
  try {
    session->SetActive(true);
    FAIL() << "the refused attach did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(),
              u"Your user name and password are not defined.\r\nAsk your database administrator");
    EXPECT_EQ(e.SQLCode(), -902);
    EXPECT_EQ(e.IBErrorCode(), 335544472);
  }
  EXPECT_FALSE(session->Active());
  EXPECT_EQ(session->Handle(), 0u);
  EXPECT_EQ(attached, 0);
  // The next attempt goes out again and succeeds.
  session->SetActive(true);
  EXPECT_TRUE(session->Active());
  EXPECT_EQ(Calls("isc_service_attach").size(), 2u);
}

TEST_F(SessionTest, FailedDetachRaisesAndDropsTheHandle) {
  Fake().detach_outcomes.push_back({-901, 335544559, {"invalid service handle"}});
  auto session = NewSession();
  session->SetActive(true);
  try {
    session->SetActive(false);
    FAIL() << "the failed detach did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(), u"invalid service handle");
  }
  EXPECT_FALSE(session->Active());
  session.reset();  // nothing left to detach
  EXPECT_EQ(Calls("isc_service_detach").size(), 1u);
}

TEST_F(SessionTest, FreeingAnAttachedSessionDetachesOnce) {
  auto session = NewSession();
  session->SetActive(true);
  const std::string handle = std::to_string(session->Handle());
  session.reset();
  auto detaches = Calls("isc_service_detach");
  ASSERT_EQ(detaches.size(), 1u);
  EXPECT_EQ(detaches[0].Detail("handle"), handle);

  // Also when the session is freed by its owner, and when that detach fails: a destructor
  // does not throw.
  Reset();
  Fake().detach_outcomes.push_back({-901, 335544559, {"invalid service handle"}});
  {
    TComponent owner(nullptr);
    auto* owned = new TIBStatisticalService(&owner, Library());
    owned->SetServerName(u"dbhost");
    owned->SetLoginPrompt(false);
    owned->SetActive(true);
  }
  EXPECT_EQ(Calls("isc_service_detach").size(), 1u);

  // A session that was never attached, or was detached, makes no call when freed.
  Reset();
  auto detached = NewSession();
  detached->SetActive(true);
  detached->SetActive(false);
  detached.reset();
  NewSession().reset();
  EXPECT_EQ(Calls("isc_service_detach").size(), 1u);
}

TEST_F(SessionTest, MissingClientLibraryFailsTheConstruction) {
  ScopedTempDir dir;
  auto missing = std::make_shared<TDynamicLibrary>(dir / "libfbclient.so.2", XmlLibraryName());
  EXPECT_CLIENT_ERROR((TIBStatisticalService(nullptr, missing)), ClientErrorCode::LibraryMissing);
}

class RecordingMonitor : public ITraceMonitor {
 public:
  void TraceText(TTraceFlag category, const std::u16string& text) override {
    if (category == tfService) texts.push_back(text);
  }
  std::vector<std::u16string> texts;
};

TEST_F(SessionTest, ServiceNoticesOnlyWithTfServiceInTheSessionsFlags) {
  RecordingMonitor monitor;
  RegisterTraceMonitor(&monitor);
  auto quiet = NewSession();
  quiet->SetName(u"Quiet");
  quiet->SetTraceFlags(TTraceFlags{tfError, tfConnect});
  quiet->SetActive(true);
  quiet->SetActive(false);

  auto traced = NewSession();
  traced->SetName(u"Traced");
  traced->SetTraceFlags(TTraceFlags{tfService});
  traced->SetActive(true);
  traced->SetActive(false);
  TraceHook()->WaitUntilWritten();
  UnregisterTraceMonitor(&monitor);

  std::vector<std::u16string> notices;
  for (const std::u16string& text : monitor.texts) {
    EXPECT_EQ(text.find(u"Quiet"), std::u16string::npos) << Utf16ToUtf8(text);
    for (const char16_t* notice : {u"Traced: [Attach]", u"Traced: [Detach]"})
      if (text.find(notice) != std::u16string::npos) notices.push_back(notice);
  }
  EXPECT_EQ(notices, (std::vector<std::u16string>{u"Traced: [Attach]", u"Traced: [Detach]"}));
}

}  // namespace
