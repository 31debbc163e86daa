#!/usr/bin/env bash
# The Linux program: build it with warnings as errors, then run the unit and end-to-end tests.
set -euo pipefail
# BRIVEL_TESTS=ON: a missing test tool stops the stage rather than leaving the tests out.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror -DBRIVEL_TESTS=ON
cmake --build build --parallel 2
ctest --test-dir build --output-on-failure
