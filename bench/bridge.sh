#!/usr/bin/env bash
# Bridge timings over ten runs against the tool double, under Wine.
#   bench/bridge.sh BUILD_TREE ARCH
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
if [ "${RIG_TREE:-}" != "$tree" ]; then
  exec "$scripts/wine-rig" run "$tree" "$arch" -- "$0" "$@"
fi
echo "$RIG_LANE"
"$scripts/wine-exec" "$tree" "$arch" "$tree/bin/bridge_bench.exe" | tr -d '\r'
