// The list of client-library entry points that the binding offers, one X(...) row each:
// X(result type, name, (parameters), (arguments)). Types and parameter order are those of the
// published C interface; the binding, its interface and its tests all expand this one list.
#pragma once

#include <ibase.h>

// Types of the InterBase-only extensions that Firebird's header does not declare. Nothing in
// this program looks inside them, so they stay incomplete.
namespace interbase {
struct ISC_ARRAY_DESC_V2;
struct ISC_BLOB_DESC_V2;
struct IB_XMLDA;
}  // namespace interbase

// Entry points that Firebird's ibase.h declares; the binding checks each row against it.
#define GDS_DECLARED_ENTRY_POINTS(X)                                                             \
  X(int, BLOB_get, (FB_BLOB_STREAM stream), (stream))                                            \
  X(int, BLOB_put, (ISC_SCHAR c, FB_BLOB_STREAM stream), (c, stream))                            \
  X(ISC_LONG, isc_sqlcode, (const ISC_STATUS* status_vector), (status_vector))                   \
  X(void, isc_sql_interprete, (short sqlcode, ISC_SCHAR* buffer, short buffer_length),           \
    (sqlcode, buffer, buffer_length))                                                            \
  X(ISC_LONG, isc_interprete, (ISC_SCHAR * buffer, ISC_STATUS * *position), (buffer, position))  \
  X(ISC_LONG, isc_vax_integer, (const ISC_SCHAR* buffer, short length), (buffer, length))        \
  X(ISC_STATUS, isc_blob_info,                                                                   \
    (ISC_STATUS * status_vector, isc_blob_handle * blob, short items_length,                     \
     const ISC_SCHAR* items, short buffer_length, ISC_SCHAR* buffer),                            \
    (status_vector, blob, items_length, items, buffer_length, buffer))                           \
  X(ISC_STATUS, isc_open_blob2,                                                                  \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, isc_blob_handle * blob, \
     ISC_QUAD * blob_id, ISC_USHORT bpb_length, const ISC_UCHAR* bpb),                           \
    (status_vector, db, tr, blob, blob_id, bpb_length, bpb))                                     \
  X(ISC_STATUS, isc_close_blob, (ISC_STATUS * status_vector, isc_blob_handle * blob),            \
    (status_vector, blob))                                                                       \
  X(ISC_STATUS, isc_get_segment,                                                                 \
    (ISC_STATUS * status_vector, isc_blob_handle * blob, unsigned short* actual_length,          \
     unsigned short buffer_length, ISC_SCHAR* buffer),                                           \
    (status_vector, blob, actual_length, buffer_length, buffer))                                 \
  X(ISC_STATUS, isc_put_segment,                                                                 \
    (ISC_STATUS * status_vector, isc_blob_handle * blob, unsigned short length,                  \
     const ISC_SCHAR* buffer),                                                                   \
    (status_vector, blob, length, buffer))                                                       \
  X(ISC_STATUS, isc_create_blob2,                                                                \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, isc_blob_handle * blob, \
     ISC_QUAD * blob_id, short bpb_length, const ISC_SCHAR* bpb),                                \
    (status_vector, db, tr, blob, blob_id, bpb_length, bpb))                                     \
  X(ISC_STATUS, isc_cancel_blob, (ISC_STATUS * status_vector, isc_blob_handle * blob),           \
    (status_vector, blob))                                                                       \
  X(ISC_STATUS, isc_array_gen_sdl,                                                               \
    (ISC_STATUS * status_vector, const ISC_ARRAY_DESC* desc, ISC_SHORT* sdl_buffer_length,       \
     ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length),                                              \
    (status_vector, desc, sdl_buffer_length, sdl_buffer, sdl_length))                            \
  X(ISC_STATUS, isc_array_get_slice,                                                             \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, ISC_QUAD * array_id,    \
     const ISC_ARRAY_DESC* desc, void* slice, ISC_LONG* slice_length),                           \
    (status_vector, db, tr, array_id, desc, slice, slice_length))                                \
  X(ISC_STATUS, isc_array_lookup_bounds,                                                         \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, const ISC_SCHAR* table, \
     const ISC_SCHAR* column, ISC_ARRAY_DESC* desc),                                             \
    (status_vector, db, tr, table, column, desc))                                                \
  X(ISC_STATUS, isc_array_lookup_desc,                                                           \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, const ISC_SCHAR* table, \
     const ISC_SCHAR* column, ISC_ARRAY_DESC* desc),                                             \
    (status_vector, db, tr, table, column, desc))                                                \
  X(ISC_STATUS, isc_array_set_desc,                                                              \
    (ISC_STATUS * status_vector, const ISC_SCHAR* table, const ISC_SCHAR* column,                \
     const short* sql_dtype, const short* sql_length, const short* dimensions,                   \
     ISC_ARRAY_DESC* desc),                                                                      \
    (status_vector, table, column, sql_dtype, sql_length, dimensions, desc))                     \
  X(ISC_STATUS, isc_array_put_slice,                                                             \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, ISC_QUAD * array_id,    \
     const ISC_ARRAY_DESC* desc, void* slice, ISC_LONG* slice_length),                           \
    (status_vector, db, tr, array_id, desc, slice, slice_length))                                \
  X(void, isc_blob_default_desc,                                                                 \
    (ISC_BLOB_DESC * desc, const ISC_UCHAR* table, const ISC_UCHAR* column),                     \
    (desc, table, column))                                                                       \
  X(ISC_STATUS, isc_blob_gen_bpb,                                                                \
    (ISC_STATUS * status_vector, const ISC_BLOB_DESC* to_desc, const ISC_BLOB_DESC* from_desc,   \
     unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length),       \
    (status_vector, to_desc, from_desc, bpb_buffer_length, bpb_buffer, bpb_length))              \
  X(ISC_STATUS, isc_blob_lookup_desc,                                                            \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, const ISC_UCHAR* table, \
     const ISC_UCHAR* column, ISC_BLOB_DESC* desc, ISC_UCHAR* global),                           \
    (status_vector, db, tr, table, column, desc, global))                                        \
  X(ISC_STATUS, isc_blob_set_desc,                                                               \
    (ISC_STATUS * status_vector, const ISC_UCHAR* table, const ISC_UCHAR* column, short subtype, \
     short charset, short segment_size, ISC_BLOB_DESC* desc),                                    \
    (status_vector, table, column, subtype, charset, segment_size, desc))                        \
  X(void, isc_decode_date, (const ISC_QUAD* date, void* tm), (date, tm))                         \
  X(void, isc_encode_date, (const void* tm, ISC_QUAD* date), (tm, date))                         \
  X(ISC_STATUS, isc_dsql_free_statement,                                                         \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, unsigned short option),                 \
    (status_vector, stmt, option))                                                               \
  X(ISC_STATUS, isc_dsql_execute2,                                                               \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, isc_stmt_handle * stmt,                     \
     unsigned short dialect, const XSQLDA* in_sqlda, const XSQLDA* out_sqlda),                   \
    (status_vector, tr, stmt, dialect, in_sqlda, out_sqlda))                                     \
  X(ISC_STATUS, isc_dsql_execute,                                                                \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, isc_stmt_handle * stmt,                     \
     unsigned short dialect, const XSQLDA* sqlda),                                               \
    (status_vector, tr, stmt, dialect, sqlda))                                                   \
  X(ISC_STATUS, isc_dsql_set_cursor_name,                                                        \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, const ISC_SCHAR* name,                  \
     unsigned short type),                                                                       \
    (status_vector, stmt, name, type))                                                           \
  X(ISC_STATUS, isc_dsql_fetch,                                                                  \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, unsigned short dialect,                 \
     const XSQLDA* sqlda),                                                                       \
    (status_vector, stmt, dialect, sqlda))                                                       \
  X(ISC_STATUS, isc_dsql_sql_info,                                                               \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, short items_length,                     \
     const ISC_SCHAR* items, short buffer_length, ISC_SCHAR* buffer),                            \
    (status_vector, stmt, items_length, items, buffer_length, buffer))                           \
  X(ISC_STATUS, isc_dsql_alloc_statement2,                                                       \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_stmt_handle * stmt),                    \
    (status_vector, db, stmt))                                                                   \
  X(ISC_STATUS, isc_dsql_prepare,                                                                \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, isc_stmt_handle * stmt,                     \
     unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, XSQLDA* sqlda),  \
    (status_vector, tr, stmt, length, statement, dialect, sqlda))                                \
  X(ISC_STATUS, isc_dsql_describe_bind,                                                          \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, unsigned short dialect, XSQLDA* sqlda), \
    (status_vector, stmt, dialect, sqlda))                                                       \
  X(ISC_STATUS, isc_dsql_describe,                                                               \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, unsigned short dialect, XSQLDA* sqlda), \
    (status_vector, stmt, dialect, sqlda))                                                       \
  X(ISC_STATUS, isc_dsql_execute_immediate,                                                      \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, unsigned short length,  \
     const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* sqlda),                   \
    (status_vector, db, tr, length, statement, dialect, sqlda))                                  \
  X(ISC_STATUS, isc_drop_database, (ISC_STATUS * status_vector, isc_db_handle * db),             \
    (status_vector, db))                                                                         \
  X(ISC_STATUS, isc_detach_database, (ISC_STATUS * status_vector, isc_db_handle * db),           \
    (status_vector, db))                                                                         \
  X(ISC_STATUS, isc_attach_database,                                                             \
    (ISC_STATUS * status_vector, short name_length, const ISC_SCHAR* name, isc_db_handle* db,    \
     short dpb_length, const ISC_SCHAR* dpb),                                                    \
    (status_vector, name_length, name, db, dpb_length, dpb))                                     \
  X(ISC_STATUS, isc_database_info,                                                               \
    (ISC_STATUS * status_vector, isc_db_handle * db, short items_length, const ISC_SCHAR* items, \
     short buffer_length, ISC_SCHAR* buffer),                                                    \
    (status_vector, db, items_length, items, buffer_length, buffer))                             \
  X(ISC_STATUS, isc_start_multiple,                                                              \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, short count, void* teb),                    \
    (status_vector, tr, count, teb))                                                             \
  X(ISC_STATUS, isc_commit_transaction, (ISC_STATUS * status_vector, isc_tr_handle * tr),        \
    (status_vector, tr))                                                                         \
  X(ISC_STATUS, isc_commit_retaining, (ISC_STATUS * status_vector, isc_tr_handle * tr),          \
    (status_vector, tr))                                                                         \
  X(ISC_STATUS, isc_rollback_transaction, (ISC_STATUS * status_vector, isc_tr_handle * tr),      \
    (status_vector, tr))                                                                         \
  X(ISC_STATUS, isc_cancel_events,                                                               \
    (ISC_STATUS * status_vector, isc_db_handle * db, ISC_LONG * event_id),                       \
    (status_vector, db, event_id))                                                               \
  X(ISC_STATUS, isc_que_events,                                                                  \
    (ISC_STATUS * status_vector, isc_db_handle * db, ISC_LONG * event_id, short length,          \
     const ISC_UCHAR* event_buffer, ISC_EVENT_CALLBACK callback, void* argument),                \
    (status_vector, db, event_id, length, event_buffer, callback, argument))                     \
  X(void, isc_event_counts,                                                                      \
    (ISC_ULONG * counts, short length, ISC_UCHAR* event_buffer, const ISC_UCHAR* result),        \
    (counts, length, event_buffer, result))                                                      \
  X(ISC_LONG, isc_free, (ISC_SCHAR * block), (block))                                            \
  X(ISC_STATUS, isc_add_user, (ISC_STATUS * status_vector, const USER_SEC_DATA* user),           \
    (status_vector, user))                                                                       \
  X(ISC_STATUS, isc_delete_user, (ISC_STATUS * status_vector, const USER_SEC_DATA* user),        \
    (status_vector, user))                                                                       \
  X(ISC_STATUS, isc_modify_user, (ISC_STATUS * status_vector, const USER_SEC_DATA* user),        \
    (status_vector, user))                                                                       \
  X(ISC_STATUS, isc_prepare_transaction, (ISC_STATUS * status_vector, isc_tr_handle * tr),       \
    (status_vector, tr))                                                                         \
  X(ISC_STATUS, isc_prepare_transaction2,                                                        \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, ISC_USHORT message_length,                  \
     const ISC_UCHAR* message),                                                                  \
    (status_vector, tr, message_length, message))                                                \
  X(ISC_STATUS, isc_transaction_info,                                                            \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, short items_length, const ISC_SCHAR* items, \
     short buffer_length, ISC_SCHAR* buffer),                                                    \
    (status_vector, tr, items_length, items, buffer_length, buffer))                             \
  X(ISC_STATUS, isc_rollback_retaining, (ISC_STATUS * status_vector, isc_tr_handle * tr),        \
    (status_vector, tr))                                                                         \
  X(ISC_STATUS, isc_service_attach,                                                              \
    (ISC_STATUS * status_vector, unsigned short service_length, const ISC_SCHAR* service,        \
     isc_svc_handle* handle, unsigned short spb_length, const ISC_SCHAR* spb),                   \
    (status_vector, service_length, service, handle, spb_length, spb))                           \
  X(ISC_STATUS, isc_service_detach, (ISC_STATUS * status_vector, isc_svc_handle * handle),       \
    (status_vector, handle))                                                                     \
  X(ISC_STATUS, isc_service_query,                                                               \
    (ISC_STATUS * status_vector, isc_svc_handle * handle, isc_resv_handle * recv_handle,         \
     unsigned short send_length, const ISC_SCHAR* send_items, unsigned short request_length,     \
     const ISC_SCHAR* request_items, unsigned short buffer_length, ISC_SCHAR* buffer),           \
    (status_vector, handle, recv_handle, send_length, send_items, request_length, request_items, \
     buffer_length, buffer))                                                                     \
  X(ISC_STATUS, isc_service_start,                                                               \
    (ISC_STATUS * status_vector, isc_svc_handle * handle, isc_resv_handle * recv_handle,         \
     unsigned short request_length, const ISC_SCHAR* request),                                   \
    (status_vector, handle, recv_handle, request_length, request))                               \
  X(void, isc_decode_sql_date, (const ISC_DATE* date, void* tm), (date, tm))                     \
  X(void, isc_decode_sql_time, (const ISC_TIME* time, void* tm), (time, tm))                     \
  X(void, isc_decode_timestamp, (const ISC_TIMESTAMP* timestamp, void* tm), (timestamp, tm))     \
  X(void, isc_encode_sql_date, (const void* tm, ISC_DATE* date), (tm, date))                     \
  X(void, isc_encode_sql_time, (const void* tm, ISC_TIME* time), (tm, time))                     \
  X(void, isc_encode_timestamp, (const void* tm, ISC_TIMESTAMP* timestamp), (tm, timestamp))     \
  X(void, isc_get_client_version, (ISC_SCHAR * buffer), (buffer))                                \
  X(int, isc_get_client_major_version, (), ())                                                   \
  X(int, isc_get_client_minor_version, (), ())

