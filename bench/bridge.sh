#!/usr/bin/env bash
# Bridge timings over ten runs against the tool double, under Wine.
#   bench/bridge.sh BUILD_TREE ARCH
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
rig=$(cd "$(dirname "$0")" && pwd)/../scripts/wine-rig
trap '"$rig" down "$tree" "$arch"' EXIT
"$(dirname "$rig")/wine-exec" "$tree" "$arch" "$tree/bin/bridge_bench.exe" | tr -d '\r'
