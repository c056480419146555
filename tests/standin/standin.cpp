// The stand-in client library: the entry points on the tool's road, with behaviour scripted by
// the file that FBWARM_STANDIN_SCRIPT names and every call recorded in the file that
// FBWARM_STANDIN_LOG names. README.md describes both formats.
#include "tests/standin/standin.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ibclient/gds_entry_points.h"
#include "tests/support/failure_status.h"

#ifndef STANDIN_MAJOR
#define STANDIN_MAJOR 6
#endif
#ifndef STANDIN_MINOR
#define STANDIN_MINOR 3
#endif

namespace {

constexpr size_t kMaxMessages = 7;                // what fits the 20 values with the codes

struct Outcome {
  bool ok = true;
  ISC_STATUS sql_code = 0;
  ISC_STATUS error_code = 0;
  std::vector<std::string> messages;
};

struct QueryAnswer {
  enum Kind { Line, Response, Failure, Pause } kind = Line;
  std::string bytes;  // the line's text or the raw response
  int pause_ms = 0;
  Outcome failure;
};

struct Script {
  std::deque<Outcome> attach, detach, start;
  std::deque<QueryAnswer> queries;
};

std::mutex g_lock;
bool g_loaded = false;
std::string g_script_path;
Script g_script;
isc_svc_handle g_attached = 0;
isc_svc_handle g_last_handle = 0;
// Texts that status vectors point at; kept for the process's life so that a vector stays
// readable after a reset.
std::deque<std::string> g_texts;

[[noreturn]] void BadScript(const std::string& path, int line, const std::string& why) {
  fprintf(stderr, "fbwarm stand-in: %s:%d: %s\n", path.c_str(), line, why.c_str());
  abort();
}

std::string Unescape(const std::string& text, const std::string& path, int line) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) BadScript(path, line, "escape at the end of the line");
    switch (text[i]) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x':
        if (i + 2 >= text.size() ||
            text.substr(i + 1, 2).find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
          BadScript(path, line, "\\x needs two hex digits");
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
        break;
      default:
        BadScript(path, line, std::string("unknown escape \\") + text[i]);
    }
  }
  return out;
}

std::string ParseHex(const std::string& text, const std::string& path, int line) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\t') digits += c;
  if (digits.size() % 2 != 0) BadScript(path, line, "odd number of hex digits");
  std::string out;
  for (size_t i = 0; i < digits.size(); i += 2) {
    const std::string pair = digits.substr(i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      BadScript(path, line, "not a hex byte: " + pair);
    out += static_cast<char>(std::stoi(pair, nullptr, 16));
  }
  return out;
}

Outcome ParseOutcome(const std::string& rest, const std::string& path, int line) {
  Outcome outcome;
  if (rest == "ok") return outcome;
  long long sql_code = 0, error_code = 0;
  char extra = 0;
  if (sscanf(rest.c_str(), "fail %lld %lld %c", &sql_code, &error_code, &extra) != 2)
    BadScript(path, line, "expected 'ok' or 'fail <sqlcode> <error code>'");
  outcome.ok = false;
  outcome.sql_code = static_cast<ISC_STATUS>(sql_code);
  outcome.error_code = static_cast<ISC_STATUS>(error_code);
  return outcome;
}

Script ReadScript(const std::string& path) {
  Script script;
  if (path.empty()) return script;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) BadScript(path, 0, "cannot open the script");
  std::string content;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
  fclose(file);

  Outcome* last_failure = nullptr;
  int number = 0;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    const std::string text = content.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (text.empty() || text[0] == '#') continue;
    const size_t blank = text.find(' ');
    const std::string word = text.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : text.substr(blank + 1);

    if (word == "attach" || word == "detach" || word == "start") {
      std::deque<Outcome>& queue = word == "attach"   ? script.attach
                                   : word == "detach" ? script.detach
                                                      : script.start;
      queue.push_back(ParseOutcome(rest, path, number));
      last_failure = queue.back().ok ? nullptr : &queue.back();
    } else if (word == "query") {
      QueryAnswer answer;
      answer.kind = QueryAnswer::Failure;
      answer.failure = ParseOutcome(rest, path, number);
      if (answer.failure.ok) BadScript(path, number, "a query answer is 'line' or 'response'");
      script.queries.push_back(answer);
      last_failure = &script.queries.back().failure;
    } else if (word == "message") {
      if (!last_failure) BadScript(path, number, "'message' must follow a 'fail' line");
      if (last_failure->messages.size() == kMaxMessages)
        BadScript(path, number, "at most 7 messages fit a status vector");
      last_failure->messages.push_back(Unescape(rest, path, number));
    } else if (word == "line") {
      QueryAnswer answer;
      answer.bytes = Unescape(rest, path, number);
      script.queries.push_back(answer);
      last_failure = nullptr;
    } else if (word == "pause") {
      QueryAnswer answer;
      answer.kind = QueryAnswer::Pause;
      char extra = 0;
      if (sscanf(rest.c_str(), "%d %c", &answer.pause_ms, &extra) != 1 || answer.pause_ms < 0)
        BadScript(path, number, "expected 'pause <milliseconds>'");
      script.queries.push_back(answer);
      last_failure = nullptr;
    } else if (word == "response") {
      QueryAnswer answer;
      answer.kind = QueryAnswer::Response;
      answer.bytes = ParseHex(rest, path, number);
      script.queries.push_back(answer);
      last_failure = nullptr;
    } else {
      BadScript(path, number, "unknown directive '" + word + "'");
    }
  }
  return script;
}

