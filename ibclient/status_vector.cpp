#include "ibclient/status_vector.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "ibclient/trace_hook.h"
#include "platform/text_encoding.h"

namespace {

// isc_interprete takes no buffer size; this is what its callers are expected to provide.
constexpr size_t kInterpreteBufferSize = 20480;

thread_local ISC_STATUS t_status_vector[ISC_STATUS_LENGTH] = {};

}  // namespace

ISC_STATUS* ThreadStatusVector() { return t_status_vector; }

void RaiseStatusVectorError(IGDSLibrary& library) {
  ISC_STATUS* vector = ThreadStatusVector();
  const auto error_code = static_cast<int32_t>(vector[1]);
  const int32_t sql_code = library.isc_sqlcode(vector);

  std::u16string text;
  std::vector<ISC_SCHAR> buffer(kInterpreteBufferSize);
  ISC_STATUS* position = vector;
  // Each message takes at least one cluster of the vector; the bound only guards against a
  // library that reports messages without moving on.
  for (int messages = 0; messages < ISC_STATUS_LENGTH; ++messages) {
    buffer[0] = 0;
    if (library.isc_interprete(buffer.data(), &position) <= 0) break;
    if (!text.empty() && text.back() != u'\n') text += u"\r\n";
    text += FromNarrow(std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size())));
  }
  if (!text.empty() && text.back() == u'.') text.pop_back();

  if (auto hook = TraceHook())
    hook->SendError(DecimalText(sql_code) + u" " + DecimalText(error_code) + u" " + text);
  if (sql_code == -551) throw EIBInterBaseRoleError(sql_code, error_code, text);
  throw EIBInterBaseError(sql_code, error_code, text);
}
