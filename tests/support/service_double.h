// What the test doubles of the client library answer, written once: the in-process fake
// (fake_client_library.h) and the loadable stand-in (tests/standin) both hand their service
// calls and status-vector look-ups to a ServiceDouble. tests/standin/README.md describes the
// behaviour from the outside.
#pragma once

#include <ibase.h>

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// isc_bad_svc_handle, which a double reports for a service handle it did not hand out.
inline constexpr ISC_STATUS kBadServiceHandleCode = 335544559;

// How one call ends: success (the default), or a failure with the SQL code, the error code and
// the texts that isc_interprete gives, as many as fit the status vector.
struct ServiceOutcome {
  ServiceOutcome() = default;
  ServiceOutcome(ISC_STATUS sql_code, ISC_STATUS error_code, std::vector<std::string> messages)
      : failed(true), sql_code(sql_code), error_code(error_code), messages(std::move(messages)) {}

  bool failed = false;
  ISC_STATUS sql_code = 0;
  ISC_STATUS error_code = 0;
  std::vector<std::string> messages;
};

// One service call as it reached the double: the entry point's name and its arguments in the
// order the stand-in logs them, byte strings in lower-case hex, numbers in decimal.
struct ServiceCallRecord {
  const char* name;
  std::vector<std::pair<std::string, std::string>> arguments;
};

// The service manager as both doubles play it. isc_service_attach needs an empty handle and
// gives 1, 2, 3, ...; the other calls need the current one, else they fail with
// kBadServiceHandleCode. Not thread-safe: the stand-in serialises the calls itself.
class ServiceDouble {
 public:
  virtual ~ServiceDouble() = default;

  // The coming outcomes of each kind of call, used in order; once a kind has none left, its
  // calls succeed.
  std::deque<ServiceOutcome> attach_outcomes;
  std::deque<ServiceOutcome> detach_outcomes;
  std::deque<ServiceOutcome> start_outcomes;

  // The coming query answers, one queue consumed in order: a pause at its head waits and is
  // passed; a response or failure there answers the next query whatever it asks; otherwise a
  // line query takes the next line (the empty line that ends the report once none is left),
  // and a running query answers whether a line is left.
  void AddLine(std::string text);
  void AddResponse(std::string bytes);
  void AddQueryFailure(ServiceOutcome failure);
  void AddPause(int milliseconds);

  // Forgets the outcomes, the answers and the attachment; handle numbers go on, and the texts
  // that earlier status vectors point at stay readable.
  void Reset();

  // The four service calls, each recorded before it is answered. An answer longer than the
  // caller's buffer is cut off at the buffer's end; bytes past the answer stay as they were.
  ISC_STATUS Attach(ISC_STATUS* status, std::string_view service, isc_svc_handle* handle,
                    std::string_view spb);
  ISC_STATUS Detach(ISC_STATUS* status, isc_svc_handle* handle);
  ISC_STATUS Start(ISC_STATUS* status, isc_svc_handle* handle, std::string_view request);
  ISC_STATUS Query(ISC_STATUS* status, isc_svc_handle* handle, std::string_view send_items,
                   std::string_view request_items, unsigned short buffer_length, ISC_SCHAR* buffer);

  // The first number argument of a failed vector (0 without error, -999 without a number).
  static ISC_LONG SqlCode(const ISC_STATUS* status);
  // Copies the next interpreted text and moves the position past it; returns its length (at
  // least 1), or 0 when none is left.
  static ISC_LONG Interprete(ISC_SCHAR* buffer, ISC_STATUS** position);
  // Little-endian, the last byte signed, as the real library decodes; 0 for lengths outside
  // 1..4.
  static ISC_LONG VaxInteger(const ISC_SCHAR* bytes, short length);

 protected:
  // Fills the vector as the real library does, for success or for a failure, and gives the
  // call's result; for doubles that answer more calls than the service ones.
  static ISC_STATUS Succeed(ISC_STATUS* status);
  ISC_STATUS Fail(ISC_STATUS* status, const ServiceOutcome& failure);

  // Each service call as it arrives; does nothing unless a double keeps or logs them.
  virtual void Record(const ServiceCallRecord& call);

 private:
  struct Answer {
    enum Kind { Line, Response, Failure, Pause } kind;
    std::string bytes;  // the line's text or the raw response
    ServiceOutcome failure;
    int pause_ms = 0;
  };

  ISC_STATUS FailBadHandle(ISC_STATUS* status);
  // A handle that is not the current one, or a failure the outcomes give, fills the vector
  // and gives the call's result; 0 means the call goes on.
  ISC_STATUS Check(ISC_STATUS* status, isc_svc_handle handle, std::deque<ServiceOutcome>& outcomes);
  bool HasLine() const;
  std::string NextAnswer(unsigned char item, ISC_STATUS* status, ISC_STATUS* result);

  std::deque<Answer> answers_;
  // The texts that failed vectors point at, kept while the double lives.
  std::deque<std::string> texts_;
  isc_svc_handle attached_ = 0;
  isc_svc_handle last_handle_ = 0;
};
