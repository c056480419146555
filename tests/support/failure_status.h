// How the test doubles of the client library (the in-process fake and the stand-in library)
// fill a status vector, laid out as the real library lays it out.
#pragma once

#include <ibase.h>

#include <deque>
#include <string>
#include <vector>

// isc_bad_svc_handle, which a double reports for a service handle it did not hand out.
inline constexpr ISC_STATUS kBadServiceHandleCode = 335544559;

inline void WriteSuccessStatus(ISC_STATUS* status) {
  status[0] = isc_arg_gds;
  status[1] = 0;
  status[2] = isc_arg_end;
}

// The gds code, the SQL code as a number argument, then one interpreted text per message, as
// many as fit before the end marker. texts keeps the strings that the vector points at alive.
// Returns what the failed call returns: the gds code, or 1 where there is none.
inline ISC_STATUS WriteFailureStatus(ISC_STATUS* status, ISC_STATUS sql_code,
                                     ISC_STATUS error_code,
                                     const std::vector<std::string>& messages,
                                     std::deque<std::string>& texts) {
  int i = 0;
  status[i++] = isc_arg_gds;
  status[i++] = error_code;
  status[i++] = isc_arg_number;
  status[i++] = sql_code;
  for (size_t m = 0; m < messages.size() && i + 2 < ISC_STATUS_LENGTH; ++m) {
    texts.push_back(messages[m]);
    status[i++] = isc_arg_interpreted;
    status[i++] = reinterpret_cast<ISC_STATUS>(texts.back().c_str());
  }
  status[i] = isc_arg_end;
  return error_code > 0 ? error_code : 1;
}
