#!/usr/bin/env bash
# The README's commands, run as written (tests/readme_commands.py): the
# builds by preset, the packages, installing into a scratch HOME and
# uninstalling, and the transcripts of brivel and brivel-check compared with
# what the programs write. The earlier stages built everything, so this costs
# little; blocks marked as examples (root, the reader's files, a window) are
# left out and named.
set -euo pipefail
exec </dev/null
python3 tests/readme_commands.py README.md
