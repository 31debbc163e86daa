# What the Windows cross builds share (i686-w64-mingw32.cmake and
# x86_64-w64-mingw32.cmake set BRIVEL_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR,
# then include this): the MinGW-w64 cross compiler g++-<prefix>, headers and
# libraries from its folder, and a program linked statically, so that a bare
# Windows runs it with no DLL beyond those every Windows has.
set(CMAKE_SYSTEM_NAME Windows)

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

# libstdc++ and libgcc go into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
