# Cross-compiles brivel for Linux on 32-bit x86 (Debian: g++-i686-linux-gnu);
# see linux-cross.cmake. Its default processor, like MinGW's for the 32-bit
# Windows program, has no SSE2.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRIVEL_CROSS_PREFIX i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
