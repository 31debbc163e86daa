# Cross-compiles brivel for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64):
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
#   cmake --build build-win64
#
# The result, build-win64/brivel.exe, is a 64-bit console program linked
# statically, so it needs no DLL beyond those every Windows has. It runs on
# 64-bit Windows only; the 32-bit program (i686-w64-mingw32.cmake) runs on all.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRIVEL_MINGW_PREFIX x86_64-w64-mingw32)
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
