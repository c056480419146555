# Groups of entry-point names of the stand-in client library, shared by the ELF build
# (tests/standin) and the Windows DLL build (tests/windows).

# The answers and the script language the stand-in shares with the in-process fake of the unit
# tests (tests/support).
set(STANDIN_DOUBLES
  ${PROJECT_SOURCE_DIR}/tests/support/client_double.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/service_double.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/database_double.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/double_script.cpp)

# The entry points that standin.cpp defines itself; every other one has the default body of
# defaults.cpp. The Windows build exports these under their own names.
set(STANDIN_SCRIPTED
  isc_service_attach isc_service_detach isc_service_start isc_service_query
  isc_attach_database isc_detach_database isc_database_info
  isc_start_multiple isc_commit_transaction isc_rollback_transaction
  isc_dsql_alloc_statement2 isc_dsql_prepare isc_dsql_describe isc_dsql_execute isc_dsql_fetch
  isc_dsql_free_statement
  isc_sqlcode isc_interprete isc_vax_integer
  isc_get_client_version isc_get_client_major_version isc_get_client_minor_version)

# The names that variants leave out.
set(STANDIN_VERSION_FUNCTIONS
  isc_get_client_version isc_get_client_major_version isc_get_client_minor_version)
set(STANDIN_INTERBASE_70
  isc_array_gen_sdl2 isc_array_get_slice2 isc_array_lookup_bounds2 isc_array_lookup_desc2
  isc_array_set_desc2 isc_array_put_slice2 isc_blob_default_desc2 isc_blob_gen_bpb2
  isc_blob_lookup_desc2 isc_blob_set_desc2)
set(STANDIN_INTERBASE_71 isc_release_savepoint isc_rollback_savepoint isc_start_savepoint)
set(STANDIN_INTERBASE_2007 isc_dsql_batch_execute_immed isc_dsql_batch_execute)
set(STANDIN_INTERBASE_ONLY ${STANDIN_INTERBASE_70} ${STANDIN_INTERBASE_71} ${STANDIN_INTERBASE_2007})