// InterBase-only entry points (7.0 and later, 2007): no Firebird library exports them, so
// Firebird clients get their version stubs. Signatures as InterBase publishes them.
#define GDS_INTERBASE_ENTRY_POINTS(X)                                                            \
  X(ISC_STATUS, isc_array_gen_sdl2,                                                              \
    (ISC_STATUS * status_vector, const interbase::ISC_ARRAY_DESC_V2* desc,                       \
     ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length),                \
    (status_vector, desc, sdl_buffer_length, sdl_buffer, sdl_length))                            \
  X(ISC_STATUS, isc_array_get_slice2,                                                            \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, ISC_QUAD * array_id,    \
     const interbase::ISC_ARRAY_DESC_V2* desc, void* slice, ISC_LONG* slice_length),             \
    (status_vector, db, tr, array_id, desc, slice, slice_length))                                \
  X(ISC_STATUS, isc_array_lookup_bounds2,                                                        \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, const ISC_SCHAR* table, \
     const ISC_SCHAR* column, interbase::ISC_ARRAY_DESC_V2* desc),                               \
    (status_vector, db, tr, table, column, desc))                                                \
  X(ISC_STATUS, isc_array_lookup_desc2,                                                          \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, const ISC_SCHAR* table, \
     const ISC_SCHAR* column, interbase::ISC_ARRAY_DESC_V2* desc),                               \
    (status_vector, db, tr, table, column, desc))                                                \
  X(ISC_STATUS, isc_array_set_desc2,                                                             \
    (ISC_STATUS * status_vector, const ISC_SCHAR* table, const ISC_SCHAR* column,                \
     const short* sql_dtype, const short* sql_length, const short* dimensions,                   \
     interbase::ISC_ARRAY_DESC_V2* desc),                                                        \
    (status_vector, table, column, sql_dtype, sql_length, dimensions, desc))                     \
  X(ISC_STATUS, isc_array_put_slice2,                                                            \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, ISC_QUAD * array_id,    \
     const interbase::ISC_ARRAY_DESC_V2* desc, void* slice, ISC_LONG* slice_length),             \
    (status_vector, db, tr, array_id, desc, slice, slice_length))                                \
  X(void, isc_blob_default_desc2,                                                                \
    (interbase::ISC_BLOB_DESC_V2 * desc, const ISC_UCHAR* table, const ISC_UCHAR* column),       \
    (desc, table, column))                                                                       \
  X(ISC_STATUS, isc_blob_gen_bpb2,                                                               \
    (ISC_STATUS * status_vector, const interbase::ISC_BLOB_DESC_V2* to_desc,                     \
     const interbase::ISC_BLOB_DESC_V2* from_desc, unsigned short bpb_buffer_length,             \
     ISC_UCHAR* bpb_buffer, unsigned short* bpb_length),                                         \
    (status_vector, to_desc, from_desc, bpb_buffer_length, bpb_buffer, bpb_length))              \
  X(ISC_STATUS, isc_blob_lookup_desc2,                                                           \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, const ISC_UCHAR* table, \
     const ISC_UCHAR* column, interbase::ISC_BLOB_DESC_V2* desc, ISC_UCHAR* global),             \
    (status_vector, db, tr, table, column, desc, global))                                        \
  X(ISC_STATUS, isc_blob_set_desc2,                                                              \
    (ISC_STATUS * status_vector, const ISC_UCHAR* table, const ISC_UCHAR* column, short subtype, \
     short charset, short segment_size, interbase::ISC_BLOB_DESC_V2* desc),                      \
    (status_vector, table, column, subtype, charset, segment_size, desc))                        \
  X(ISC_STATUS, isc_release_savepoint,                                                           \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, const ISC_SCHAR* name),                     \
    (status_vector, tr, name))                                                                   \
  X(ISC_STATUS, isc_rollback_savepoint,                                                          \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, const ISC_SCHAR* name,                      \
     unsigned short option),                                                                     \
    (status_vector, tr, name, option))                                                           \
  X(ISC_STATUS, isc_start_savepoint,                                                             \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, const ISC_SCHAR* name),                     \
    (status_vector, tr, name))                                                                   \
  X(ISC_STATUS, isc_dsql_batch_execute_immed,                                                    \
    (ISC_STATUS * status_vector, isc_db_handle * db, isc_tr_handle * tr, unsigned short dialect, \
     ISC_ULONG count, ISC_SCHAR** statements, ISC_ULONG* rows),                                  \
    (status_vector, db, tr, dialect, count, statements, rows))                                   \
  X(ISC_STATUS, isc_dsql_batch_execute,                                                          \
    (ISC_STATUS * status_vector, isc_tr_handle * tr, isc_stmt_handle * stmt,                     \
     unsigned short dialect, XSQLDA* sqlda, unsigned short count, XSQLVAR** vars,                \
     ISC_ULONG* rows),                                                                           \
    (status_vector, tr, stmt, dialect, sqlda, count, vars, rows))

