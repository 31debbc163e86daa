#!/usr/bin/env bash
# The Linux program: build it with warnings as errors (the CMake preset native,
# with BRIVEL_TESTS=ON: a missing test tool stops the stage rather than leaving
# the tests out), check that only the AVX2 kernel's code holds AVX instructions,
# then run the unit and end-to-end tests.
set -euo pipefail
cmake --preset native
cmake --build build --parallel 2

echo "--- AVX instructions only in the AVX2 kernel's entry points"
# Each kernel's entry point has the whole loop compiled into it, so what the
# portable and SSE2 ones run holds no VEX-encoded (v...) instruction and no
# 32-byte register, which an older processor would die on.
objdump -d --no-show-raw-insn -C build/brivel >build/brivel.disassembly
in_functions() {  # in_functions NAME_PATTERN: the instructions of the functions so named
  awk -v name="$1" '/^[0-9a-f]+ </ { inside = $0 ~ name; if (inside) print "function: " $0; next }
    inside && /\t/' build/brivel.disassembly
}
for kernel in portable sse2 avx2; do
  code=$(in_functions "convert_with_${kernel}_kernel\\(")
  functions=$(grep -c '^function: ' <<<"$code" || true)
  avx=$(grep -cE $'\t''(v[a-z0-9]+ |.*%ymm)' <<<"$code" || true)
  echo "$kernel: $functions entry points, $avx AVX instructions"
  [ "$functions" -ge 1 ] || { echo "10-native: the $kernel entry points are missing" >&2; exit 1; }
  if [ "$kernel" = avx2 ]; then
    [ "$avx" -gt 0 ] || { echo "10-native: no AVX instruction in the AVX2 kernel" >&2; exit 1; }
  else
    [ "$avx" = 0 ] || { echo "10-native: AVX instructions in the $kernel kernel" >&2; exit 1; }
  fi
done

ctest --preset native
