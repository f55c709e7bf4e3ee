#!/usr/bin/env bash
# The SDK's GUI sample (sdk/examples/gui_host.c) records its own window for a few
# seconds while a 20 ms timer repaints it: the longest gap between two ticks says
# whether the client ever blocked the window's thread, and the share of distinct
# frames whether the recording shows the repaints. Aims: no gap over 100 ms, more than
# 80 % distinct.
#   bench/gui.sh BUILD_TREE ARCH [SECONDS]
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
seconds=${3:-5}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
if [ "${RIG_TREE:-}" != "$tree" ]; then
  exec "$scripts/wine-rig" run "$tree" "$arch" -- "$0" "$@"
fi
. "$tree/contract.sh"
echo "$RIG_LANE"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/$PACKAGE_TOOL_FOLDER"
cp "$tree/bin/$RECORDER_EXE" "$work/$PACKAGE_TOOL_FOLDER"
cp "$tree/bin/$BRIDGE_EXE" "$tree/bin/gui_host.exe" "$work/"
status=0
(cd "$work" && "$WINE" gui_host.exe "$seconds" </dev/null >out 2>&1) || status=$?
tr -d '\r' <"$work/out"
[ "$status" -eq 0 ] || exit "$status"
recording=$(ls "$work/$RECORDINGS_FOLDER"/*"$RECORDING_EXTENSION")
ffmpeg -v error -i "$recording" -f framemd5 - 2>/dev/null | grep -v '^#' |
  awk -F', *' '{ seen[$6] = 1; frames++ }
    END { n = 0; for (h in seen) n++
          printf "distinct frames: %d of %d (%.0f %%)\n", n, frames, frames ? 100 * n / frames : 0 }'
