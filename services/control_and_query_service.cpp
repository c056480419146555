#include "services/control_and_query_service.h"

#include <cstdint>

#include "base/text.h"
#include "ibclient/errors.h"
#include "platform/text_encoding.h"

namespace {

constexpr char kIscInfoEnd = isc_info_end;
constexpr char kIscInfoTruncated = isc_info_truncated;
constexpr char kIscInfoSvcLine = isc_info_svc_line;
constexpr char kIscInfoSvcToEof = isc_info_svc_to_eof;

constexpr int kMinBufferSize = 4;  // item, 2-byte length, terminator
constexpr int kMaxBufferSize = 65535;

}  // namespace

void TIBControlAndQueryService::SetBufferSize(int value) {
  if (value < kMinBufferSize || value > kMaxBufferSize)
    RaiseLimitError(u"Buffer size out of range (" + DecimalText(value) +
                    u", allowed 4 to 65535 bytes)");
  if (value == FBufferSize) return;
  FBufferSize = value;
  if (!FOutputBuffer.empty()) FOutputBuffer.assign(static_cast<size_t>(value), '\0');
}

size_t TIBControlAndQueryService::QueryText(char item) {
  FQueryParams.assign(1, item);
  InternalServiceQuery();
  if (FOutputBuffer[0] != item) RaiseClientError(ClientErrorCode::UnexpectedOutputValue);
  // The client decodes the last byte with its sign; the length is unsigned.
  const size_t length =
      static_cast<uint16_t>(GDSLibrary().isc_vax_integer(FOutputBuffer.data() + 1, 2));
  // The terminator must lie inside the buffer, whatever length the answer claims.
  if (3 + length >= FOutputBuffer.size()) RaiseClientError(ClientErrorCode::UnexpectedOutputValue);
  return length;
}

std::string TIBControlAndQueryService::TextOfAnswer(size_t length) {
  FOutputBuffer[3 + length] = '\0';
  return std::string(FOutputBuffer.data() + 3);
}

std::u16string TIBControlAndQueryService::GetNextLine() {
  if (FEof) return std::u16string();
  if (FAction == 0) RaiseClientError(ClientErrorCode::QueryParamsInvalid);
  const size_t length = QueryText(kIscInfoSvcLine);
  // A line that did not fit the buffer ends with isc_info_truncated and is refused too.
  if (FOutputBuffer[3 + length] != kIscInfoEnd)
    RaiseClientError(ClientErrorCode::UnexpectedOutputValue);
  if (length == 0) {
    FEof = true;
    return std::u16string();
  }
  FEof = false;
  return FromNarrow(TextOfAnswer(length));
}

std::string TIBControlAndQueryService::GetNextChunk() {
  if (FEof) return std::string();
  if (FAction == 0) RaiseClientError(ClientErrorCode::QueryParamsInvalid);
  const size_t length = QueryText(kIscInfoSvcToEof);
  switch (FOutputBuffer[3 + length]) {
    case kIscInfoTruncated:
      FEof = false;
      break;
    case kIscInfoEnd:
      FEof = true;
      break;
    default:
      RaiseClientError(ClientErrorCode::UnexpectedOutputValue);
  }
  return TextOfAnswer(length);
}
