# Settings of the Windows build.

# fbwarm.exe and the test programs carry the mingw runtime, so they run without extra DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

# Firebird's published header ibase.h is the same for every platform; a cross build takes the
# build machine's copy (Debian's firebird-dev) without the rest of that machine's headers.
find_file(FBWARM_IBASE_H ibase.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT FBWARM_IBASE_H)
  message(FATAL_ERROR "ibase.h not found: install Debian's firebird-dev (scripts/windows-deps)")
endif()
configure_file(${FBWARM_IBASE_H} ${CMAKE_BINARY_DIR}/firebird-include/ibase.h COPYONLY)
include_directories(SYSTEM ${CMAKE_BINARY_DIR}/firebird-include)
