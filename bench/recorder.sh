#!/usr/bin/env bash
# Recording throughput, all in one run on one Xvfb display: the tool's capture path
# and a bare BitBlt loop (the Windows bench under Wine), then ffmpeg's x11grab natively
# on the same display and regions, with the ratios; then the bytes a minute of a still
# window and of a moving one take, and whether 15 fps hold at 1920x1080 on the moving
# scene.
#   bench/recorder.sh BUILD_TREE ARCH
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
grab_seconds=4
if [ "${RIG_TREE:-}" != "$tree" ]; then
  exec "$scripts/wine-rig" run "$tree" "$arch" -- "$0" "$@"
fi
echo "$RIG_LANE"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$WINE" "$tree/bin/recorder_bench.exe" </dev/null >"$out" 2>&1 || { cat "$out"; exit 1; }
tr -d '\r' <"$out" >"$out.clean" && mv "$out.clean" "$out"

x11grab_fps() {
  local frames
  # Passthrough: count the frames grabbed, not copies made to fill the nominal rate.
  frames=$(ffmpeg -hide_banner -f x11grab -framerate 1000 -video_size "$1" \
    -i "$DISPLAY+0,0" -t "$grab_seconds" -fps_mode passthrough -f null - 2>&1 </dev/null |
    grep -o 'frame= *[0-9]*' | tail -1 | grep -o '[0-9]*$')
  awk -v f="${frames:-0}" -v s="$grab_seconds" 'BEGIN { printf "%.1f", f / s }'
}

printf '%-10s %10s %12s %12s %8s %8s %8s %11s %8s\n' region bitblt_fps capture_fps \
  x11grab_fps cap/blt cap/x11 blt/x11 bytes/s@15 quality
while read -r _ size _ bitblt _ capture _ ratio _ bytes _ quality _ encode; do
  grab=$(x11grab_fps "$size")
  awk -v s="$size" -v b="$bitblt" -v c="$capture" -v g="$grab" -v r="$ratio" -v y="$bytes" \
    -v q="$quality" \
    'BEGIN { printf "%-10s %10.1f %12.1f %12.1f %8.2f %8.2f %8.2f %11.0f %8d\n", s, b, c, g, r,
             (g > 0 ? c / g : 0), (g > 0 ? b / g : 0), y, q }'
  echo "           (encoder alone: $encode fps)"
done < <(grep '^size ' "$out")
# Bytes a minute of recording takes, a still window against a moving one (the
# still's share is the figure: unchanged slots cost an empty chunk each).
grep '^per_minute ' "$out" | sed 's/^per_minute /per minute: /'
awk '$1 == "per_minute" { b[$2] = $NF }
     END { if (b["moving"] > 0)
             printf "per minute: still / moving %.4f\n", b["still"] / b["moving"] }' "$out"
grep '^paced ' "$out"
