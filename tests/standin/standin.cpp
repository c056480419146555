// The stand-in client library: the entry points on the tool's road, answering as
// tests/support/service_double.h describes, scripted by the file that FBWARM_STANDIN_SCRIPT
// names, with every call recorded in the file that FBWARM_STANDIN_LOG names. README.md
// describes both formats. STANDIN_SCRIPTED in names.cmake lists the entry points defined here.
#include "tests/standin/standin.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "ibclient/gds_entry_points.h"
#include "tests/support/service_double.h"
#include "tests/support/tool_output.h"

#ifndef STANDIN_MAJOR
#define STANDIN_MAJOR 6
#endif
#ifndef STANDIN_MINOR
#define STANDIN_MINOR 3
#endif

namespace {

constexpr size_t kMaxMessages = 7;  // what fits the 20 values with the codes

// The stand-in's service manager: the shared answers, each call appended to the log.
class StandinService : public ServiceDouble {
 protected:
  void Record(const ServiceCallRecord& call) override {
    std::string details;
    for (const auto& [key, value] : call.arguments)
      details += (details.empty() ? "" : " ") + key + "=" + value;
    StandinLog(call.name, details);
  }
};

std::mutex g_lock;
bool g_loaded = false;
std::string g_script_path;
StandinService g_service;

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

ServiceOutcome ParseOutcome(const std::string& rest, const std::string& path, int line) {
  if (rest == "ok") return {};
  long long sql_code = 0, error_code = 0;
  char extra = 0;
  if (sscanf(rest.c_str(), "fail %lld %lld %c", &sql_code, &error_code, &extra) != 2)
    BadScript(path, line, "expected 'ok' or 'fail <sqlcode> <error code>'");
  return {static_cast<ISC_STATUS>(sql_code), static_cast<ISC_STATUS>(error_code), {}};
}

std::string ReadFile(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) BadScript(path, 0, "cannot open the script");
  std::string content;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
  fclose(file);
  return content;
}

// Hands the script's directives to the service in order. An outcome or query failure is
// handed over once the 'message' lines that follow it are read.
class ScriptReader {
 public:
  ScriptReader(const std::string& path, ServiceDouble& service) : path_(path), service_(service) {}

  void Directive(int number, const std::string& word, const std::string& rest) {
    if (word == "message") {
      if (!pending_) BadScript(path_, number, "'message' must follow a 'fail' line");
      if (pending_->messages.size() == kMaxMessages)
        BadScript(path_, number, "at most 7 messages fit a status vector");
      pending_->messages.push_back(Unescape(rest, path_, number));
      return;
    }
    Flush();
    if (word == "attach" || word == "detach" || word == "start") {
      std::deque<ServiceOutcome>& queue = word == "attach"   ? service_.attach_outcomes
                                          : word == "detach" ? service_.detach_outcomes
                                                             : service_.start_outcomes;
      ServiceOutcome outcome = ParseOutcome(rest, path_, number);
      if (!outcome.failed) {
        queue.push_back(std::move(outcome));
        return;
      }
      pending_ = std::move(outcome);
      pending_queue_ = &queue;
    } else if (word == "query") {
      pending_ = ParseOutcome(rest, path_, number);
      if (!pending_->failed) BadScript(path_, number, "a query answer is 'line' or 'response'");
    } else if (word == "line") {
      service_.AddLine(Unescape(rest, path_, number));
    } else if (word == "pause") {
      int pause_ms = 0;
      char extra = 0;
      if (sscanf(rest.c_str(), "%d %c", &pause_ms, &extra) != 1 || pause_ms < 0)
        BadScript(path_, number, "expected 'pause <milliseconds>'");
      service_.AddPause(pause_ms);
    } else if (word == "response") {
      service_.AddResponse(ParseHex(rest, path_, number));
    } else {
      BadScript(path_, number, "unknown directive '" + word + "'");
    }
  }

  void Flush() {
    if (!pending_) return;
    if (pending_queue_)
      pending_queue_->push_back(std::move(*pending_));
    else
      service_.AddQueryFailure(std::move(*pending_));
    pending_.reset();
    pending_queue_ = nullptr;
  }

 private:
  const std::string& path_;
  ServiceDouble& service_;
  // The outcome whose messages may still follow, and the queue it goes to (none for a query).
  std::optional<ServiceOutcome> pending_;
  std::deque<ServiceOutcome>* pending_queue_ = nullptr;
};

void ReadScript(const std::string& path, ServiceDouble& service) {
  if (path.empty()) return;
  const std::string content = ReadFile(path);
  ScriptReader reader(path, service);
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
    reader.Directive(number, text.substr(0, blank),
                     blank == std::string::npos ? "" : text.substr(blank + 1));
  }
  reader.Flush();
}

void Reset(const std::string& path) {
  g_service.Reset();
  ReadScript(path, g_service);
  g_script_path = path;
  g_loaded = true;
}

// Reads the script at the first call, and again whenever the variable names another file.
void Refresh() {
  const char* variable = getenv("FBWARM_STANDIN_SCRIPT");
  const std::string path = variable ? variable : "";
  if (!g_loaded || path != g_script_path) Reset(path);
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
  return g_service.Attach(status, {service, service_length}, handle, {spb, spb_length});
}

extern "C" ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_service.Detach(status, handle);
}

extern "C" ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle*, unsigned short request_length,
                                        const ISC_SCHAR* request) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_service.Start(status, handle, {request, request_length});
}

extern "C" ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle* handle,
                                        isc_resv_handle*, unsigned short send_length,
                                        const ISC_SCHAR* send_items, unsigned short request_length,
                                        const ISC_SCHAR* request_items,
                                        unsigned short buffer_length, ISC_SCHAR* buffer) {
  std::lock_guard<std::mutex> lock(g_lock);
  Refresh();
  return g_service.Query(status, handle, {send_items, send_length}, {request_items, request_length},
                         buffer_length, buffer);
}

extern "C" ISC_LONG isc_sqlcode(const ISC_STATUS* status) {
  StandinLog("isc_sqlcode", "");
  return ServiceDouble::SqlCode(status);
}

extern "C" ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** position) {
  StandinLog("isc_interprete", "");
  return ServiceDouble::Interprete(buffer, position);
}

extern "C" ISC_LONG isc_vax_integer(const ISC_SCHAR* bytes, short length) {
  const short logged = length < 0 ? 0 : length > 4 ? 4 : length;  // never read past 4 bytes
  StandinLog("isc_vax_integer",
             "bytes=" + Hex(std::string(bytes ? bytes : "", bytes ? logged : 0)) +
                 " length=" + std::to_string(length));
  return ServiceDouble::VaxInteger(bytes, length);
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
