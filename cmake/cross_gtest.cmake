# GoogleTest for a cross build: Debian ships its sources, which are compiled here with the
# target's compiler into the same GTest:: targets that find_package(GTest) gives a native build.
set(FBWARM_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${FBWARM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Listing the tests of a cross-built program needs the emulator: do it when ctest runs, so that
# building needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
