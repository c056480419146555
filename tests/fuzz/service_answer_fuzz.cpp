// Reading the statistics report: GetNextLine and GetNextChunk on fuzzed answers of the client
// library. Input: one byte (bit 0: chunks instead of lines), the output buffer's size (2 bytes,
// little-endian), then the answers, each as a 2-byte little-endian count and its bytes.
#include <memory>

#include "ibclient/errors.h"
#include "services/statistical_service.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_client_library.h"

namespace {

constexpr int kMaxQueries = 200;

std::deque<std::string> Answers(std::string_view bytes) {
  std::deque<std::string> answers;
  while (bytes.size() >= 2) {
    const size_t n =
        static_cast<unsigned char>(bytes[0]) + 256 * static_cast<unsigned char>(bytes[1]);
    bytes.remove_prefix(2);
    answers.emplace_back(bytes.substr(0, n));
    bytes.remove_prefix(std::min(n, bytes.size()));
  }
  return answers;
}

// The one error a bad answer may give; the session stays attached and Eof unchanged.
void CheckRefusal(const EIBClientError& e, const TIBStatisticalService& service, bool eof_before) {
  FUZZ_CHECK(e.Message() == u"Unexpected Output buffer value");
  FUZZ_CHECK(service.Active());
  FUZZ_CHECK(service.Eof() == eof_before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool chunks = data[0] & 1;
  const int buffer_size = data[1] + 256 * data[2];

  auto library = std::make_shared<FakeClientLibrary>();
  for (std::string& answer : Answers(Bytes(data + 3, size - 3)))
    library->AddResponse(std::move(answer));
  TIBStatisticalService service(nullptr, library);
  try {
    service.SetBufferSize(buffer_size);
    FUZZ_CHECK(buffer_size >= 4);
  } catch (const EIBClientError&) {
    FUZZ_CHECK(buffer_size < 4);  // the two bytes cannot say more than 65535
  }
  const size_t longest = static_cast<size_t>(service.BufferSize()) - 4;
  service.SetServerName(u"fuzz");
  service.SetLoginPrompt(false);
  service.Params().Add(u"user_name=SYSDBA");
  service.SetActive(true);
  service.SetDatabaseName(u"/fuzz.fdb");
  service.SetOptions({TStatOption::DataPages, TStatOption::IndexPages});
  service.ServiceStart();

  for (int i = 0; i < kMaxQueries && !service.Eof(); ++i) {
    const int queries_before = library->query_calls;
    try {
      if (chunks) {
        const std::string chunk = service.GetNextChunk();
        FUZZ_CHECK(chunk.find('\0') == std::string::npos);
        FUZZ_CHECK(chunk.size() <= longest);
      } else {
        const std::u16string line = service.GetNextLine();
        FUZZ_CHECK(line.find(u'\0') == std::u16string::npos);
        FUZZ_CHECK(line.size() <= longest);
        // The end of the report is an empty line. (A line that starts with a zero byte is
        // empty too, without being the end.)
        if (service.Eof()) FUZZ_CHECK(line.empty());
      }
    } catch (const EIBClientError& e) {
      CheckRefusal(e, service, false);
    }
    FUZZ_CHECK(library->query_calls == queries_before + 1);
  }
  if (service.Eof()) {
    // After the end nothing more is asked.
    const int queries = library->query_calls;
    FUZZ_CHECK(chunks ? service.GetNextChunk().empty() : service.GetNextLine().empty());
    FUZZ_CHECK(library->query_calls == queries);
  }
  return 0;
}
