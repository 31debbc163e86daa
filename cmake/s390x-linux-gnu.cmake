# Cross-compiles brivel for Linux on IBM Z, a big-endian machine (Debian:
# g++-s390x-linux-gnu); see linux-cross.cmake.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(BRIVEL_CROSS_PREFIX s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
