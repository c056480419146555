#include "ibclient/errors.h"

#include <string>

#include "base/text.h"
#include "ibclient/trace_hook.h"

EIBError::EIBError(int32_t sql_code, std::u16string message)
    : EIBError(sql_code, 0, std::move(message)) {}

EIBError::EIBError(int32_t sql_code, int32_t ib_error_code, std::u16string message)
    : EDatabaseError(std::move(message)), FSQLCode(sql_code), FIBErrorCode(ib_error_code) {}

EIBClientLibraryMissing::EIBClientLibraryMissing(std::u16string message, std::string library,
                                                 std::u16string reason)
    : EIBClientError(static_cast<int32_t>(ClientErrorCode::LibraryMissing), std::move(message)),
      library_(std::move(library)),
      reason_(std::move(reason)) {}

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

void RaiseClientErrorText(ClientErrorCode code,
                          std::initializer_list<std::u16string_view> arguments) {
  const std::u16string text = FormatText(ClientErrorText(code), arguments);
  // The trace channel's own failure is never traced: it would only fail again.
  if (code != ClientErrorCode::SharedResourceFailure) {
    if (auto hook = TraceHook()) hook->SendError(text);
  }
  throw EIBClientError(static_cast<int32_t>(code), text);
}

void RaiseClientLibraryMissing(const std::string& library, const std::u16string& reason) {
  const std::u16string text(ClientErrorText(ClientErrorCode::LibraryMissing));
  if (auto hook = TraceHook()) hook->SendError(text);
  throw EIBClientLibraryMissing(text, library, reason);
}
