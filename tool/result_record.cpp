#include "tool/result_record.h"

#include <charconv>
#include <vector>

namespace {

constexpr std::string_view kOutcomeWords[] = {"finished", "too-fast", "retry", "permanent", "help"};

std::string Escaped(std::string_view text) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '\\') {
      out += "\\x";
      out += digits[byte >> 4];
      out += digits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return std::nullopt;
    const int high = HexDigit(text[i + 2]), low = HexDigit(text[i + 3]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return out;
}

// The words of a line split at single blanks.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t start = 0;
  while (true) {
    const size_t end = line.find(' ', start);
    words.push_back(line.substr(start, end - start));
    if (end == std::string_view::npos) return words;
    start = end + 1;
  }
}

template <class Number>
std::optional<Number> ParseNumber(std::string_view word) {
  Number value{};
  const char* end = word.data() + word.size();
  const auto [stop, error] = std::from_chars(word.data(), end, value);
  if (word.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<RunOutcome> OutcomeOfWord(std::string_view word) {
  for (size_t i = 0; i < std::size(kOutcomeWords); ++i)
    if (kOutcomeWords[i] == word) return static_cast<RunOutcome>(i);
  return std::nullopt;
}

struct LineOf {
  std::string operator()(const VersionRecord& r) const {
    return "fbwarm-record " + std::to_string(r.version);
  }
  std::string operator()(const ReadProgressRecord& r) const {
    return "read " + std::to_string(r.done) + " " + std::to_string(r.total) + " " +
           std::to_string(r.milliseconds);
  }
  std::string operator()(const ServerStepRecord&) const { return "server"; }
  std::string operator()(const ErrorLineRecord& r) const { return "error " + Escaped(r.text); }
  std::string operator()(const RunEndRecord& r) const {
    return "result " + std::string(OutcomeWord(r.outcome)) + " " + std::to_string(r.milliseconds) +
           " " + std::to_string(r.error_code);
  }
};

std::optional<ResultRecord> ParseWords(const std::vector<std::string_view>& w) {
  const std::string_view kind = w[0];
  if (kind == "fbwarm-record" && w.size() == 2) {
    if (auto version = ParseNumber<int>(w[1])) return VersionRecord{*version};
  } else if (kind == "read" && w.size() == 4) {
    auto done = ParseNumber<uint64_t>(w[1]), total = ParseNumber<uint64_t>(w[2]),
         ms = ParseNumber<uint64_t>(w[3]);
    if (done && total && ms) return ReadProgressRecord{*done, *total, *ms};
  } else if (kind == "server" && w.size() == 1) {
    return ServerStepRecord{};
  } else if (kind == "result" && w.size() == 4) {
    auto outcome = OutcomeOfWord(w[1]);
    auto ms = ParseNumber<uint64_t>(w[2]);
    auto code = ParseNumber<int64_t>(w[3]);
    if (outcome && ms && code) return RunEndRecord{*outcome, *ms, *code};
  }
  return std::nullopt;
}

}  // namespace

std::string_view OutcomeWord(RunOutcome outcome) {
  return kOutcomeWords[static_cast<size_t>(outcome)];
}

std::string FormatResultRecord(const ResultRecord& record) {
  return std::visit(LineOf{}, record) + "\n";
}

std::optional<ResultRecord> ParseResultRecord(std::string_view line) {
  // The text of an error line may hold blanks of its own: it is the rest of the line.
  constexpr std::string_view kErrorKind = "error ";
  if (line.substr(0, kErrorKind.size()) == kErrorKind) {
    if (auto text = Unescaped(line.substr(kErrorKind.size()))) return ErrorLineRecord{*text};
    return std::nullopt;
  }
  return ParseWords(Words(line));
}
