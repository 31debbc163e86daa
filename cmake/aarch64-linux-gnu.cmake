# Cross-compiles brivel for Linux on ARM64 (Debian: g++-aarch64-linux-gnu);
# see linux-cross.cmake.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(BRIVEL_CROSS_PREFIX aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
