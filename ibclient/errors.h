// How the database layer reports failures: the EIBError exception family and the routine that
// raises a misuse the layer detects itself. A failed client-library call is raised from the
// status vector (ibclient/status_vector.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/exceptions.h"
#include "base/text.h"

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class EIBError : public EDatabaseError {
 public:
  EIBError(int32_t sql_code, std::u16string message);
  EIBError(int32_t sql_code, int32_t ib_error_code, std::u16string message);

  int32_t SQLCode() const { return FSQLCode; }
  int32_t IBErrorCode() const { return FIBErrorCode; }

 private:
  int32_t FSQLCode;
  int32_t FIBErrorCode;
};

// A failed client-library call: the client library's own text.
class EIBInterBaseError : public EIBError {
 public:
  using EIBError::EIBError;
};

// A failed client-library call whose SQL code is -551 (no permission).
class EIBInterBaseRoleError : public EIBError {
 public:
  using EIBError::EIBError;
};

// A misuse or an unacceptable answer that the layer detected itself, or a version stub.
class EIBClientError : public EIBError {
 public:
  using EIBError::EIBError;
};

// The client library could not be loaded: SQLCode LibraryMissing with the table's fixed text,
// and for the operator the file name handed to the loader and the loader's own reason.
class EIBClientLibraryMissing : public EIBClientError {
 public:
  EIBClientLibraryMissing(std::u16string message, std::string library, std::u16string reason);
  const std::string& Library() const { return library_; }
  const std::u16string& LoaderReason() const { return reason_; }

 private:
  std::string library_;
  std::u16string reason_;
};

// Query-plan retrieval; nothing in this program raises it.
class EIBPlanError : public EIBError {
 public:
  using EIBError::EIBError;
};

// The rows of the client error table that this program raises; the value is the SQLCode.
enum class ClientErrorCode : int32_t {
  LibraryMissing = 1,            // "InterBase library gds32.dll not found in the path. ..."
  NeedsVersion6 = 3,             // "%s is an InterBase 6 function. ..."
  LoginCancelled = 10,           // "Operation cancelled at user's request"
  SharedResourceFailure = 58,    // "Cannot create shared resource. (Windows error %d)"
  SpbConstantNotSupported = 88,  // "SPB Constant Not supported"
  SpbConstantUnknown = 89,       // "SPB Constant Unknown"
  ServiceNotAttached = 90,       // "Cannot perform operation -- service is not attached"
  ServiceAttached = 91,          // "Cannot perform operation -- service is attached"
  ServerNameMissing = 92,        // "Server Name Missing"
  QueryParamsInvalid = 93,       // "Query Parameters missing or incorrect"
  StartParamsInvalid = 94,       // "start Parameters missing or incorrect"
  UnexpectedOutputValue = 95,    // "Unexpected Output buffer value"
};

// The table text of a code, placeholders (%s, %d) unfilled.
std::u16string_view ClientErrorText(ClientErrorCode code);

// Raises EIBClientError with SQLCode = code and the table text, placeholders filled in order
// from the arguments (texts or integers; extra arguments are ignored). The text is traced
// first, except for SharedResourceFailure.
[[noreturn]] void RaiseClientErrorText(ClientErrorCode code,
                                       std::initializer_list<std::u16string_view> arguments);

// Raises EIBClientLibraryMissing, the text traced first as every client error's is.
[[noreturn]] void RaiseClientLibraryMissing(const std::string& library,
                                            const std::u16string& reason);

namespace ibclient_detail {
inline std::u16string ClientErrorArgument(std::u16string_view text) { return std::u16string(text); }
template <class T>
requires std::is_integral_v<T> std::u16string ClientErrorArgument(T number) {
  return DecimalText(static_cast<long long>(number));
}
}  // namespace ibclient_detail

template <class... Arguments>
[[noreturn]] void RaiseClientError(ClientErrorCode code, const Arguments&... arguments) {
  // The argument texts live until the end of this full expression, past the raise.
  RaiseClientErrorText(code,
                       {std::u16string_view(ibclient_detail::ClientErrorArgument(arguments))...});
}
