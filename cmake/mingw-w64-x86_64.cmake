# Cross-builds fbwarm for 64-bit Windows with Debian's mingw-w64 (posix thread model), so that
# std::thread and std::mutex work. Tests of the result run under Wine.
# The windows preset of CMakePresets.json uses it (build-win/).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FBWARM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FBWARM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FBWARM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FBWARM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FBWARM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and test discovery start the .exe files through Wine, by way of wine-run (it starts a
# program again that Wine ended before it wrote anything).
find_program(FBWARM_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${FBWARM_WINE})
