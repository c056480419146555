#include "ibclient/gds_library.h"

#include <cmath>
#include <type_traits>

#include "base/text.h"
#include "ibclient/errors.h"
#include "platform/dynamic_library.h"

// Every row that Firebird's header declares must match it, or a call would break the ABI.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // isc_interprete
#define GDS_CHECK_SIGNATURE(result, name, params, args)                    \
  static_assert(std::is_same_v<decltype(&::name), result(*) params>, #name \
                " differs from "                                           \
                "ibase.h");
GDS_DECLARED_ENTRY_POINTS(GDS_CHECK_SIGNATURE)
#undef GDS_CHECK_SIGNATURE
#pragma GCC diagnostic pop

namespace {

// What an entry point's slot holds when it holds no resolved function.
enum class Stub { None, InterBase6, InterBase70, InterBase71, InterBase2007, InterBase65 };

template <class Function>
struct Slot {
  Function function = nullptr;
  Stub stub = Stub::None;
};

using EventBlockFunction = ISC_LONG (*)(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT, ...);

[[noreturn]] void RaiseVersionStub(Stub stub, const char* name) {
  const std::u16string entry = ToU16(name);
  switch (stub) {
    case Stub::InterBase6:
      RaiseClientError(ClientErrorCode::NeedsVersion6, entry);
    case Stub::InterBase70:
      throw EIBClientError(0, FormatText(u"%s is an InterBase 7.0 function. Please upgrade to "
                                         u"InterBase 7.0 to use this functonality",
                                         {entry + u" "}));
    case Stub::InterBase71:
      throw EIBClientError(0, FormatText(u"%s is an InterBase 7.1 function. Please upgrade to "
                                         u"InterBase 7.1 to use this functonality",
                                         {entry + u" "}));
    case Stub::InterBase2007:
      throw EIBClientError(0, FormatText(u"%s is an InterBase 2007 function. Please upgrade to "
                                         u"InterBase 2007 to use this functonality",
                                         {entry}));
    case Stub::InterBase65:
    case Stub::None:
      break;
  }
  throw EIBClientError(0, FormatText(u"%s is an InterBase 6.5 function. Please upgrade to "
                                     u"InterBase 6.5 to use this functonality",
                                     {entry + u" "}));
}

}  // namespace

struct TDynamicLibrary::State {
  std::string library_name;
  std::string xml_library_name;
  std::unique_ptr<DynamicLibrary> library;
  std::unique_ptr<DynamicLibrary> xml_library;
  int64_t client_version = 0;
  // A required entry point was missing: the slots after it stay empty, so the binding
  // refuses every further use instead of letting an empty slot be called.
  bool incomplete = false;

#define GDS_DECLARE_SLOT(result, name, params, args) Slot<result(*) params> F##name;
  GDS_ENTRY_POINTS(GDS_DECLARE_SLOT)
  GDS_XML_ENTRY_POINTS(GDS_DECLARE_SLOT)
#undef GDS_DECLARE_SLOT
  Slot<EventBlockFunction> Fisc_event_block;

  [[noreturn]] void RaiseIncomplete() const {
    throw EIBClientError(0, ToU16("Client library " + library_name +
                                  " is unusable: an entry point was missing when it was "
                                  "loaded"));
  }

  // The function in a slot; a stub raises its version message, an empty slot is refused.
  template <class Function>
  Function Entry(const Slot<Function>& slot, const char* name) const {
    if (incomplete) RaiseIncomplete();
    if (slot.function) return slot.function;
    if (slot.stub != Stub::None) RaiseVersionStub(slot.stub, name);
    throw EIBClientError(0, ToU16(std::string(name) + " cannot be called: the client library " +
                                  library_name + " is not loaded"));
  }

  // Looks a name up in `from`; a missing name raises the platform's error at once.
  template <class Function>
  void Require(DynamicLibrary& from, Slot<Function>& slot, const char* name) {
    void* address = from.Symbol(name);
    if (address == nullptr) {
      incomplete = true;
      const DynamicLibrary::Error error = DynamicLibrary::LastError();
      throw EOSError(error.code, error.text);
    }
    slot = Slot<Function>{reinterpret_cast<Function>(address), Stub::None};
  }

  template <class Function>
  bool Optional(DynamicLibrary& from, Slot<Function>& slot, const char* name) {
    void* address = from.Symbol(name);
    if (address == nullptr) return false;
    slot = Slot<Function>{reinterpret_cast<Function>(address), Stub::None};
    return true;
  }

  template <class Function>
  static void PutStub(Slot<Function>& slot, Stub stub) {
    slot = Slot<Function>{nullptr, stub};
  }

  void Resolve();
  void ResolveXml();
};

#define REQUIRE(name) Require(*library, F##name, #name)
#define STUB(name, stub) PutStub(F##name, Stub::stub)

