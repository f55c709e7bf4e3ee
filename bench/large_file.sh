#!/usr/bin/env bash
# On demand, not part of `make test`: a recording of more than 4 GiB, written through
# the tool's own AVI writer (synthetic 1920x1080 frames, large_file_bench.cpp) into the
# tree's Wine prefix, then read by the host's completeness check, by ffprobe (every
# packet counted, the duration) and by ffmpeg (a decode from a seek into the last
# segment, found through the indexes). Prints the file's size, duration and the times;
# the file is removed afterwards, whatever the outcome. Needs about 5 GB free.
#   bench/large_file.sh BUILD_TREE ARCH
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
if [ "${RIG_TREE:-}" != "$tree" ]; then
  exec "$scripts/wine-rig" run "$tree" "$arch" -- "$0" "$@"
fi
echo "$RIG_LANE"
dir=$(mktemp -d "$tree/wine-rig/large-file.XXXXXX")
trap 'rm -rf "$dir"' EXIT
video=$dir/large.avi
started=$(date +%s.%N)
# Into a file: Wine's services started with the program would hold a pipe open.
"$WINE" "$tree/bin/large_file_bench.exe" "Z:${video//\//\\}" </dev/null >"$dir/out" 2>&1 ||
  { tr -d '\r' <"$dir/out"; exit 1; }
tr -d '\r' <"$dir/out"
wrote=$(date +%s.%N)
probe=$(ffprobe -v error -count_packets -select_streams v:0 \
  -show_entries stream=nb_frames,nb_read_packets,duration -of default=noprint_wrappers=1 "$video")
probed=$(date +%s.%N)
echo "ffprobe: $(echo "$probe" | tr '\n' ' ')"
duration=$(echo "$probe" | sed -n 's/^duration=//p')
tail_from=$(awk -v d="$duration" 'BEGIN { printf "%.2f", d - 10 }')
said=$(ffmpeg -v error -ss "$tail_from" -i "$video" -f null - 2>&1)
decoded=$(date +%s.%N)
[ -z "$said" ] || { echo "ffmpeg from $tail_from s: $said"; exit 1; }
awk -v a="$started" -v b="$wrote" -v c="$probed" -v d="$decoded" -v s="$(stat -c %s "$video")" \
  'BEGIN { printf "file %.2f GiB; write and host check %.1f s, ffprobe of every packet %.1f s, " \
           "ffmpeg decode of the last 10 s %.1f s\n", s / 2^30, b - a, c - b, d - c }'
