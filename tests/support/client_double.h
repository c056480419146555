// What both halves of the client library's test doubles share (service_double.h for the service
// manager, database_double.h for a database attachment): how a call ends, how it is recorded,
// and status vectors filled and read as the real library does. The in-process fake
// (fake_client_library.h) and the loadable stand-in (tests/standin) are both made of these
// halves; tests/standin/README.md describes the behaviour from the outside.
#pragma once

#include <ibase.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

// How one call ends: success (the default), or a failure with the SQL code, the error code and
// the texts that isc_interprete gives, as many as fit the status vector.
struct CallOutcome {
  CallOutcome() = default;
  CallOutcome(ISC_STATUS sql_code, ISC_STATUS error_code, std::vector<std::string> messages)
      : failed(true), sql_code(sql_code), error_code(error_code), messages(std::move(messages)) {}

  bool failed = false;
  ISC_STATUS sql_code = 0;
  ISC_STATUS error_code = 0;
  std::vector<std::string> messages;
};

// One call as it reached a double: the entry point's name and its arguments in the order the
// stand-in logs them, byte strings in lower-case hex, numbers in decimal.
struct CallRecord {
  const char* name;
  std::vector<std::pair<std::string, std::string>> arguments;
};

// The common ground of the two halves; a double made of both has it once (virtual base). Not
// thread-safe: the stand-in serialises the calls itself.
class ClientDouble {
 public:
  virtual ~ClientDouble() = default;

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
  // call's result.
  static ISC_STATUS Succeed(ISC_STATUS* status);
  ISC_STATUS Fail(ISC_STATUS* status, const CallOutcome& failure);
  // Takes the next outcome of a queue: a failure fills the vector and gives the call's result;
  // 0 (success, or an empty queue) means the call goes on.
  ISC_STATUS TakeOutcome(ISC_STATUS* status, std::deque<CallOutcome>& outcomes);

  // Each call as it arrives; does nothing unless a double keeps or logs them.
  virtual void Record(const CallRecord& call);

 private:
  // The texts that failed vectors point at, kept while the double lives.
  std::deque<std::string> texts_;
};
