#include "services/engine_pages.h"

#include <optional>

#include "base/text.h"
#include "ibclient/errors.h"

namespace {

constexpr size_t kMaxAnswer = 32767;  // isc_database_info's buffer length is a signed short
constexpr size_t kItemHeader = 3;     // item, 2-byte length
// Room after the pages: the engine puts an item only when it and one byte more fit before the
// buffer's end; and Firebird 4's remote layers (server and client) look for the byte of
// fb_info_protocol_version (137) anywhere in the request, a page number's bytes included, and
// then end the answer with that item (item, length, 2-byte value, end mark), or cut it where the
// six bytes do not fit.
constexpr size_t kSlack = 6;
constexpr unsigned char kProtocolVersionItem = 137;
// Room for an isc_info_error cluster (item, length, item asked, 4-byte code) and the end mark,
// and too little for any page.
constexpr size_t kTouchAnswer = 16;

// fb_info_page_contents with its argument: a 2-byte length, then the page number in as many
// bytes, least significant first.
void AppendPageRequest(std::string& request, uint32_t page) {
  request += static_cast<char>(fb_info_page_contents);
  request += '\x04';
  request += '\x00';
  for (int shift = 0; shift < 32; shift += 8) request += static_cast<char>((page >> shift) & 0xFF);
}

}  // namespace

EnginePages::EnginePages(DatabaseAttachment& attachment, uint32_t page_size)
    : attachment_(attachment), page_size_(page_size) {
  if (page_size_ == 0) throw EIBClientError(0, u"Page size unknown");
  // Used and free pages add up to the pages of the file, counted from the page inventories;
  // isc_info_allocation would tell the same but flushes the cache first.
  const InfoAnswer answer = attachment_.Info(std::string{fb_info_pages_used, fb_info_pages_free});
  const std::optional<int64_t> used = answer.Integer(fb_info_pages_used);
  const std::optional<int64_t> unused = answer.Integer(fb_info_pages_free);
  if (!used || !unused || *used + *unused > 0x7FFFFFFF)
    RaiseUnexpectedAnswer(u"no count of the database's pages");
  used_pages_ = static_cast<uint32_t>(*used);
  file_pages_ = static_cast<uint32_t>(*used + *unused);
}

void EnginePages::CheckPage(uint32_t page) const {
  if (page >= file_pages_)
    throw EIBClientError(0, u"Page " + DecimalText(page) + u" past the end of the database (" +
                                DecimalText(file_pages_) + u" pages)");
}

size_t EnginePages::PagesPerRead() const {
  return (kMaxAnswer - kSlack) / (page_size_ + kItemHeader);
}

std::vector<std::string> EnginePages::Read(std::span<const uint32_t> pages) {
  if (pages.empty()) return {};
  if (pages.size() > PagesPerRead())
    throw EIBClientError(0, DecimalText(pages.size()) + u" pages do not fit one request (at most " +
                                DecimalText(PagesPerRead()) + u")");
  std::string request;
  for (uint32_t page : pages) {
    CheckPage(page);
    AppendPageRequest(request, page);
  }
  bool cut = false;
  const InfoAnswer answer =
      attachment_.InfoOnce(request, pages.size() * (page_size_ + kItemHeader) + kSlack, &cut);
  answer.RaiseFirstError();
  std::vector<std::string> contents;
  for (const InfoAnswer::Item& item : answer.Items()) {
    if (item.code == kProtocolVersionItem) continue;
    if (item.code != fb_info_page_contents || item.value.size() != page_size_)
      RaiseUnexpectedAnswer(u"page contents of another item or size");
    contents.push_back(item.value);
  }
  if (cut || contents.size() != pages.size()) RaiseUnexpectedAnswer(u"fewer pages than asked for");
  return contents;
}

void EnginePages::Touch(uint32_t page) {
  CheckPage(page);
  std::string request;
  AppendPageRequest(request, page);
  bool cut = false;
  const InfoAnswer answer = attachment_.InfoOnce(request, kTouchAnswer, &cut);
  answer.RaiseFirstError();
  // The engine cuts the answer only after it has fetched the page.
  if (!cut) RaiseUnexpectedAnswer(u"a page answer that fits a few bytes");
}

bool EnginePages::Allowed() {
  try {
    Touch(0);
    return true;
  } catch (const EIBError& e) {
    if (e.IBErrorCode() == isc_adm_task_denied) return false;
    throw;
  }
}
