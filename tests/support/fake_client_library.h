// The in-process client library for unit tests (the services tests and the service fuzz
// targets): it records every service call with its bytes, fails the calls it is told to, and
// answers each query from a queue, cut at the caller's buffer as the real library cuts them.
// Every other entry point does nothing.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

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

// A failure the fake gives instead of doing a call: the status vector holds the error code, the
// SQL code as a number argument and one interpreted text per message, as the stand-in fills it.
struct FakeFailure {
  ISC_STATUS sql_code = 0;
  ISC_STATUS error_code = 0;
  std::vector<std::string> messages;
};

// One isc_service_* call as it reached the fake: the entry point's name and its arguments by
// name (bytes in lower-case hex, numbers in decimal), as the stand-in logs them.
struct FakeCall {
  std::string name;
  std::map<std::string, std::string> arguments;
};

// Handles and answers follow the stand-in (tests/standin/README.md): attach needs an empty
// handle and gives 1, 2, 3, ...; the other calls need the current one, else they fail with
// isc_bad_svc_handle.
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
  // The first number argument of a failed vector (0 without error, -999 without a number).
  ISC_LONG isc_sqlcode(const ISC_STATUS* status_vector) override;
  // Copies the next interpreted text and moves past it; 0 when none is left.
  ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) override;
  // Little-endian, the last byte signed, as the real library decodes.
  ISC_LONG isc_vax_integer(const ISC_SCHAR* buffer, short length) override;

  // The coming query answers, one queue consumed in order: a response or failure at its head
  // answers the next query whatever it asks; otherwise a line query takes the next line (the
  // empty line that ends the report once none is left), and a running query answers whether
  // a line is left.
  void AddLine(std::string text);
  void AddResponse(std::string bytes);
  void AddQueryFailure(FakeFailure failure);

  // Forgets the answers, failures, recorded calls and the attachment; handle numbers go on.
  void Reset();

  // The next calls of each kind fail with these, in order.
  std::deque<FakeFailure> attach_failures;
  std::deque<FakeFailure> detach_failures;
  std::deque<FakeFailure> start_failures;

  // What reached the library.
  std::vector<FakeCall> calls;
  int attach_calls = 0;
  int start_calls = 0;
  int query_calls = 0;
  std::string service;
  std::string spb;
  std::string start_request;

 private:
  struct Answer {
    enum Kind { Line, Response, Failure } kind;
    std::string bytes;  // the line's text or the raw response
    FakeFailure failure;
  };

  ISC_STATUS Fail(ISC_STATUS* status_vector, const FakeFailure& failure);
  // A handle that is not the current one, or a failure queued for the call, fills the vector
  // and gives the call's result; 0 means the call goes on.
  ISC_STATUS Check(ISC_STATUS* status_vector, isc_svc_handle handle,
                   std::deque<FakeFailure>& failures);
  bool HasLine() const;
  std::string NextAnswer(unsigned char item, ISC_STATUS* status_vector, ISC_STATUS* result);

  std::deque<Answer> answers_;
  // The texts that failed vectors point at, kept while the fake lives.
  std::deque<std::string> texts_;
  isc_svc_handle attached_ = 0;
  isc_svc_handle last_handle_ = 0;
};