void Reset(const std::string& path) {
  g_script = ReadScript(path);
  g_script_path = path;
  g_loaded = true;
  g_attached = 0;
}

// Reads the script at the first call, and again whenever the variable names another file.
void Refresh() {
  const char* variable = getenv("FBWARM_STANDIN_SCRIPT");
  const std::string path = variable ? variable : "";
  if (!g_loaded || path != g_script_path) Reset(path);
}

std::string Hex(const void* bytes, size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < length; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

ISC_STATUS Fail(ISC_STATUS* status, const Outcome& outcome) {
  return WriteFailureStatus(status, outcome.sql_code, outcome.error_code, outcome.messages,
                            g_texts);
}

ISC_STATUS FailBadHandle(ISC_STATUS* status) {
  Outcome outcome{false, -904, kBadServiceHandleCode, {"invalid service handle"}};
  return Fail(status, outcome);
}

Outcome Next(std::deque<Outcome>& queue) {
  if (queue.empty()) return Outcome{};
  Outcome outcome = queue.front();
  queue.pop_front();
  return outcome;
}

bool IsCurrent(isc_svc_handle handle) { return handle != 0 && handle == g_attached; }

// The road every call on the current attachment shares: a handle that is not the current one,
// or a failure the script gives for this kind of call, fills the vector and gives the call's
// result; 0 means the call goes on.
ISC_STATUS CheckCall(ISC_STATUS* status, isc_svc_handle handle, std::deque<Outcome>& outcomes) {
  if (!IsCurrent(handle)) return FailBadHandle(status);
  const Outcome outcome = Next(outcomes);
  return outcome.ok ? 0 : Fail(status, outcome);
}

bool HasLine() {
  for (const QueryAnswer& answer : g_script.queries)
    if (answer.kind == QueryAnswer::Line) return true;
  return false;
}

// The answer bytes for one query of `item`.
std::string Answer(unsigned char item, ISC_STATUS* status, ISC_STATUS* result) {
  std::deque<QueryAnswer>& queue = g_script.queries;
  *result = 0;
  while (!queue.empty() && queue.front().kind == QueryAnswer::Pause) {
    std::this_thread::sleep_for(std::chrono::milliseconds(queue.front().pause_ms));
    queue.pop_front();
  }
  if (!queue.empty() && queue.front().kind != QueryAnswer::Line) {
    QueryAnswer answer = queue.front();
    queue.pop_front();
    if (answer.kind == QueryAnswer::Failure) {
      *result = Fail(status, answer.failure);
      return "";
    }
    return answer.bytes;
  }
  if (item == isc_info_svc_line || item == isc_info_svc_to_eof) {
    std::string text;  // no line left: the empty line that ends the report
    if (!queue.empty()) {
      text = queue.front().bytes;
      queue.pop_front();
    }
    std::string bytes(1, static_cast<char>(item));
    bytes += static_cast<char>(text.size() & 0xFF);
    bytes += static_cast<char>((text.size() >> 8) & 0xFF);
    return bytes + text + static_cast<char>(isc_info_end);
  }
  if (item == isc_info_svc_running) {
    const char running = HasLine() ? 1 : 0;
    return std::string{static_cast<char>(isc_info_svc_running), running, 0, 0, 0};
  }
  return std::string(1, static_cast<char>(isc_info_end));
}

}  // namespace

void StandinLog(const char* name, const std::string& details) {
  const char* path = getenv("FBWARM_STANDIN_LOG");
  if (!path || !*path) return;
  FILE* file = fopen(path, "ab");
  if (!file) return;
  fprintf(file, "%s%s%s\n", name, details.empty() ? "" : " ", details.c_str());
  fclose(file);
}

// Forgets the consumed answers and reads the script again, also from the same file.
extern "C" void fbwarm_standin_reset() {
  std::lock_guard<std::mutex> lock(g_lock);
  const char* variable = getenv("FBWARM_STANDIN_SCRIPT");
  Reset(variable ? variable : "");
}

