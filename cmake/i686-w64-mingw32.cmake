# Cross-compiles brivel for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686):
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
#   cmake --build build-win32
#
# The result, build-win32/brivel.exe, is a 32-bit console program linked
# statically, so it needs no DLL beyond those every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(BRIVEL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${BRIVEL_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${BRIVEL_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${BRIVEL_MINGW_PREFIX}-windres)

# Headers and libraries come from the cross toolchain only; programs run at
# build time are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${BRIVEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++ and libgcc go into the executable, so a bare Windows runs it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
