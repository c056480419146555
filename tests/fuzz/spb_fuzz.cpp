// The service parameter block built from Params lines at the attach, and the start request of
// the statistics action. Input: one byte (bits 0 to 6: the statistics options; bit 7: the rest
// is UTF-16LE instead of the narrow encoding), then lines: the database name, the table names,
// then the Params lines.
#include <memory>

#include "base/text.h"
#include "ibclient/errors.h"
#include "platform/text_encoding.h"
#include "services/statistical_service.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_client_library.h"

namespace {

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
  return text.starts_with(prefix);
}

bool HasName(const std::u16string& line) {
  const size_t equals = line.find(u'=');
  if (equals == std::u16string::npos) return false;
  return line.substr(0, equals).find_first_not_of(u' ') != std::u16string::npos;
}

// The SPB's items must be exactly the named lines' values, each with its one-byte count.
void CheckSpb(const std::string& spb, const std::vector<std::u16string>& lines) {
  FUZZ_CHECK(spb.size() >= 2 && spb[0] == 2 && spb[1] == 2);
  size_t pos = 2;
  for (const std::u16string& line : lines) {
    if (!HasName(line)) continue;
    FUZZ_CHECK(pos + 2 <= spb.size());
    const char code = spb[pos];
    FUZZ_CHECK(code == 28 || code == 29 || code == 75);
    const size_t n = static_cast<unsigned char>(spb[pos + 1]);
    FUZZ_CHECK(pos + 2 + n <= spb.size());
    FUZZ_CHECK(spb.compare(pos + 2, n, ToNarrow(line.substr(line.find(u'=') + 1))) == 0);
    pos += 2 + n;
  }
  // The length sent is 2 plus every item's 2 + n: nothing before, between or after.
  FUZZ_CHECK(pos == spb.size());
}

// Reads a text item (code, 2-byte count, bytes) at pos.
std::string TextItem(const std::string& request, size_t& pos, char code) {
  FUZZ_CHECK(pos + 3 <= request.size() && request[pos] == code);
  const size_t n = static_cast<unsigned char>(request[pos + 1]) +
                   256 * static_cast<unsigned char>(request[pos + 2]);
  FUZZ_CHECK(n > 0 && pos + 3 + n <= request.size());
  std::string text = request.substr(pos + 3, n);
  pos += 3 + n;
  return text;
}

void CheckStartRequest(const std::string& request, const std::u16string& database,
                       const std::u16string& tables, TStatOptions options) {
  size_t pos = 1;
  FUZZ_CHECK(!request.empty() && request[0] == 11);
  FUZZ_CHECK(TextItem(request, pos, 106) == ToNarrow(database));
  FUZZ_CHECK(pos + 5 <= request.size() && request[pos] == 108);
  const std::string mask = request.substr(pos + 1, 4);
  FUZZ_CHECK(mask == std::string({char(options.Mask()), 0, 0, 0}));
  pos += 5;
  if (options.Contains(TStatOption::StatTables) && !tables.empty())
    FUZZ_CHECK(TextItem(request, pos, 105) == ToNarrow(tables));
  FUZZ_CHECK(pos == request.size());
}

TStatOptions OptionsOf(uint8_t bits) {
  TStatOptions options;
  for (unsigned i = 0; i < 7; ++i)
    if (bits & (1u << i)) options.Include(static_cast<TStatOption>(i));
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view rest = Bytes(data + 1, size - 1);
  const std::u16string text = (data[0] & 0x80) ? DecodeUtf16(rest, false) : FromNarrow(rest);
  std::vector<std::u16string> lines = SplitAt(text, u'\n');
  const std::u16string database = lines[0];
  const std::u16string tables = lines.size() > 1 ? lines[1] : u"";
  const std::vector<std::u16string> params(lines.begin() + std::min<size_t>(2, lines.size()),
                                           lines.end());

  auto library = std::make_shared<FakeClientLibrary>();
  TIBStatisticalService service(nullptr, library);
  service.SetServerName(u"fuzz");
  service.SetLoginPrompt(false);
  for (const std::u16string& line : params) service.Params().Add(line);

  try {
    service.SetActive(true);
  } catch (const EIBClientError& e) {
    // Refused before anything was sent.
    FUZZ_CHECK(library->attach_calls == 0 && !service.Active());
    const std::u16string& message = e.Message();
    FUZZ_CHECK(message == u"SPB Constant Unknown" || message == u"SPB Constant Not supported" ||
               StartsWith(message, u"SPB parameter value too long (") ||
               StartsWith(message, u"SPB too long ("));
    return 0;
  }
  FUZZ_CHECK(library->attach_calls == 1 && service.Active());
  FUZZ_CHECK(library->service == "fuzz:service_mgr");
  CheckSpb(library->spb, params);

  const TStatOptions options = OptionsOf(data[0]);
  service.SetDatabaseName(database);
  service.SetOptions(options);
  service.SetTableNames(tables);
  try {
    service.ServiceStart();
  } catch (const EIBClientError& e) {
    FUZZ_CHECK(library->start_calls == 0);
    FUZZ_CHECK(database.empty() || StartsWith(e.Message(), u"Start parameter"));
    return 0;
  }
  FUZZ_CHECK(!database.empty() && library->start_calls == 1);
  CheckStartRequest(library->start_request, database, tables, options);
  FUZZ_CHECK(!service.Eof());
  return 0;
}
