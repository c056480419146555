#include "tests/support/service_double.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/tool_output.h"

namespace {

std::string HexOf(std::string_view bytes) { return Hex(std::string(bytes)); }

}  // namespace

void ServiceDouble::AddLine(std::string text) {
  answers_.push_back({Answer::Line, std::move(text), {}});
}

void ServiceDouble::AddResponse(std::string bytes) {
  answers_.push_back({Answer::Response, std::move(bytes), {}});
}

void ServiceDouble::AddQueryFailure(CallOutcome failure) {
  answers_.push_back({Answer::Failure, "", std::move(failure)});
}

void ServiceDouble::AddPause(int milliseconds) {
  answers_.push_back({Answer::Pause, "", {}, milliseconds});
}

void ServiceDouble::ResetService() {
  attach_outcomes.clear();
  detach_outcomes.clear();
  start_outcomes.clear();
  answers_.clear();
  attached_ = 0;
}

ISC_STATUS ServiceDouble::Attach(ISC_STATUS* status, std::string_view service,
                                 isc_svc_handle* handle, std::string_view spb) {
  Record(CallRecord{
      "isc_service_attach",
      {{"service", HexOf(service)}, {"spb", HexOf(spb)}, {"handle", std::to_string(*handle)}}});
  // Like the real library: the handle must come in empty.
  if (*handle != 0) return FailBadHandle(status);
  if (const ISC_STATUS failed = TakeOutcome(status, attach_outcomes)) return failed;
  *handle = attached_ = ++last_handle_;
  return Succeed(status);
}

ISC_STATUS ServiceDouble::Detach(ISC_STATUS* status, isc_svc_handle* handle) {
  Record(CallRecord{"isc_service_detach", {{"handle", std::to_string(*handle)}}});
  if (const ISC_STATUS failed = Check(status, *handle, detach_outcomes)) return failed;
  *handle = attached_ = 0;
  return Succeed(status);
}

ISC_STATUS ServiceDouble::Start(ISC_STATUS* status, isc_svc_handle* handle,
                                std::string_view request) {
  Record(CallRecord{"isc_service_start",
                    {{"handle", std::to_string(*handle)}, {"request", HexOf(request)}}});
  if (const ISC_STATUS failed = Check(status, *handle, start_outcomes)) return failed;
  return Succeed(status);
}

ISC_STATUS ServiceDouble::Query(ISC_STATUS* status, isc_svc_handle* handle,
                                std::string_view send_items, std::string_view request_items,
                                unsigned short buffer_length, ISC_SCHAR* buffer) {
  Record(CallRecord{"isc_service_query",
                    {{"handle", std::to_string(*handle)},
                     {"send", HexOf(send_items)},
                     {"request", HexOf(request_items)},
                     {"buffer_length", std::to_string(buffer_length)}}});
  std::deque<CallOutcome> no_outcomes;
  if (const ISC_STATUS failed = Check(status, *handle, no_outcomes)) return failed;
  const unsigned char item = request_items.empty() ? static_cast<unsigned char>(isc_info_end)
                                                   : static_cast<unsigned char>(request_items[0]);
  ISC_STATUS result = 0;
  const std::string answer = NextAnswer(item, status, &result);
  if (result != 0) return result;
  std::memcpy(buffer, answer.data(), std::min<size_t>(answer.size(), buffer_length));
  return Succeed(status);
}

ISC_STATUS ServiceDouble::FailBadHandle(ISC_STATUS* status) {
  return Fail(status, {-904, kBadServiceHandleCode, {"invalid service handle"}});
}

ISC_STATUS ServiceDouble::Check(ISC_STATUS* status, isc_svc_handle handle,
                                std::deque<CallOutcome>& outcomes) {
  if (handle == 0 || handle != attached_) return FailBadHandle(status);
  return TakeOutcome(status, outcomes);
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
