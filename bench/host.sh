#!/usr/bin/env bash
# End-to-end host figures: bridge-host start to "startcapture" and stop to the end of
# the bridge with the recording closed, median and worst over ten runs under Wine.
#   bench/host.sh BUILD_TREE ARCH
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
here=$(cd "$(dirname "$0")" && pwd)
rig=$here/../scripts/wine-rig

"$rig" up "$tree" "$arch"
eval "$("$rig" env "$tree" "$arch")"
out=$(mktemp)
trap 'rm -f "$out"; "$rig" down "$tree" "$arch"' EXIT
status=0
"$WINE" "$tree/bin/host_bench.exe" </dev/null >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
exit $status
