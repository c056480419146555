#include "services/control_service.h"

#include "base/scope_exit.h"
#include "base/text.h"
#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "platform/text_encoding.h"

namespace {

constexpr char kIscInfoSvcRunning = isc_info_svc_running;
constexpr size_t kMaxStartBytes = 65535;  // the start request's and its items' 16-bit counts

}  // namespace

void TIBControlService::BuildStartParams() {}

void TIBControlService::AppendStartText(std::string& params, char code, std::string_view name,
                                        const std::u16string& text) {
  if (text.empty()) return;
  const std::string bytes = ToNarrow(text);
  if (bytes.size() > kMaxStartBytes)
    RaiseLimitError(u"Start parameter value too long (" + ToU16(name) + u": " +
                    DecimalText(bytes.size()) + u" bytes, at most 65535)");
  params += code;
  params += static_cast<char>(bytes.size() & 0xFF);
  params += static_cast<char>(bytes.size() >> 8);
  params += bytes;
}

void TIBControlService::ServiceStart() {
  CheckActive();
  BuildStartParams();
  InternalServiceStart();
}

void TIBControlService::InternalServiceStart() {
  // The request lives for this call only, whatever happens in it.
  ScopeExit clear_request([this] {
    FStartSPB.clear();
    FStartParams.clear();
  });

  if (FStartParams.empty()) RaiseClientError(ClientErrorCode::StartParamsInvalid);
  if (FStartParams.size() > kMaxStartBytes)
    RaiseLimitError(u"Start parameters too long (" + DecimalText(FStartParams.size()) +
                    u" bytes, at most 65535)");
  FStartSPB = FStartParams;

  const ISC_STATUS status = GDSLibrary().isc_service_start(
      ThreadStatusVector(), &FHandle, nullptr, static_cast<unsigned short>(FStartSPB.size()),
      FStartSPB.data());
  if (status > 0) {
    DropHandle();
    RaiseStatusVectorError(GDSLibrary());
  }
  OfferTraceNotice(TraceNotice::Start);
}

bool TIBControlService::IsServiceRunning() {
  FQueryParams.assign(1, kIscInfoSvcRunning);
  InternalServiceQuery();
  // Item byte, then a 4-byte value; a buffer too small for it cannot hold an answer.
  if (FOutputBuffer.size() < 5 || FOutputBuffer[0] != kIscInfoSvcRunning)
    RaiseClientError(ClientErrorCode::UnexpectedOutputValue);
  return GDSLibrary().isc_vax_integer(FOutputBuffer.data() + 1, 4) == 1;
}
