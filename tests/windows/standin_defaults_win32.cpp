// The stand-in's default bodies for the Windows build: every entry point that the stand-in
// does not script only logs its name and returns 0. A DLL cannot export the weak definitions
// of tests/standin/defaults.cpp, so these carry a prefix of their own and the variant's .def
// file exports each under the entry point's name.
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
  extern "C" result standin_default_##name params { return LogOnly<result>(#name); }
GDS_ENTRY_POINTS(STANDIN_DEFAULT)
#undef STANDIN_DEFAULT

extern "C" ISC_LONG standin_default_isc_event_block(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT, ...) {
  return LogOnly<ISC_LONG>("isc_event_block");
}
