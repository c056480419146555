// The service-manager half of the client library's test doubles (client_double.h): attach,
// start, query and detach, with a scripted report.
#pragma once

#include <ibase.h>

#include <deque>
#include <string>
#include <string_view>

#include "tests/support/client_double.h"

// isc_bad_svc_handle, which a double reports for a service handle it did not hand out.
inline constexpr ISC_STATUS kBadServiceHandleCode = 335544559;

// The service manager as both doubles play it. isc_service_attach needs an empty handle and
// gives 1, 2, 3, ...; the other calls need the current one, else they fail with
// kBadServiceHandleCode.
class ServiceDouble : public virtual ClientDouble {
 public:
  // The coming outcomes of each kind of call, used in order; once a kind has none left, its
  // calls succeed.
  std::deque<CallOutcome> attach_outcomes;
  std::deque<CallOutcome> detach_outcomes;
  std::deque<CallOutcome> start_outcomes;

  // The coming query answers, one queue consumed in order: a pause at its head waits and is
  // passed; a response or failure there answers the next query whatever it asks; otherwise a
  // line query takes the next line (the empty line that ends the report once none is left),
  // and a running query answers whether a line is left.
  void AddLine(std::string text);
  void AddResponse(std::string bytes);
  void AddQueryFailure(CallOutcome failure);
  void AddPause(int milliseconds);

  // Forgets the outcomes, the answers and the attachment; handle numbers go on, and the texts
  // that earlier status vectors point at stay readable.
  void ResetService();

  // The four service calls, each recorded before it is answered. An answer longer than the
  // caller's buffer is cut off at the buffer's end; bytes past the answer stay as they were.
  ISC_STATUS Attach(ISC_STATUS* status, std::string_view service, isc_svc_handle* handle,
                    std::string_view spb);
  ISC_STATUS Detach(ISC_STATUS* status, isc_svc_handle* handle);
  ISC_STATUS Start(ISC_STATUS* status, isc_svc_handle* handle, std::string_view request);
  ISC_STATUS Query(ISC_STATUS* status, isc_svc_handle* handle, std::string_view send_items,
                   std::string_view request_items, unsigned short buffer_length, ISC_SCHAR* buffer);

 private:
  struct Answer {
    enum Kind { Line, Response, Failure, Pause } kind;
    std::string bytes;  // the line's text or the raw response
    CallOutcome failure;
    int pause_ms = 0;
  };

  ISC_STATUS FailBadHandle(ISC_STATUS* status);
  // A handle that is not the current one, or a failure the outcomes give, fills the vector
  // and gives the call's result; 0 means the call goes on.
  ISC_STATUS Check(ISC_STATUS* status, isc_svc_handle handle, std::deque<CallOutcome>& outcomes);
  bool HasLine() const;
  std::string NextAnswer(unsigned char item, ISC_STATUS* status, ISC_STATUS* result);

  std::deque<Answer> answers_;
  isc_svc_handle attached_ = 0;
  isc_svc_handle last_handle_ = 0;
};