// Every entry point that is an operation of IGDSLibrary. isc_event_block is one too, but its
// C form takes a variable argument list and is written out by hand.
#define GDS_ENTRY_POINTS(X) GDS_DECLARED_ENTRY_POINTS(X) GDS_INTERBASE_ENTRY_POINTS(X)

// The XML extension library's entry points (InterBase 6.5 and later).
#define GDS_XML_ENTRY_POINTS(X)                                                                 \
  X(int, isc_dsql_xml_fetch,                                                                    \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, unsigned short dialect, XSQLDA* sqlda, \
     interbase::IB_XMLDA* xmlda),                                                               \
    (status_vector, stmt, dialect, sqlda, xmlda))                                               \
  X(int, isc_dsql_xml_fetch_all,                                                                \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, unsigned short dialect, XSQLDA* sqlda, \
     interbase::IB_XMLDA* xmlda),                                                               \
    (status_vector, stmt, dialect, sqlda, xmlda))                                               \
  X(int, isc_dsql_xml_buffer_fetch,                                                             \
    (ISC_STATUS * status_vector, isc_stmt_handle * stmt, ISC_SCHAR * buffer, int buffer_length, \
     unsigned short dialect, XSQLDA* sqlda, ISC_SCHAR* null_marker),                            \
    (status_vector, stmt, buffer, buffer_length, dialect, sqlda, null_marker))
