# Cross-compiles brivel for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686):
#
#   cmake --preset win32
#   cmake --build build-win32
#
# The result, build-win32/brivel.exe, is a 32-bit console program linked
# statically, so it needs no DLL beyond those every Windows has; it runs on
# 32-bit and 64-bit Windows alike. See windows-cross.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRIVEL_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows-cross.cmake)
