// The in-process client library for unit tests (the service fuzz targets use it): it records
// the SPB of the attach and the start request, and answers each query with the next scripted
// bytes, cut at the caller's buffer as the real library cuts them. Every other entry point
// does nothing.
#pragma once

#include <deque>
#include <string>

#include "ibclient/gds_library.h"

template <class... Arguments>
void IgnoreArguments(const Arguments&...) {}

// Every operation succeeds and does nothing.
class IdleClientLibrary : public IGDSLibrary {
 public:
  void LoadIBLibrary() override {}
  void FreeIBLibrary() override {}
  bool TryIBLoad() override { return true; }
  void CheckIBLoaded() override {}
  double GetIBClientVersion() override { return 6.3; }
  int64_t ClientVersion() const override { return 63000; }

#define IDLE_OPERATION(result, name, params, args) \
  result name params override {                    \
    IgnoreArguments args;                          \
    return result();                               \
  }
  GDS_ENTRY_POINTS(IDLE_OPERATION)
#undef IDLE_OPERATION
  ISC_LONG isc_event_block(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT, const ISC_SCHAR* const*) override {
    return 0;
  }
};

class FakeClientLibrary : public IdleClientLibrary {
 public:
  ISC_STATUS isc_service_attach(ISC_STATUS* status_vector, unsigned short service_length,
                                const ISC_SCHAR* service, isc_svc_handle* handle,
                                unsigned short spb_length, const ISC_SCHAR* spb) override;
  ISC_STATUS isc_service_detach(ISC_STATUS* status_vector, isc_svc_handle* handle) override;
  ISC_STATUS isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* handle,
                               isc_resv_handle* recv_handle, unsigned short request_length,
                               const ISC_SCHAR* request) override;
  ISC_STATUS isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* handle,
                               isc_resv_handle* recv_handle, unsigned short send_length,
                               const ISC_SCHAR* send_items, unsigned short request_length,
                               const ISC_SCHAR* request_items, unsigned short buffer_length,
                               ISC_SCHAR* buffer) override;
  // Little-endian, the last byte signed, as the real library decodes.
  ISC_LONG isc_vax_integer(const ISC_SCHAR* buffer, short length) override;

  // What reached the library.
  int attach_calls = 0;
  int start_calls = 0;
  int query_calls = 0;
  std::string service;
  std::string spb;
  std::string start_request;

  // The answers of the coming queries; once they run out, every query gets the end of the
  // output (the request item, length 0, isc_info_end).
  std::deque<std::string> answers;
};