extern "C" ISC_STATUS isc_service_attach(ISC_STATUS* status, unsigned short service_length,
                                         const ISC_SCHAR* service, isc_svc_handle* handle,
                                         unsigned short spb_length, const ISC_SCHAR* spb) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  StandinLog("isc_service_attach", "service=" + Hex(service, service_length) + " spb=" +
                                       Hex(spb, spb_length) + " handle=" + std::to_string(*handle));
  // Like the real library: the handle must come in empty.
  if (*handle != 0) return FailBadHandle(status);
  const Outcome outcome = Next(g_script.attach);
  if (!outcome.ok) return Fail(status, outcome);
  *handle = g_attached = ++g_last_handle;
  WriteSuccessStatus(status);
  return 0;
}

extern "C" ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  StandinLog("isc_service_detach", "handle=" + std::to_string(*handle));
  if (const ISC_STATUS failed = CheckCall(status, *handle, g_script.detach)) return failed;
  *handle = g_attached = 0;
  WriteSuccessStatus(status);
  return 0;
}

extern "C" ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle*, unsigned short request_length,
                                        const ISC_SCHAR* request) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  StandinLog("isc_service_start",
             "handle=" + std::to_string(*handle) + " request=" + Hex(request, request_length));
  if (const ISC_STATUS failed = CheckCall(status, *handle, g_script.start)) return failed;
  WriteSuccessStatus(status);
  return 0;
}

extern "C" ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle*, unsigned short send_length,
                                        const ISC_SCHAR* send_items, unsigned short request_length,
                                        const ISC_SCHAR* request_items,
                                        unsigned short buffer_length, ISC_SCHAR* buffer) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  StandinLog("isc_service_query", "handle=" + std::to_string(*handle) +
                                      " send=" + Hex(send_items, send_length) +
                                      " request=" + Hex(request_items, request_length) +
                                      " buffer_length=" + std::to_string(buffer_length));
  if (!IsCurrent(*handle)) return FailBadHandle(status);
  const unsigned char item =
      request_length > 0 ? static_cast<unsigned char>(request_items[0]) : isc_info_end;
  ISC_STATUS result = 0;
  const std::string bytes = Answer(item, status, &result);
  if (result > 0) return result;
  // An answer longer than the buffer is cut off at its end.
  memcpy(buffer, bytes.data(), bytes.size() < buffer_length ? bytes.size() : buffer_length);
  WriteSuccessStatus(status);
  return 0;
}

extern "C" ISC_LONG isc_sqlcode(const ISC_STATUS* status) {
  StandinLog("isc_sqlcode", "");
  if (status[0] != isc_arg_gds || status[1] == 0) return 0;
  for (int i = 2; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end; i += 2)
    if (status[i] == isc_arg_number) return static_cast<ISC_LONG>(status[i + 1]);
  return -999;
}

// Copies the next interpreted text and moves the position past it; 0 when none is left.
extern "C" ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  StandinLog("isc_interprete", "");
  const ISC_STATUS* p = *position;
  while (p[0] == isc_arg_gds || p[0] == isc_arg_number) p += 2;
  if (p[0] != isc_arg_interpreted) return 0;
  const char* text = reinterpret_cast<const char*>(p[1]);
  strcpy(buffer, text);
  *position = const_cast<ISC_STATUS*>(p + 2);
  const size_t length = strlen(text);
  return length > 0 ? static_cast<ISC_LONG>(length) : 1;
}

// Little-endian, the last byte signed, as the real library decodes; 0 for lengths outside 1..4.
extern "C" ISC_LONG isc_vax_integer(const ISC_SCHAR* bytes, short length) {
  const short logged = length < 0 ? 0 : length > 4 ? 4 : length;  // never read past 4 bytes
  StandinLog("isc_vax_integer",
             "bytes=" + Hex(bytes, bytes ? logged : 0) + " length=" + std::to_string(length));
  if (!bytes || length <= 0 || length > 4) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  ISC_ULONG value = 0;
  for (short i = 0; i < length - 1; ++i) value |= ISC_ULONG(p[i]) << (8 * i);
  value += ISC_ULONG(ISC_LONG(static_cast<signed char>(p[length - 1]))) << (8 * (length - 1));
  return static_cast<ISC_LONG>(value);
}

extern "C" int isc_get_client_major_version() {
  StandinLog("isc_get_client_major_version", "");
  return STANDIN_MAJOR;
}

extern "C" int isc_get_client_minor_version() {
  StandinLog("isc_get_client_minor_version", "");
  return STANDIN_MINOR;
}

extern "C" void isc_get_client_version(ISC_SCHAR* buffer) {
  StandinLog("isc_get_client_version", "");
  sprintf(buffer, "LI-V%d.%d fbwarm stand-in", STANDIN_MAJOR, STANDIN_MINOR);
}
