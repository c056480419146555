#include "tests/support/double_script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMaxMessages = 7;  // what fits the 20 values with the codes

[[noreturn]] void BadScript(const std::string& path, int line, const std::string& why) {
  fprintf(stderr, "fbwarm test double: %s:%d: %s\n", path.c_str(), line, why.c_str());
  abort();
}

// The escapes of a text: \n, \r, \t, \\, \xHH, and \" (for a quoted value of a row). Reads
// from text[*at] to the end, or with quoted up to an unescaped '"', and leaves *at there.
std::string Unescape(const std::string& text, const std::string& path, int line, size_t* at,
                     bool quoted) {
  std::string out;
  size_t i = *at;
  for (; i < text.size() && !(quoted && text[i] == '"'); ++i) {
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
      case '"':
        out += '"';
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
  *at = i;
  return out;
}

std::string Unescape(const std::string& text, const std::string& path, int line) {
  size_t at = 0;
  return Unescape(text, path, line, &at, false);
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

CallOutcome ParseOutcome(const std::string& rest, const std::string& path, int line) {
  if (rest == "ok") return {};
  long long sql_code = 0, error_code = 0;
  char extra = 0;
  if (sscanf(rest.c_str(), "fail %lld %lld %c", &sql_code, &error_code, &extra) != 2)
    BadScript(path, line, "expected 'ok' or 'fail <sqlcode> <error code>'");
  return {static_cast<ISC_STATUS>(sql_code), static_cast<ISC_STATUS>(error_code), {}};
}

const std::pair<const char*, short> kColumnTypes[] = {
    {"SHORT", SQL_SHORT}, {"LONG", SQL_LONG},       {"INT64", SQL_INT64},
    {"TEXT", SQL_TEXT},   {"VARYING", SQL_VARYING}, {"BOOLEAN", SQL_BOOLEAN},
};

// The values of a row: NULL, a whole number, or "text", separated by blanks.
std::vector<ScriptedValue> ParseRow(const std::string& text, const std::string& path, int line) {
  std::vector<ScriptedValue> values;
  size_t at = 0;
  while (true) {
    at = text.find_first_not_of(' ', at);
    if (at == std::string::npos) return values;
    if (text[at] == '"') {
      ++at;
      values.emplace_back(std::in_place_type<std::string>, Unescape(text, path, line, &at, true));
      if (at == text.size()) BadScript(path, line, "a quoted value needs its closing '\"'");
      ++at;
      continue;
    }
    const size_t end = std::min(text.find(' ', at), text.size());
    const std::string word = text.substr(at, end - at);
    at = end;
    if (word == "NULL") {
      values.emplace_back(std::in_place_type<std::monostate>);
      continue;
    }
    char* stop = nullptr;
    const long long number = strtoll(word.c_str(), &stop, 10);
    if (*stop != '\0') BadScript(path, line, "not NULL, a number or \"text\": " + word);
    values.emplace_back(std::in_place_type<int64_t>, number);
  }
}

// Hands the script's directives to the client in order. An outcome or query failure is handed
// over once the 'message' lines that follow it are read.
class ScriptReader {
 public:
  ScriptReader(const std::string& path, ServiceDouble& service, DatabaseDouble& database)
      : path_(path), service_(service), database_(database) {}

  void Directive(int number, const std::string& word, const std::string& rest) {
    if (word == "message") {
      if (!pending_) BadScript(path_, number, "'message' must follow a 'fail' line");
      if (pending_->messages.size() == kMaxMessages)
        BadScript(path_, number, "at most 7 messages fit a status vector");
      pending_->messages.push_back(Unescape(rest, path_, number));
      return;
    }
    Flush();
    if (std::deque<CallOutcome>* queue = OutcomeQueue(word)) {
      Expect(ParseOutcome(rest, path_, number), queue);
    } else if (word == "query") {
      Expect(ParseOutcome(rest, path_, number), nullptr);
      if (!pending_) BadScript(path_, number, "a query answer is 'line' or 'response'");
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
    } else if (word == "info") {
      Info(number, rest);
    } else if (word == "pages") {
      Pages(number, rest);
    } else if (word == "result") {
      if (rest.empty()) BadScript(path_, number, "expected 'result <key>'");
      database_.results.emplace_back(rest, ScriptedResult(std::vector<short>{}));
    } else if (word == "columns" || word == "row" || word == "prepare") {
      ResultPart(number, word, rest);
    } else {
      BadScript(path_, number, "unknown directive '" + word + "'");
    }
  }

  void Flush() {
    if (!pending_) return;
    if (pending_queue_)
      pending_queue_->push_back(std::move(*pending_));
    else if (pending_result_)
      pending_result_->failure = std::move(*pending_);
    else
      service_.AddQueryFailure(std::move(*pending_));
    pending_.reset();
    pending_queue_ = nullptr;
    pending_result_ = nullptr;
  }

 private:
  std::deque<CallOutcome>* OutcomeQueue(const std::string& word) {
    if (word == "attach") return &service_.attach_outcomes;
    if (word == "detach") return &service_.detach_outcomes;
    if (word == "start") return &service_.start_outcomes;
    if (word == "attach-database") return &database_.attach_database_outcomes;
    if (word == "database-info") return &database_.info_outcomes;
    if (word == "fetch") return &database_.fetch_outcomes;
    if (word == "commit") return &database_.commit_outcomes;
    return nullptr;
  }

  // A success goes to its queue at once; a failure waits for its messages.
  void Expect(CallOutcome outcome, std::deque<CallOutcome>* queue) {
    if (!outcome.failed && queue) {
      queue->push_back(std::move(outcome));
      return;
    }
    if (!outcome.failed) return;
    pending_ = std::move(outcome);
    pending_queue_ = queue;
  }

  void Info(int number, const std::string& rest) {
    unsigned item = 0;
    int length = 0;
    if (sscanf(rest.c_str(), "%u%n", &item, &length) != 1 || item > 255)
      BadScript(path_, number, "expected 'info <item> <hex bytes>'");
    database_.info_values[static_cast<unsigned char>(item)] =
        ParseHex(rest.substr(static_cast<size_t>(length)), path_, number);
  }

  // "pages denied", or "pages <first> <last> <size> [<hex bytes>]": pages first to last, each
  // size bytes, starting with the bytes given and zeros after them.
  void Pages(int number, const std::string& rest) {
    if (rest == "denied") {
      database_.pages_denied = true;
      return;
    }
    unsigned first = 0, last = 0, size = 0;
    int length = 0;
    if (sscanf(rest.c_str(), "%u %u %u%n", &first, &last, &size, &length) != 3 || last < first ||
        size == 0 || size > 65536)
      BadScript(path_, number, "expected 'pages <first> <last> <size> [<hex bytes>]'");
    std::string contents = ParseHex(rest.substr(static_cast<size_t>(length)), path_, number);
    if (contents.size() > size) BadScript(path_, number, "more bytes than the page holds");
    contents.resize(size, '\0');
    for (uint64_t page = first; page <= last; ++page)
      database_.pages[static_cast<uint32_t>(page)] = contents;
  }

  void ResultPart(int number, const std::string& word, const std::string& rest) {
    if (database_.results.empty())
      BadScript(path_, number, "'" + word + "' needs a 'result' above");
    ScriptedResult& result = database_.results.back().second;
    if (word == "columns") {
      result.types.clear();
      size_t at = 0;
      while ((at = rest.find_first_not_of(' ', at)) != std::string::npos) {
        const size_t end = std::min(rest.find(' ', at), rest.size());
        const std::string name = rest.substr(at, end - at);
        at = end;
        const auto* type = std::find_if(std::begin(kColumnTypes), std::end(kColumnTypes),
                                        [&](const auto& known) { return name == known.first; });
        if (type == std::end(kColumnTypes)) BadScript(path_, number, "unknown type " + name);
        result.types.push_back(type->second);
      }
    } else if (word == "row") {
      std::vector<ScriptedValue> row = ParseRow(rest, path_, number);
      if (row.size() != result.types.size())
        BadScript(path_, number, "a row needs one value for each of the columns above");
      result.rows.push_back(std::move(row));
    } else {
      const CallOutcome failure = ParseOutcome(rest, path_, number);
      if (!failure.failed) BadScript(path_, number, "expected 'prepare fail <sqlcode> <code>'");
      pending_ = failure;
      pending_result_ = &result;
    }
  }

  const std::string& path_;
  ServiceDouble& service_;
  DatabaseDouble& database_;
  // The outcome whose messages may still follow, and where it goes: an outcome queue, a
  // result's prepare, or (neither) the query answers.
  std::optional<CallOutcome> pending_;
  std::deque<CallOutcome>* pending_queue_ = nullptr;
  ScriptedResult* pending_result_ = nullptr;
};

}  // namespace

void ApplyDoubleScript(std::string_view content, const std::string& path, ServiceDouble& service,
                       DatabaseDouble& database) {
  ScriptReader reader(path, service, database);
  int number = 0;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    const std::string text(content.substr(begin, end - begin));
    begin = end + 1;
    ++number;
    if (text.empty() || text[0] == '#') continue;
    const size_t blank = text.find(' ');
    reader.Directive(number, text.substr(0, blank),
                     blank == std::string::npos ? "" : text.substr(blank + 1));
  }
  reader.Flush();
}
