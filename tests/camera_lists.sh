#!/usr/bin/env bash
# Writes the camera lists that stages 15 and 40 compare programs on to FILE:
# lists as the benchmark makes them (2 MB of usual lines, 1 MB of lines read
# in pieces), then every input the fuzzers keep (CR LF, lone CRs, NUL bytes
# and Ctrl-Z among them). The inputs that hold a Ctrl-Z come last, since read
# as Windows text the lists end at the first.
#
#   bash tests/camera_lists.sh FILE
set -euo pipefail
out=$1
python3 - "$out" <<'PYTHON'
import sys
sys.path.insert(0, "bench")
import run_bench
run_bench.write_lines(sys.argv[1] + ".usual", 2 * run_bench.MB, run_bench.camera_batch)
run_bench.write_lines(sys.argv[1] + ".long", 1 * run_bench.MB, run_bench.long_line_batch)
PYTHON
corpus=(fuzz/corpus/*/*)
mapfile -t with_ctrl_z < <(grep -l $'\x1a' "${corpus[@]}")
mapfile -t without < <(grep -L $'\x1a' "${corpus[@]}")
if ! ((${#with_ctrl_z[@]} > 0 && ${#with_ctrl_z[@]} + ${#without[@]} == ${#corpus[@]})); then
  echo "camera_lists.sh: cannot sort out the fuzzers' inputs" >&2
  exit 1
fi
cat "$out.usual" "$out.long" "${without[@]}" "${with_ctrl_z[@]}" >"$out"
rm "$out.usual" "$out.long"
