// The stand-in XML extension library: it only has to export the three names.
#include "ibclient/gds_entry_points.h"

#define STANDIN_XML(result, name, params, args) \
  extern "C" result name params { return 0; }
GDS_XML_ENTRY_POINTS(STANDIN_XML)
#undef STANDIN_XML
