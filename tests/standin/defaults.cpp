// Every entry point the binding looks up with a default body that only logs its name and
// returns 0; standin.cpp replaces the ones the tests script. The ELF build defines them weakly
// under their own names. A DLL cannot export weak definitions, so the Windows build
// (STANDIN_PREFIXED_DEFAULTS) names them standin_default_<name>, and the variant's .def file
// exports each under the entry point's name.
#include <type_traits>

#ifdef STANDIN_PREFIXED_DEFAULTS
#define STANDIN_DEFAULT_NAME(name) standin_default_##name
#define STANDIN_DEFAULT_ATTRIBUTES
#else
#define STANDIN_DEFAULT_NAME(name) name
#define STANDIN_DEFAULT_ATTRIBUTES __attribute__((weak))
#endif

#include "ibclient/gds_entry_points.h"
#include "tests/standin/standin.h"

namespace {

template <class Result>
Result LogOnly(const char* name) {
  StandinLog(name, "");
  if constexpr (!std::is_void_v<Result>) return Result{};
}

}  // namespace

#define STANDIN_DEFAULT(result, name, params, args)                                \
  extern "C" STANDIN_DEFAULT_ATTRIBUTES result STANDIN_DEFAULT_NAME(name) params { \
    return LogOnly<result>(#name);                                                 \
  }
GDS_ENTRY_POINTS(STANDIN_DEFAULT)
#undef STANDIN_DEFAULT

extern "C" STANDIN_DEFAULT_ATTRIBUTES ISC_LONG STANDIN_DEFAULT_NAME(isc_event_block)(ISC_UCHAR**,
                                                                                     ISC_UCHAR**,
                                                                                     ISC_USHORT,
                                                                                     ...) {
  return LogOnly<ISC_LONG>("isc_event_block");
}
