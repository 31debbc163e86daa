#!/usr/bin/env bash
# Every unit and end-to-end test again, against a build with AddressSanitizer
# and UndefinedBehaviorSanitizer (the CMake preset asan). The first finding
# aborts its test, so any finding fails the stage.
set -euo pipefail
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1
cmake --preset asan
cmake --build build-asan --parallel 2
ctest --preset asan
