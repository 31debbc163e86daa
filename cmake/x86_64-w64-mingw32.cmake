# Cross-compiles brivel for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64):
#
#   cmake --preset win64
#   cmake --build build-win64
#
# The result, build-win64/brivel.exe, is a 64-bit console program linked
# statically, so it needs no DLL beyond those every Windows has. It runs on
# 64-bit Windows only. See windows-cross.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRIVEL_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows-cross.cmake)
