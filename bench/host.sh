#!/usr/bin/env bash
# End-to-end host figures: bridge-host start to "startcapture" and stop to the end of
# the bridge with the recording closed, median and worst over ten runs under Wine.
#   bench/host.sh BUILD_TREE ARCH
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
if [ "${RIG_TREE:-}" != "$tree" ]; then
  exec "$scripts/wine-rig" run "$tree" "$arch" -- "$0" "$@"
fi
echo "$RIG_LANE"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
"$WINE" "$tree/bin/host_bench.exe" </dev/null >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
exit $status
