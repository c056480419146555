// Every entry point the binding looks up, defined weakly: standin.cpp replaces the ones the
// tests script; the rest only log their name and return 0.
#include <type_traits>

#include "ibclient/gds_entry_points.h"
#include "tests/standin/standin.h"

namespace {

template <class Result>
Result LogOnly(const char* name) {
  StandinLog(name, "");
  if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace

#define STANDIN_DEFAULT(result, name, params, args) \
  extern "C" __attribute__((weak)) result name params { return LogOnly<result>(#name); }
GDS_ENTRY_POINTS(STANDIN_DEFAULT)
#undef STANDIN_DEFAULT

extern "C" __attribute__((weak)) ISC_LONG isc_event_block(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT,
                                                          ...) {
  return LogOnly<ISC_LONG>("isc_event_block");
}
