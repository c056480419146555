#include "services/custom_service.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "base/scope_exit.h"
#include "base/text.h"
#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "platform/text_encoding.h"

namespace {

constexpr char kSpbVersion = isc_spb_version;
constexpr char kSpbCurrentVersion = isc_spb_current_version;
// InterBase's isc_spb_instance_name, which Firebird's ibase.h does not define.
constexpr char kSpbInstanceName = 75;

// Limits of the client library's length fields.
constexpr size_t kMaxSpbValueBytes = 255;       // one-byte count of an SPB item
constexpr size_t kMaxSpbBytes = 32767;          // the SPB length is kept as a signed 16-bit value
constexpr size_t kMaxServiceNameBytes = 65535;  // unsigned 16-bit length of the attach

struct SpbParameter {
  std::u16string_view name;
  char code;
  bool accepted;  // whether an attach SPB may carry it
};

// Rows in look-up order; the first equal name wins.
constexpr std::array<SpbParameter, 13> kSpbParameters{{
    {u"user_name", isc_spb_user_name, true},
    {u"sys_user_name", isc_spb_sys_user_name, false},
    {u"sys_user_name_enc", isc_spb_sys_user_name_enc, false},
    {u"password", isc_spb_password, true},
    {u"password_enc", isc_spb_password_enc, false},
    {u"command_line", isc_spb_command_line, false},
    {u"db_name", isc_spb_dbname, false},
    {u"verbose", isc_spb_verbose, false},
    {u"options", isc_spb_options, false},
    {u"connect_timeout", isc_spb_connect_timeout, false},
    {u"dummy_packet_interval", isc_spb_dummy_packet_interval, false},
    {u"sql_role_name", isc_spb_sql_role_name, false},
    {u"instance_name", kSpbInstanceName, true},
}};

constexpr std::u16string_view kIscSpbPrefix = u"isc_spb_";

bool OnlyBlanks(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c == u' '; });
}

[[noreturn]] void RaiseLimit(std::u16string_view text) {
  if (auto hook = TraceHook()) hook->SendError(text);
  throw EIBClientError(0, std::u16string(text));
}

// Appends the item for one name=value line, or raises for a name an attach cannot carry.
// Lines without a name are skipped.
void AppendSpbItem(std::string& spb, const std::u16string& line) {
  const size_t equals = line.find(u'=');
  const std::u16string_view name_part = equals == std::u16string::npos
                                            ? std::u16string_view()
                                            : std::u16string_view(line).substr(0, equals);
  if (OnlyBlanks(name_part)) return;
  std::u16string name = AsciiLower(name_part);
  if (name.starts_with(kIscSpbPrefix)) name.erase(0, kIscSpbPrefix.size());

  const auto row = std::find_if(kSpbParameters.begin(), kSpbParameters.end(),
                                [&](const SpbParameter& p) { return p.name == name; });
  if (row == kSpbParameters.end()) RaiseClientError(ClientErrorCode::SpbConstantUnknown);
  if (!row->accepted) RaiseClientError(ClientErrorCode::SpbConstantNotSupported);

  const std::string value = ToNarrow(std::u16string_view(line).substr(equals + 1));
  if (value.size() > kMaxSpbValueBytes)
    RaiseLimit(u"SPB parameter value too long (" + name + u": " + DecimalText(value.size()) +
               u" bytes, at most 255)");
  spb += row->code;
  spb += static_cast<char>(value.size());
  spb += value;
}

}  // namespace

TIBCustomService::TIBCustomService(TComponent* owner)
    : TIBCustomService(owner, SharedClientLibrary()) {}

TIBCustomService::TIBCustomService(TComponent* owner, std::shared_ptr<IGDSLibrary> library)
    : TComponent(owner), FGDSLibrary(std::move(library)) {
  FGDSLibrary->CheckIBLoaded();
  FParams.SetOnChanging([this] { CheckInactive(); });
  FParams.SetOnChange([this] { FParamsChanged = true; });
}

TIBCustomService::~TIBCustomService() {
  if (!Active()) return;
  try {
    Detach();
  } catch (...) {
    // The handle is dropped either way; the caller who cares detaches before freeing.
  }
}

void TIBCustomService::SetActive(bool value) {
  if (value == Active()) return;
  if (value)
    Attach();
  else
    Detach();
}

void TIBCustomService::CheckActive() const {
  if (!Active()) RaiseClientError(ClientErrorCode::ServiceNotAttached);
}

void TIBCustomService::CheckInactive() const {
  if (Active()) RaiseClientError(ClientErrorCode::ServiceAttached);
}

void TIBCustomService::CheckServerName() const {
  if (FServerName.empty() && FProtocol != TProtocol::Local)
    RaiseClientError(ClientErrorCode::ServerNameMissing);
}

void TIBCustomService::RaiseLimitError(std::u16string_view text) { RaiseLimit(text); }

