#include "tests/support/service_double.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/tool_output.h"

namespace {

void WriteSuccessStatus(ISC_STATUS* status) {
  status[0] = isc_arg_gds;
  status[1] = 0;
  status[2] = isc_arg_end;
}

std::string HexOf(std::string_view bytes) { return Hex(std::string(bytes)); }

}  // namespace

void ServiceDouble::AddLine(std::string text) {
  answers_.push_back({Answer::Line, std::move(text), {}});
}

void ServiceDouble::AddResponse(std::string bytes) {
  answers_.push_back({Answer::Response, std::move(bytes), {}});
}

void ServiceDouble::AddQueryFailure(ServiceOutcome failure) {
  answers_.push_back({Answer::Failure, "", std::move(failure)});
}

void ServiceDouble::AddPause(int milliseconds) {
  answers_.push_back({Answer::Pause, "", {}, milliseconds});
}

void ServiceDouble::Reset() {
  attach_outcomes.clear();
  detach_outcomes.clear();
  start_outcomes.clear();
  answers_.clear();
  attached_ = 0;
}

ISC_STATUS ServiceDouble::Attach(ISC_STATUS* status, std::string_view service,
                                 isc_svc_handle* handle, std::string_view spb) {
  Record({"isc_service_attach",
          {{"service", HexOf(service)}, {"spb", HexOf(spb)}, {"handle", std::to_string(*handle)}}});
  // Like the real library: the handle must come in empty.
  if (*handle != 0) return FailBadHandle(status);
  if (!attach_outcomes.empty()) {
    const ServiceOutcome outcome = std::move(attach_outcomes.front());
    attach_outcomes.pop_front();
    if (outcome.failed) return Fail(status, outcome);
  }
  *handle = attached_ = ++last_handle_;
  WriteSuccessStatus(status);
  return 0;
}

ISC_STATUS ServiceDouble::Detach(ISC_STATUS* status, isc_svc_handle* handle) {
  Record({"isc_service_detach", {{"handle", std::to_string(*handle)}}});
  if (const ISC_STATUS failed = Check(status, *handle, detach_outcomes)) return failed;
  *handle = attached_ = 0;
  WriteSuccessStatus(status);
  return 0;
}

ISC_STATUS ServiceDouble::Start(ISC_STATUS* status, isc_svc_handle* handle,
                                std::string_view request) {
  Record({"isc_service_start", {{"handle", std::to_string(*handle)}, {"request", HexOf(request)}}});
  if (const ISC_STATUS failed = Check(status, *handle, start_outcomes)) return failed;
  WriteSuccessStatus(status);
  return 0;
}

ISC_STATUS ServiceDouble::Query(ISC_STATUS* status, isc_svc_handle* handle,
                                std::string_view send_items, std::string_view request_items,
                                unsigned short buffer_length, ISC_SCHAR* buffer) {
  Record({"isc_service_query",
          {{"handle", std::to_string(*handle)},
           {"send", HexOf(send_items)},
           {"request", HexOf(request_items)},
           {"buffer_length", std::to_string(buffer_length)}}});
  std::deque<ServiceOutcome> no_outcomes;
  if (const ISC_STATUS failed = Check(status, *handle, no_outcomes)) return failed;
  const unsigned char item = request_items.empty() ? static_cast<unsigned char>(isc_info_end)
                                                   : static_cast<unsigned char>(request_items[0]);
  ISC_STATUS result = 0;
  const std::string answer = NextAnswer(item, status, &result);
  if (result != 0) return result;
  std::memcpy(buffer, answer.data(), std::min<size_t>(answer.size(), buffer_length));
  WriteSuccessStatus(status);
  return 0;
}

ISC_LONG ServiceDouble::SqlCode(const ISC_STATUS* status) {
  if (status[0] != isc_arg_gds || status[1] == 0) return 0;
  for (int i = 2; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end; i += 2)
    if (status[i] == isc_arg_number) return static_cast<ISC_LONG>(status[i + 1]);
  return -999;
}

ISC_LONG ServiceDouble::Interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  const ISC_STATUS* p = *position;
  while (p[0] == isc_arg_gds || p[0] == isc_arg_number) p += 2;
  if (p[0] != isc_arg_interpreted) return 0;
  const char* text = reinterpret_cast<const char*>(p[1]);
  std::strcpy(buffer, text);
  *position = const_cast<ISC_STATUS*>(p + 2);
  return std::max<ISC_LONG>(1, static_cast<ISC_LONG>(std::strlen(text)));
}

ISC_LONG ServiceDouble::VaxInteger(const ISC_SCHAR* bytes, short length) {
  if (!bytes || length < 1 || length > 4) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  ISC_ULONG value = 0;
  for (short i = 0; i < length - 1; ++i) value |= ISC_ULONG(p[i]) << (8 * i);
  value += ISC_ULONG(ISC_LONG(static_cast<signed char>(p[length - 1]))) << (8 * (length - 1));
  return static_cast<ISC_LONG>(value);
}

void ServiceDouble::Record(const ServiceCallRecord&) {}

ISC_STATUS ServiceDouble::Fail(ISC_STATUS* status, const ServiceOutcome& failure) {
  // The gds code, the SQL code as a number argument, then one interpreted text per message,
  // as many as fit before the end marker.
  int i = 0;
  status[i++] = isc_arg_gds;
  status[i++] = failure.error_code;
  status[i++] = isc_arg_number;
  status[i++] = failure.sql_code;
  for (size_t m = 0; m < failure.messages.size() && i + 2 < ISC_STATUS_LENGTH; ++m) {
    texts_.push_back(failure.messages[m]);
    status[i++] = isc_arg_interpreted;
    status[i++] = reinterpret_cast<ISC_STATUS>(texts_.back().c_str());
  }
  status[i] = isc_arg_end;
  return failure.error_code > 0 ? failure.error_code : 1;
}

ISC_STATUS ServiceDouble::FailBadHandle(ISC_STATUS* status) {
  return Fail(status, {-904, kBadServiceHandleCode, {"invalid service handle"}});
}

ISC_STATUS ServiceDouble::Check(ISC_STATUS* status, isc_svc_handle handle,
                                std::deque<ServiceOutcome>& outcomes) {
  if (handle == 0 || handle != attached_) return FailBadHandle(status);
  if (outcomes.empty()) return 0;
  const ServiceOutcome outcome = std::move(outcomes.front());
  outcomes.pop_front();
  return outcome.failed ? Fail(status, outcome) : 0;
}

bool ServiceDouble::HasLine() const {
  return std::any_of(answers_.begin(), answers_.end(),
                     [](const Answer& answer) { return answer.kind == Answer::Line; });
}

std::string ServiceDouble::NextAnswer(unsigned char item, ISC_STATUS* status, ISC_STATUS* result) {
  while (!answers_.empty() && answers_.front().kind == Answer::Pause) {
    std::this_thread::sleep_for(std::chrono::milliseconds(answers_.front().pause_ms));
    answers_.pop_front();
  }
  if (!answers_.empty() && answers_.front().kind != Answer::Line) {
    const Answer answer = std::move(answers_.front());
    answers_.pop_front();
    if (answer.kind == Answer::Failure) *result = Fail(status, answer.failure);
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

ISC_STATUS ServiceDouble::Succeed(ISC_STATUS* status) {
  WriteSuccessStatus(status);
  return 0;
}
