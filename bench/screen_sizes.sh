#!/usr/bin/env bash
# Recording the whole screen at 1920x1080, 2560x1440 and 3840x2160, one rig run (its own
# Xvfb display of that size) each: BitBlt alone, the capture path flat out and its ratio
# to BitBlt, what one screen read takes alone and inside the session, a paced 10 s
# recording of a moving full-screen window (pictures, repeats, bytes per minute and per
# hour), the peak of captured pictures in flight, and the JPEG encoder against ffmpeg's
# MJPEG encoder on the same captured frame: ffmpeg's bytes at the encoder's PSNR (RGB,
# interpolated between its nearest two -q:v), and pictures per second of processor time
# (the encoder as built, under Wine; ffmpeg native, one thread).
#   bench/screen_sizes.sh BUILD_TREE ARCH [WxH...]
set -euo pipefail
tree=$(cd "${1:?build tree}" && pwd)
arch=${2:?arch}
shift 2
sizes=${*:-1920x1080 2560x1440 3840x2160}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ffmpeg's PSNR (average over R, G and B) of a picture against the captured frame.
psnr() {
  ffmpeg -hide_banner -f rawvideo -pix_fmt bgr0 -s "$1" -i "$work/frame.bgr0" -i "$2" \
    -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' -f null - 2>&1 </dev/null |
    sed -n 's/.*PSNR r:[0-9.inf]* g:[0-9.inf]* b:[0-9.inf]* average:\([0-9.]*\).*/\1/p'
}

mjpeg() {
  ffmpeg -hide_banner -v error -f rawvideo -pix_fmt bgr0 -s "$1" -i "$work/frame.bgr0" \
    -c:v mjpeg -pix_fmt yuvj420p -q:v "$2" -frames:v 1 -y "$3" </dev/null
}

# ffmpeg's pictures per second of processor time, one thread, 20 pictures.
mjpeg_rate() {
  local seconds
  seconds=$(ffmpeg -hide_banner -benchmark -threads 1 -f rawvideo -pix_fmt bgr0 -s "$1" \
    -stream_loop 19 -i "$work/frame.bgr0" -c:v mjpeg -pix_fmt yuvj420p -q:v "$2" \
    -threads 1 -f null - 2>&1 </dev/null | sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p')
  awk -v s="$seconds" 'BEGIN { printf "%.1f", (s > 0 ? 20 / s : 0) }'
}

printf '%s\n' "$("$scripts/lane" line 2>/dev/null || echo "lane: $arch")"
echo "machine: $(nproc) processors"
for size in $sizes; do
  out=$work/$size.txt
  (cd "$work" && RIG_SCREEN=$size "$scripts/wine-rig" run "$tree" "$arch" -- \
    sh -c '"$WINE" "$0/bin/recorder_bench.exe" screen' "$tree" </dev/null >"$out" 2>&1) ||
    { cat "$out"; exit 1; }
  tr -d '\r' <"$out" >"$out.clean" && mv "$out.clean" "$out"
  read -r _ shown _ processors _ encoders _ picture <<<"$(grep '^screen ' "$out")"
  [ "$shown" = "$size" ] || { echo "the display came up at $shown, not $size" >&2; exit 1; }
  read -r _ _ bitblt _ capture _ ratio _ flat_peak _ flat_read <<<"$(grep '^flat_out ' "$out")"
  read -r _ _ seconds _ slots _ pictures _ repeats _ dropped _ per_minute _ paced_peak _ paced_read \
    <<<"$(grep '^paced ' "$out")"
  read -r _ _ quality _ bytes _ rate <<<"$(grep '^encoder ' "$out")"
  echo
  echo "$size: $processors processors, encoder threads: $encoders; one picture: $picture bytes"
  echo "  BitBlt alone           $bitblt pictures/s"
  echo "  capture path flat out  $capture pictures/s, $ratio of BitBlt"
  awk -v b="$bitblt" -v f="$flat_read" -v p="$paced_read" 'BEGIN {
    printf "  one screen read        %.1f ms alone, %s ms in the session flat out, %s ms paced\n",
      (b > 0 ? 1000 / b : 0), f, p }'
  echo "  paced, moving window   $pictures pictures and $repeats repeats in $slots slots, $seconds s ($dropped dropped)"
  awk -v m="$per_minute" 'BEGIN { printf "  bytes                  %.0f MB per minute, %.1f GB per hour\n",
    m / 1e6, m * 60 / 1e9 }'
  awk -v f="$flat_peak" -v p="$paced_peak" -v b="$picture" 'BEGIN {
    printf "  peak in flight         %.0f MB flat out (%d pictures), %.0f MB paced (%d pictures)\n",
      f / 1e6, f / b, p / 1e6, p / b }'
  ours=$(psnr "$size" "$work/encoder.jpg")
  table=
  for q in 2 3 4 5 6 7 8 10 12; do
    mjpeg "$size" "$q" "$work/q$q.jpg"
    table+="$q $(psnr "$size" "$work/q$q.jpg") $(stat -c %s "$work/q$q.jpg")"$'\n'
  done
  # The two -q:v whose PSNR brackets the encoder's, bytes interpolated between them.
  read -r q_near equal <<<"$(printf '%s' "$table" | awk -v p="$ours" '
    { q[NR] = $1; s[NR] = $2; b[NR] = $3 }
    END { for (i = 1; i < NR; ++i) if (s[i] >= p && s[i + 1] <= p) {
            t = (s[i] == s[i + 1]) ? 0 : (s[i] - p) / (s[i] - s[i + 1]);
            printf "%d %.0f", q[i], b[i] + t * (b[i + 1] - b[i]); exit }
          printf "%d 0", q[NR] }')"
  echo "  encoder (quality $quality) $bytes bytes at PSNR $ours dB; ffmpeg MJPEG at that PSNR $equal bytes" \
       "(-q:v $q_near..), ratio $(awk -v a="$bytes" -v b="$equal" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
  echo "  pictures/s per core    encoder $rate ($arch build under Wine), ffmpeg $(mjpeg_rate "$size" "$q_near") (native)"
done