void TDynamicLibrary::State::Resolve() {
  REQUIRE(BLOB_get);
  REQUIRE(BLOB_put);
  REQUIRE(isc_sqlcode);
  REQUIRE(isc_sql_interprete);
  REQUIRE(isc_interprete);
  REQUIRE(isc_vax_integer);
  REQUIRE(isc_blob_info);
  REQUIRE(isc_open_blob2);
  REQUIRE(isc_close_blob);
  REQUIRE(isc_get_segment);
  REQUIRE(isc_put_segment);
  REQUIRE(isc_create_blob2);
  REQUIRE(isc_cancel_blob);
  REQUIRE(isc_array_gen_sdl);
  REQUIRE(isc_array_get_slice);
  REQUIRE(isc_array_lookup_bounds);
  REQUIRE(isc_array_lookup_desc);
  REQUIRE(isc_array_set_desc);
  REQUIRE(isc_array_put_slice);
  REQUIRE(isc_blob_default_desc);
  REQUIRE(isc_blob_gen_bpb);
  REQUIRE(isc_blob_lookup_desc);
  REQUIRE(isc_blob_set_desc);
  REQUIRE(isc_decode_date);
  REQUIRE(isc_encode_date);
  REQUIRE(isc_dsql_free_statement);
  REQUIRE(isc_dsql_execute2);
  REQUIRE(isc_dsql_execute);
  REQUIRE(isc_dsql_set_cursor_name);
  REQUIRE(isc_dsql_fetch);
  REQUIRE(isc_dsql_sql_info);
  REQUIRE(isc_dsql_alloc_statement2);
  REQUIRE(isc_dsql_prepare);
  REQUIRE(isc_dsql_describe_bind);
  REQUIRE(isc_dsql_describe);
  REQUIRE(isc_dsql_execute_immediate);
  REQUIRE(isc_drop_database);
  REQUIRE(isc_detach_database);
  REQUIRE(isc_attach_database);
  REQUIRE(isc_database_info);
  REQUIRE(isc_start_multiple);
  REQUIRE(isc_commit_transaction);
  REQUIRE(isc_commit_retaining);
  REQUIRE(isc_rollback_transaction);
  REQUIRE(isc_cancel_events);
  REQUIRE(isc_que_events);
  REQUIRE(isc_event_counts);
  REQUIRE(isc_event_block);
  REQUIRE(isc_free);
  REQUIRE(isc_add_user);
  REQUIRE(isc_delete_user);
  REQUIRE(isc_modify_user);
  REQUIRE(isc_prepare_transaction);
  REQUIRE(isc_prepare_transaction2);
  REQUIRE(isc_transaction_info);

  // InterBase 6 brought isc_rollback_retaining together with the service manager.
  if (Optional(*library, Fisc_rollback_retaining, "isc_rollback_retaining")) {
    client_version = 60000;
    REQUIRE(isc_service_attach);
    REQUIRE(isc_service_detach);
    REQUIRE(isc_service_query);
    REQUIRE(isc_service_start);
    REQUIRE(isc_decode_sql_date);
    REQUIRE(isc_decode_sql_time);
    REQUIRE(isc_decode_timestamp);
    REQUIRE(isc_encode_sql_date);
    REQUIRE(isc_encode_sql_time);
    REQUIRE(isc_encode_timestamp);
  } else {
    client_version = 50000;
    STUB(isc_rollback_retaining, InterBase6);
    STUB(isc_service_attach, InterBase6);
    STUB(isc_service_detach, InterBase6);
    STUB(isc_service_query, InterBase6);
    STUB(isc_service_start, InterBase6);
    STUB(isc_decode_sql_date, InterBase6);
    STUB(isc_decode_sql_time, InterBase6);
    STUB(isc_decode_timestamp, InterBase6);
    STUB(isc_encode_sql_date, InterBase6);
    STUB(isc_encode_sql_time, InterBase6);
    STUB(isc_encode_timestamp, InterBase6);
  }

  if (Optional(*library, Fisc_get_client_version, "isc_get_client_version")) {
    REQUIRE(isc_get_client_major_version);
    REQUIRE(isc_get_client_minor_version);
    const int major = Fisc_get_client_major_version.function();
    const int minor = Fisc_get_client_minor_version.function();
    client_version = std::llround((major + minor / 10.0) * 10000.0);
  } else {
    STUB(isc_get_client_version, InterBase70);
    STUB(isc_get_client_major_version, InterBase70);
    STUB(isc_get_client_minor_version, InterBase70);
  }

  if (client_version >= 70000) {
    REQUIRE(isc_array_gen_sdl2);
    REQUIRE(isc_array_get_slice2);
    REQUIRE(isc_array_lookup_bounds2);
    REQUIRE(isc_array_lookup_desc2);
    REQUIRE(isc_array_set_desc2);
    REQUIRE(isc_array_put_slice2);
    REQUIRE(isc_blob_default_desc2);
    REQUIRE(isc_blob_gen_bpb2);
    REQUIRE(isc_blob_lookup_desc2);
    REQUIRE(isc_blob_set_desc2);
  } else {
    STUB(isc_array_gen_sdl2, InterBase70);
    STUB(isc_array_get_slice2, InterBase70);
    STUB(isc_array_lookup_bounds2, InterBase70);
    STUB(isc_array_lookup_desc2, InterBase70);
    STUB(isc_array_set_desc2, InterBase70);
    STUB(isc_array_put_slice2, InterBase70);
    STUB(isc_blob_default_desc2, InterBase70);
    STUB(isc_blob_gen_bpb2, InterBase70);
    STUB(isc_blob_lookup_desc2, InterBase70);
    STUB(isc_blob_set_desc2, InterBase70);
  }
  if (client_version >= 71000) {
    REQUIRE(isc_release_savepoint);
    REQUIRE(isc_rollback_savepoint);
    REQUIRE(isc_start_savepoint);
  } else {
    STUB(isc_release_savepoint, InterBase71);
    STUB(isc_rollback_savepoint, InterBase71);
    STUB(isc_start_savepoint, InterBase71);
  }
  if (client_version >= 80000) {
    REQUIRE(isc_dsql_batch_execute_immed);
    REQUIRE(isc_dsql_batch_execute);
  } else {
    STUB(isc_dsql_batch_execute_immed, InterBase2007);
    STUB(isc_dsql_batch_execute, InterBase2007);
  }
}

