#!/usr/bin/env bash
# Builds brivel and runs every test: each stage under tests/stages, in order.
# Installs missing build and test tools first when run as root (see .ci/install-deps);
# as another user on Debian, names those missing and stops.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  bash .ci/install-deps
elif command -v dpkg >/dev/null; then
  # On Debian, a missing tool is named now rather than by the stage that needs it.
  bash .ci/install-deps --check
fi

for stage in tests/stages/*.sh; do
  echo "=== ${stage#tests/stages/}"
  start=$SECONDS
  bash "$stage"
  echo "=== ${stage#tests/stages/} passed in $((SECONDS - start)) s"
done
echo "=== all stages passed in $SECONDS s"