void TIBCustomService::SetServerName(const std::u16string& value) {
  if (value == FServerName) return;
  CheckInactive();
  FServerName = value;
  if (FProtocol == TProtocol::Local && !FServerName.empty())
    FProtocol = TProtocol::TCP;
  else if (FProtocol != TProtocol::Local && FServerName.empty())
    FProtocol = TProtocol::Local;
}

void TIBCustomService::SetProtocol(TProtocol value) {
  if (value == FProtocol) return;
  CheckInactive();
  FProtocol = value;
  if (FProtocol == TProtocol::Local) FServerName.clear();
}

void TIBCustomService::Login() {
  if (!FOnLogin) RaiseClientError(ClientErrorCode::LoginCancelled);
  TStringList login_params;
  login_params.Assign(FParams);
  FOnLogin(*this, login_params);
  FParams.Assign(login_params);
}

void TIBCustomService::BuildSPB() {
  // Built aside and stored only when complete, so a raise leaves FParamsChanged set and the
  // next attach builds again instead of sending a partial or outdated block.
  std::string spb{kSpbVersion, kSpbCurrentVersion};
  for (const std::u16string& line : FParams.Items()) AppendSpbItem(spb, line);
  if (spb.size() > kMaxSpbBytes)
    RaiseLimitError(u"SPB too long (" + DecimalText(spb.size()) + u" bytes, at most 32767)");
  FSPB = std::move(spb);
  FParamsChanged = false;
}

std::string TIBCustomService::ConnectString() const {
  std::u16string name;
  switch (FProtocol) {
    case TProtocol::TCP:
      name = FServerName + u":service_mgr";
      break;
    case TProtocol::SPX:
      name = FServerName + u"@service_mgr";
      break;
    case TProtocol::NamedPipe:
      name = u"\\\\" + FServerName + u"\\service_mgr";
      break;
    case TProtocol::Local:
      name = u"service_mgr";
      break;
  }
  std::string bytes = ToNarrow(name);
  if (bytes.size() > kMaxServiceNameBytes)
    RaiseLimitError(u"Server name too long (service name of " + DecimalText(bytes.size()) +
                    u" bytes, at most 65535)");
  return bytes;
}

void TIBCustomService::Attach() {
  CheckInactive();
  CheckServerName();
  if (FLoginPrompt) Login();
  if (FParamsChanged) BuildSPB();
  const std::string service = ConnectString();

  const ISC_STATUS status = FGDSLibrary->isc_service_attach(
      ThreadStatusVector(), static_cast<unsigned short>(service.size()), service.data(), &FHandle,
      static_cast<unsigned short>(FSPB.size()), FSPB.data());
  if (status > 0) {
    FHandle = 0;
    RaiseStatusVectorError(*FGDSLibrary);
  }
  if (FOnAttach) FOnAttach(*this);
  OfferTraceNotice(TraceNotice::Attach);
}

void TIBCustomService::Detach() {
  CheckActive();
  const ISC_STATUS status = FGDSLibrary->isc_service_detach(ThreadStatusVector(), &FHandle);
  FHandle = 0;
  if (status > 0) RaiseStatusVectorError(*FGDSLibrary);
  OfferTraceNotice(TraceNotice::Detach);
}

void TIBCustomService::InternalServiceQuery() {
  // The request items live for this call only, whatever happens in it.
  ScopeExit clear_request([this] {
    FQuerySPB.clear();
    FQueryParams.clear();
  });

  CheckActive();
  if (FQueryParams.empty()) RaiseClientError(ClientErrorCode::QueryParamsInvalid);
  FQuerySPB = FQueryParams;
  // Zeroed for every query, not only the first: an answer cut short must not be completed by
  // the bytes the previous answer left behind (it would repeat that answer's line).
  FOutputBuffer.assign(static_cast<size_t>(FBufferSize), '\0');

  // No send items and no time-out item: the call returns when the server has an answer.
  const ISC_STATUS status = FGDSLibrary->isc_service_query(
      ThreadStatusVector(), &FHandle, nullptr, 0, nullptr,
      static_cast<unsigned short>(FQuerySPB.size()), FQuerySPB.data(),
      static_cast<unsigned short>(FOutputBuffer.size()), FOutputBuffer.data());
  if (status > 0) {
    DropHandle();
    RaiseStatusVectorError(*FGDSLibrary);
  }
  OfferTraceNotice(TraceNotice::Query);
}

void TIBCustomService::OfferTraceNotice(TraceNotice notice) const {
  const std::shared_ptr<TIBSQLMonitorHook> hook = TraceHook();
  if (!hook) return;
  switch (notice) {
    case TraceNotice::Attach:
      hook->ServiceAttach(Name(), FTraceFlags);
      break;
    case TraceNotice::Detach:
      hook->ServiceDetach(Name(), FTraceFlags);
      break;
    case TraceNotice::Query:
      hook->ServiceQuery(Name(), FTraceFlags);
      break;
    case TraceNotice::Start:
      hook->ServiceStart(Name(), FTraceFlags);
      break;
  }
}
