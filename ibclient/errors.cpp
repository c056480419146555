#include "ibclient/errors.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "ibclient/gds_library.h"
#include "ibclient/trace_hook.h"
#include "platform/text_encoding.h"

namespace {

// isc_interprete takes no buffer size; this is what its callers are expected to provide.
constexpr size_t kInterpreteBufferSize = 20480;

thread_local ISC_STATUS t_status_vector[ISC_STATUS_LENGTH] = {};

std::u16string DecimalText(long long number) { return ToU16(std::to_string(number)); }

}  // namespace

EIBError::EIBError(int32_t sql_code, std::u16string message)
    : EIBError(sql_code, 0, std::move(message)) {}

EIBError::EIBError(int32_t sql_code, int32_t ib_error_code, std::u16string message)
    : EDatabaseError(std::move(message)), FSQLCode(sql_code), FIBErrorCode(ib_error_code) {}

std::u16string_view ClientErrorText(ClientErrorCode code) {
  switch (code) {
    case ClientErrorCode::LibraryMissing:
      // Names the Windows file on every platform: the text is fixed.
      return u"InterBase library gds32.dll not found in the path. Please install InterBase to "
             u"use this functionality";
    case ClientErrorCode::NeedsVersion6:
      return u"%s is an InterBase 6 function. Please upgrade to InterBase 6 to use this "
             u"functonality";
    case ClientErrorCode::LoginCancelled:
      return u"Operation cancelled at user's request";
    case ClientErrorCode::SharedResourceFailure:
      return u"Cannot create shared resource. (Windows error %d)";
    case ClientErrorCode::SpbConstantNotSupported:
      return u"SPB Constant Not supported";
    case ClientErrorCode::SpbConstantUnknown:
      return u"SPB Constant Unknown";
    case ClientErrorCode::ServiceNotAttached:
      return u"Cannot perform operation -- service is not attached";
    case ClientErrorCode::ServiceAttached:
      return u"Cannot perform operation -- service is attached";
    case ClientErrorCode::ServerNameMissing:
      return u"Server Name Missing";
    case ClientErrorCode::QueryParamsInvalid:
      return u"Query Parameters missing or incorrect";
    case ClientErrorCode::StartParamsInvalid:
      return u"start Parameters missing or incorrect";
    case ClientErrorCode::UnexpectedOutputValue:
      return u"Unexpected Output buffer value";
  }
  return u"";
}

ISC_STATUS* ThreadStatusVector() { return t_status_vector; }

void RaiseStatusVectorError(IGDSLibrary& library) {
  ISC_STATUS* vector = ThreadStatusVector();
  const auto error_code = static_cast<int32_t>(vector[1]);
  const int32_t sql_code = library.isc_sqlcode(vector);

  std::u16string text;
  std::vector<ISC_SCHAR> buffer(kInterpreteBufferSize);
  ISC_STATUS* position = vector;
  // Each message takes at least one cluster of the vector; the bound only guards against a
  // library that reports messages without moving on.
  for (int messages = 0; messages < ISC_STATUS_LENGTH; ++messages) {
    buffer[0] = 0;
    if (library.isc_interprete(buffer.data(), &position) <= 0) break;
    if (!text.empty() && text.back() != u'\n') text += u"\r\n";
    text += FromNarrow(std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size())));
  }
  if (!text.empty() && text.back() == u'.') text.pop_back();

  if (auto hook = TraceHook())
    hook->SendError(DecimalText(sql_code) + u" " + DecimalText(error_code) + u" " + text);
  if (sql_code == -551) throw EIBInterBaseRoleError(sql_code, error_code, text);
  throw EIBInterBaseError(sql_code, error_code, text);
}

void RaiseStatusVectorError() { RaiseStatusVectorError(*SharedClientLibrary()); }

void RaiseClientErrorText(ClientErrorCode code,
                          std::initializer_list<std::u16string_view> arguments) {
  const std::u16string text = FormatText(ClientErrorText(code), arguments);
  // The trace channel's own failure is never traced: it would only fail again.
  if (code != ClientErrorCode::SharedResourceFailure) {
    if (auto hook = TraceHook()) hook->SendError(text);
  }
  throw EIBClientError(static_cast<int32_t>(code), text);
}

std::u16string ibclient_detail::ClientErrorArgument(long long number) {
  return DecimalText(number);
}
