#include "tests/support/fake_client_library.h"

ISC_STATUS FakeClientLibrary::isc_service_attach(ISC_STATUS* status_vector,
                                                 unsigned short service_length,
                                                 const ISC_SCHAR* service_name,
                                                 isc_svc_handle* handle, unsigned short spb_length,
                                                 const ISC_SCHAR* spb_bytes) {
  ++attach_calls;
  service.assign(service_name, service_length);
  spb.assign(spb_bytes, spb_length);
  return Attach(status_vector, service, handle, spb);
}

ISC_STATUS FakeClientLibrary::isc_service_detach(ISC_STATUS* status_vector,
                                                 isc_svc_handle* handle) {
  return Detach(status_vector, handle);
}

ISC_STATUS FakeClientLibrary::isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* handle,
                                                isc_resv_handle*, unsigned short request_length,
                                                const ISC_SCHAR* request) {
  ++start_calls;
  start_request.assign(request, request_length);
  return Start(status_vector, handle, start_request);
}

ISC_STATUS FakeClientLibrary::isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* handle,
                                                isc_resv_handle*, unsigned short send_length,
                                                const ISC_SCHAR* send_items,
                                                unsigned short request_length,
                                                const ISC_SCHAR* request_items,
                                                unsigned short buffer_length, ISC_SCHAR* buffer) {
  ++query_calls;
  return Query(status_vector, handle, {send_items, send_length}, {request_items, request_length},
               buffer_length, buffer);
}

ISC_LONG FakeClientLibrary::isc_sqlcode(const ISC_STATUS* status_vector) {
  return SqlCode(status_vector);
}

ISC_LONG FakeClientLibrary::isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  return Interprete(buffer, position);
}

ISC_LONG FakeClientLibrary::isc_vax_integer(const ISC_SCHAR* buffer, short length) {
  return VaxInteger(buffer, length);
}

void FakeClientLibrary::Reset() {
  ServiceDouble::Reset();
  calls.clear();
  info_values.clear();
  pages.clear();
  pages_denied = false;
  pages_asked.clear();
  results.clear();
  attach_database_failures.clear();
  info_failures.clear();
  fetch_failures.clear();
  commit_failures.clear();
  statements.clear();
  database_ = 0;
}

void FakeClientLibrary::Record(const ServiceCallRecord& call) {
  calls.push_back({call.name, {call.arguments.begin(), call.arguments.end()}});
}
