#include "tests/support/fake_client_library.h"

#include <algorithm>
#include <cstring>

#include "tests/support/failure_status.h"
#include "tests/support/tool_output.h"

namespace {

// The bytes as the stand-in logs them.
std::string Hex(const void* bytes, size_t length) {
  return ::Hex(std::string(static_cast<const char*>(bytes), length));
}

}  // namespace

ISC_STATUS FakeClientLibrary::isc_service_attach(ISC_STATUS* status_vector,
                                                 unsigned short service_length,
                                                 const ISC_SCHAR* service_name,
                                                 isc_svc_handle* handle, unsigned short spb_length,
                                                 const ISC_SCHAR* spb_bytes) {
  ++attach_calls;
  calls.push_back({"isc_service_attach",
                   {{"service", Hex(service_name, service_length)},
                    {"spb", Hex(spb_bytes, spb_length)},
                    {"handle", std::to_string(*handle)}}});
  service.assign(service_name, service_length);
  spb.assign(spb_bytes, spb_length);
  // Like the real library: the handle must come in empty.
  if (*handle != 0)
    return Fail(status_vector, {-904, kBadServiceHandleCode, {"invalid service handle"}});
  if (!attach_failures.empty()) {
    const FakeFailure failure = attach_failures.front();
    attach_failures.pop_front();
    return Fail(status_vector, failure);
  }
  *handle = attached_ = ++last_handle_;
  WriteSuccessStatus(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_service_detach(ISC_STATUS* status_vector,
                                                 isc_svc_handle* handle) {
  calls.push_back({"isc_service_detach", {{"handle", std::to_string(*handle)}}});
  if (const ISC_STATUS failed = Check(status_vector, *handle, detach_failures)) return failed;
  *handle = attached_ = 0;
  WriteSuccessStatus(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* handle,
                                                isc_resv_handle*, unsigned short request_length,
                                                const ISC_SCHAR* request) {
  ++start_calls;
  calls.push_back(
      {"isc_service_start",
       {{"handle", std::to_string(*handle)}, {"request", Hex(request, request_length)}}});
  start_request.assign(request, request_length);
  if (const ISC_STATUS failed = Check(status_vector, *handle, start_failures)) return failed;
  WriteSuccessStatus(status_vector);
  return 0;
}

ISC_STATUS FakeClientLibrary::isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* handle,
                                                isc_resv_handle*, unsigned short send_length,
                                                const ISC_SCHAR* send_items,
                                                unsigned short request_length,
                                                const ISC_SCHAR* request_items,
                                                unsigned short buffer_length, ISC_SCHAR* buffer) {
  ++query_calls;
  calls.push_back({"isc_service_query",
                   {{"handle", std::to_string(*handle)},
                    {"send", Hex(send_items, send_length)},
                    {"request", Hex(request_items, request_length)},
                    {"buffer_length", std::to_string(buffer_length)}}});
  std::deque<FakeFailure> no_failures;
  if (const ISC_STATUS failed = Check(status_vector, *handle, no_failures)) return failed;
  const unsigned char item =
      request_length > 0 ? static_cast<unsigned char>(request_items[0]) : isc_info_end;
  ISC_STATUS result = 0;
  const std::string answer = NextAnswer(item, status_vector, &result);
  if (result != 0) return result;
  // Bytes past the answer stay as the caller left them.
  std::memcpy(buffer, answer.data(), std::min<size_t>(answer.size(), buffer_length));
  WriteSuccessStatus(status_vector);
  return 0;
}

ISC_LONG FakeClientLibrary::isc_sqlcode(const ISC_STATUS* status_vector) {
  if (status_vector[0] != isc_arg_gds || status_vector[1] == 0) return 0;
  for (int i = 2; i + 1 < ISC_STATUS_LENGTH && status_vector[i] != isc_arg_end; i += 2)
    if (status_vector[i] == isc_arg_number) return static_cast<ISC_LONG>(status_vector[i + 1]);
  return -999;
}

ISC_LONG FakeClientLibrary::isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  const ISC_STATUS* p = *position;
  while (p[0] == isc_arg_gds || p[0] == isc_arg_number) p += 2;
  if (p[0] != isc_arg_interpreted) return 0;
  const char* text = reinterpret_cast<const char*>(p[1]);
  std::strcpy(buffer, text);
  *position = const_cast<ISC_STATUS*>(p + 2);
  return std::max<ISC_LONG>(1, static_cast<ISC_LONG>(std::strlen(text)));
}

ISC_LONG FakeClientLibrary::isc_vax_integer(const ISC_SCHAR* buffer, short length) {
  if (length < 1 || length > 4) return 0;
  ISC_LONG value = static_cast<signed char>(buffer[length - 1]);
  for (int i = length - 2; i >= 0; --i) value = value * 256 + static_cast<unsigned char>(buffer[i]);
  return value;
}

void FakeClientLibrary::AddLine(std::string text) {
  answers_.push_back({Answer::Line, std::move(text), {}});
}

void FakeClientLibrary::AddResponse(std::string bytes) {
  answers_.push_back({Answer::Response, std::move(bytes), {}});
}

void FakeClientLibrary::AddQueryFailure(FakeFailure failure) {
  answers_.push_back({Answer::Failure, "", std::move(failure)});
}

void FakeClientLibrary::Reset() {
  answers_.clear();
  attach_failures.clear();
  detach_failures.clear();
  start_failures.clear();
  calls.clear();
  attached_ = 0;
  info_values.clear();
  results.clear();
  attach_database_failures.clear();
  info_failures.clear();
  fetch_failures.clear();
  commit_failures.clear();
  statements.clear();
  database_ = 0;
}

ISC_STATUS FakeClientLibrary::Fail(ISC_STATUS* status_vector, const FakeFailure& failure) {
  return WriteFailureStatus(status_vector, failure.sql_code, failure.error_code, failure.messages,
                            texts_);
}

ISC_STATUS FakeClientLibrary::Check(ISC_STATUS* status_vector, isc_svc_handle handle,
                                    std::deque<FakeFailure>& failures) {
  if (handle == 0 || handle != attached_)
    return Fail(status_vector, {-904, kBadServiceHandleCode, {"invalid service handle"}});
  if (failures.empty()) return 0;
  const FakeFailure failure = failures.front();
  failures.pop_front();
  return Fail(status_vector, failure);
}

bool FakeClientLibrary::HasLine() const {
  return std::any_of(answers_.begin(), answers_.end(),
                     [](const Answer& answer) { return answer.kind == Answer::Line; });
}

std::string FakeClientLibrary::NextAnswer(unsigned char item, ISC_STATUS* status_vector,
                                          ISC_STATUS* result) {
  if (!answers_.empty() && answers_.front().kind != Answer::Line) {
    const Answer answer = answers_.front();
    answers_.pop_front();
    if (answer.kind == Answer::Failure) *result = Fail(status_vector, answer.failure);
    return answer.bytes;
  }
  if (item == isc_info_svc_line || item == isc_info_svc_to_eof) {
    std::string text;  // no line left: the empty line that ends the report
    if (!answers_.empty()) {
      text = std::move(answers_.front().bytes);
      answers_.pop_front();
    }
    std::string bytes{static_cast<char>(item), static_cast<char>(text.size() & 0xFF),
                      static_cast<char>((text.size() >> 8) & 0xFF)};
    return bytes + text + static_cast<char>(isc_info_end);
  }
  if (item == isc_info_svc_running)
    return {static_cast<char>(isc_info_svc_running), HasLine() ? char{1} : char{0}, 0, 0, 0};
  return std::string(1, static_cast<char>(isc_info_end));
}
