#!/usr/bin/env bash
# Builds brivel and runs every test: each stage under tests/stages, in order.
# Installs missing build and test tools first when run as root (see .ci/install-deps).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  bash .ci/install-deps
fi

for stage in tests/stages/*.sh; do
  echo "=== ${stage#tests/stages/}"
  start=$SECONDS
  bash "$stage"
  echo "=== ${stage#tests/stages/} passed in $((SECONDS - start)) s"
done
echo "=== all stages passed in $SECONDS s"
