#include "tests/support/client_double.h"

#include <algorithm>
#include <cstring>

ISC_LONG ClientDouble::SqlCode(const ISC_STATUS* status) {
  if (status[0] != isc_arg_gds || status[1] == 0) return 0;
  for (int i = 2; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end; i += 2)
    if (status[i] == isc_arg_number) return static_cast<ISC_LONG>(status[i + 1]);
  return -999;
}

ISC_LONG ClientDouble::Interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  const ISC_STATUS* p = *position;
  while (p[0] == isc_arg_gds || p[0] == isc_arg_number) p += 2;
  if (p[0] != isc_arg_interpreted) return 0;
  const char* text = reinterpret_cast<const char*>(p[1]);
  std::strcpy(buffer, text);
  *position = const_cast<ISC_STATUS*>(p + 2);
  return std::max<ISC_LONG>(1, static_cast<ISC_LONG>(std::strlen(text)));
}

ISC_LONG ClientDouble::VaxInteger(const ISC_SCHAR* bytes, short length) {
  if (!bytes || length < 1 || length > 4) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  ISC_ULONG value = 0;
  for (short i = 0; i < length - 1; ++i) value |= ISC_ULONG(p[i]) << (8 * i);
  value += ISC_ULONG(ISC_LONG(static_cast<signed char>(p[length - 1]))) << (8 * (length - 1));
  return static_cast<ISC_LONG>(value);
}

ISC_STATUS ClientDouble::Succeed(ISC_STATUS* status) {
  status[0] = isc_arg_gds;
  status[1] = 0;
  status[2] = isc_arg_end;
  return 0;
}

ISC_STATUS ClientDouble::Fail(ISC_STATUS* status, const CallOutcome& failure) {
  // The gds code, the SQL code as a number argument, then one interpreted text per message,
  // as many as fit before the end marker.
  int i = 0;
  status[i++] = isc_arg_gds;
  status[i++] = failure.error_code;
  status[i++] = isc_arg_number;
  status[i++] = failure.sql_code;
  for (size_t m = 0; m < failure.messages.size() && i + 2 < ISC_STATUS_LENGTH; ++m) {
    texts_.push_back(failure.messages[m]);
    status[i++] = isc_arg_interpreted;
    status[i++] = reinterpret_cast<ISC_STATUS>(texts_.back().c_str());
  }
  status[i] = isc_arg_end;
  return failure.error_code > 0 ? failure.error_code : 1;
}

ISC_STATUS ClientDouble::TakeOutcome(ISC_STATUS* status, std::deque<CallOutcome>& outcomes) {
  if (outcomes.empty()) return 0;
  const CallOutcome outcome = std::move(outcomes.front());
  outcomes.pop_front();
  return outcome.failed ? Fail(status, outcome) : 0;
}

void ClientDouble::Record(const CallRecord&) {}