void TDynamicLibrary::State::ResolveXml() {
  xml_library.reset(DynamicLibrary::Load(xml_library_name));
  if (xml_library) {
    Require(*xml_library, Fisc_dsql_xml_fetch, "isc_dsql_xml_fetch");
    Require(*xml_library, Fisc_dsql_xml_fetch_all, "isc_dsql_xml_fetch_all");
    Require(*xml_library, Fisc_dsql_xml_buffer_fetch, "isc_dsql_xml_buffer_fetch");
  } else {
    STUB(isc_dsql_xml_fetch, InterBase65);
    STUB(isc_dsql_xml_fetch_all, InterBase65);
    STUB(isc_dsql_xml_buffer_fetch, InterBase65);
  }
}

#undef REQUIRE
#undef STUB

const std::string& ClientLibraryName() {
  static const std::string name = FBWARM_CLIENT_LIBRARY;
  return name;
}

const std::string& XmlLibraryName() {
  static const std::string name = FBWARM_XML_LIBRARY;
  return name;
}

const std::string& ClientLibraryPackage() {
  static const std::string name = FBWARM_CLIENT_PACKAGE;
  return name;
}

std::shared_ptr<IGDSLibrary> SharedClientLibrary() {
  static const std::shared_ptr<IGDSLibrary> shared = std::make_shared<TDynamicLibrary>();
  return shared;
}

TDynamicLibrary::TDynamicLibrary() : TDynamicLibrary(ClientLibraryName(), XmlLibraryName()) {}

TDynamicLibrary::TDynamicLibrary(std::string library_name, std::string xml_library_name)
    : state_(std::make_unique<State>()) {
  state_->library_name = std::move(library_name);
  state_->xml_library_name = std::move(xml_library_name);
}

TDynamicLibrary::~TDynamicLibrary() = default;

void TDynamicLibrary::LoadIBLibrary() {
  State& s = *state_;
  s.library.reset(DynamicLibrary::Load(s.library_name));
  if (!s.library) return;
  s.Resolve();
  s.ResolveXml();
}

void TDynamicLibrary::FreeIBLibrary() {
  // The platform keeps the files mapped; the binding only lets go of them, so a later
  // request loads and resolves afresh.
  state_->library.reset();
  state_->xml_library.reset();
  state_->incomplete = false;
}

bool TDynamicLibrary::TryIBLoad() {
  if (state_->incomplete) state_->RaiseIncomplete();
  if (!state_->library) LoadIBLibrary();
  return state_->library != nullptr;
}

void TDynamicLibrary::CheckIBLoaded() {
  if (!TryIBLoad())
    RaiseClientLibraryMissing(state_->library_name, DynamicLibrary::LastError().text);
}

double TDynamicLibrary::GetIBClientVersion() {
  CheckIBLoaded();
  return static_cast<double>(state_->client_version);
}

int64_t TDynamicLibrary::ClientVersion() const { return state_->client_version; }

bool TDynamicLibrary::XmlLibraryLoaded() const { return state_->xml_library != nullptr; }

#define GDS_DEFINE_OPERATION(result, name, params, args) \
  result TDynamicLibrary::name params { return state_->Entry(state_->F##name, #name) args; }
GDS_ENTRY_POINTS(GDS_DEFINE_OPERATION)
GDS_XML_ENTRY_POINTS(GDS_DEFINE_OPERATION)
#undef GDS_DEFINE_OPERATION

ISC_LONG TDynamicLibrary::isc_event_block(ISC_UCHAR** event_buffer, ISC_UCHAR** result_buffer,
                                          ISC_USHORT count, const ISC_SCHAR* const* names) {
  // The C function reads `count` names from its variable arguments; at most 15 are allowed.
  const EventBlockFunction function = state_->Entry(state_->Fisc_event_block, "isc_event_block");
  const ISC_USHORT passed = count < 15 ? count : 15;
  const ISC_SCHAR* n[15] = {};
  for (int i = 0; i < passed; ++i) n[i] = names[i];
  return function(event_buffer, result_buffer, passed, n[0], n[1], n[2], n[3], n[4], n[5], n[6],
                  n[7], n[8], n[9], n[10], n[11], n[12], n[13], n[14]);
}
