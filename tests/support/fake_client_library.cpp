#include "tests/support/fake_client_library.h"

#include <algorithm>
#include <cstring>

ISC_STATUS FakeClientLibrary::isc_service_attach(ISC_STATUS*, unsigned short service_length,
                                                 const ISC_SCHAR* service_name,
                                                 isc_svc_handle* handle, unsigned short spb_length,
                                                 const ISC_SCHAR* spb_bytes) {
  ++attach_calls;
  service.assign(service_name, service_length);
  spb.assign(spb_bytes, spb_length);
  *handle = 1;
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_service_detach(ISC_STATUS*, isc_svc_handle* handle) {
  *handle = 0;
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_service_start(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*,
                                                unsigned short request_length,
                                                const ISC_SCHAR* request) {
  ++start_calls;
  start_request.assign(request, request_length);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_service_query(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*,
                                                unsigned short, const ISC_SCHAR*,
                                                unsigned short request_length,
                                                const ISC_SCHAR* request_items,
                                                unsigned short buffer_length, ISC_SCHAR* buffer) {
  ++query_calls;
  std::string answer;
  if (!answers.empty()) {
    answer = std::move(answers.front());
    answers.pop_front();
  } else if (request_length > 0) {
    answer = {request_items[0], 0, 0, 1};
  }
  // Bytes past the answer stay as the caller left them.
  std::memcpy(buffer, answer.data(), std::min<size_t>(answer.size(), buffer_length));
  return 0;
}

ISC_LONG FakeClientLibrary::isc_vax_integer(const ISC_SCHAR* buffer, short length) {
  if (length < 1 || length > 4) return 0;
  ISC_LONG value = static_cast<signed char>(buffer[length - 1]);
  for (int i = length - 2; i >= 0; --i) value = value * 256 + static_cast<unsigned char>(buffer[i]);
  return value;
}
