# What the Linux cross builds share (aarch64-linux-gnu.cmake and its siblings
# set BRIVEL_CROSS_PREFIX and CMAKE_SYSTEM_PROCESSOR, then include this): the
# Debian cross compiler g++-<prefix>, headers and libraries from its folder,
# and a static program, which qemu-user runs with no target libraries at hand:
#
#   cmake --preset s390x
#   cmake --build build-s390x --target brivel
#   qemu-s390x-static build-s390x/brivel < examples/cameras.txt
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${BRIVEL_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${BRIVEL_CROSS_PREFIX}-g++)

# Headers and libraries come from the cross toolchain only; programs run at
# build time are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${BRIVEL_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
