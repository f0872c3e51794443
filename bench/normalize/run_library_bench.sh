#!/usr/bin/env bash
# A library's worth of files: 60 files of 20 s (48 kHz, 16-bit stereo) in the
# page cache, measured with the default jobs and with -j 1, beside ffmpeg's
# ebur128 filter run over the same files one after another (when ffmpeg is
# installed); --album against plain --loudness over them; and the time per
# file of --analyze over 10, 100 and 1,000 short files. Paths must not hold
# spaces.
#
#   bench/normalize/run_library_bench.sh <normalize> [work folder] [runs]
#
# Prints the median wall time of each job and the ratios the targets are set in.
set -euo pipefail

tool=${1:?usage: run_library_bench.sh <normalize> [folder] [runs]}
work=${2:-/tmp}/library-bench
runs=${3:-3}
rm -rf "$work"
mkdir -p "$work/originals" "$work/album"
trap 'rm -rf "$work"' EXIT
out="$work/unused"

# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"

echo "generating 60 files of 20 s in $work ..."
sox -q -D -n -r 48000 -c 2 -b 16 "$work/originals/00.wav" synth 20 pinknoise tremolo 0.1 60 gain -14
for i in $(seq -w 1 59); do
  sox -q -D "$work/originals/00.wav" "$work/originals/$i.wav" gain "-$((10#$i % 12))"
done
files=$(echo "$work"/originals/*.wav)
# The files the writing jobs work on, put back before every run (untimed).
album_files=$(echo "$files" | sed "s|/originals/|/album/|g")
reset_album() { cp "$work"/originals/*.wav "$work/album/"; sync; cat "$work"/album/*.wav >/dev/null; }

ffmpeg_all() {
  for f in $files; do ffmpeg -nostats -hide_banner -i "$f" -af ebur128=peak=true -f null - 2>/dev/null; done
}

cat $files >/dev/null
load=$(cut -d' ' -f1-3 /proc/loadavg)
jobs=(
  "--analyze (default -j)|$tool --analyze $files"
  "--analyze -j 1|$tool --analyze -j 1 $files"
)
command -v ffmpeg >/dev/null && jobs+=("ffmpeg ebur128 peak=true|ffmpeg_all")
run_rounds

# The writing jobs: each round puts the originals back first.
for ((r = 1; r <= runs; r++)); do
  for label in "--loudness" "--album --loudness"; do
    reset_album
    sleep 1
    start=$(now)
    # shellcheck disable=SC2086
    if [ "$label" = "--album --loudness" ]; then
      $tool --album --loudness -16 --true-peak -1 $album_files >/dev/null 2>&1
    else
      $tool --loudness -16 --true-peak -1 $album_files >/dev/null 2>&1
    fi
    end=$(now)
    times[$label]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
  done
done
jobs+=("--loudness|" "--album --loudness|")
print_medians

echo "ratios (target):"
r=$(ratio "--analyze (default -j)" "--analyze -j 1")
echo "  default -j / -j 1               $r  (<= 0.8)  $(check "$r" 0.8 "<=")"
if command -v ffmpeg >/dev/null; then
  r=$(ratio "ffmpeg ebur128 peak=true" "--analyze (default -j)")
  echo "  ffmpeg / --analyze             $r  (>= 20)   $(check "$r" 20 ">=")"
else
  echo "  ffmpeg / --analyze             (ffmpeg is not installed)"
fi
r=$(ratio "--album --loudness" "--loudness")
echo "  --album / plain --loudness      $r  (<= 1.1)  $(check "$r" 1.1 "<=")"

declare -A per
# Per-file overhead: short files (0.5 s each), --analyze over 10, 100 and 1,000.
echo "per-file time of --analyze over short files (0.5 s, 48 kHz 16-bit stereo):"
sox -q -D -n -r 48000 -c 2 -b 16 "$work/short.wav" synth 0.5 pinknoise gain -14
for n in 10 100 1000; do
  rm -rf "$work/short$n"
  mkdir "$work/short$n"
  for i in $(seq 1 $n); do cp "$work/short.wav" "$work/short$n/$i.wav"; done
  cat "$work/short$n"/*.wav >/dev/null
  best=""
  for ((r = 1; r <= runs; r++)); do
    start=$(now)
    "$tool" --analyze "$work/short$n" >/dev/null 2>&1
    end=$(now)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    best=$(printf '%s\n' $best "$t" | sort -n | head -1)
  done
  per[$n]=$best
  printf '  %5d files  %7.3f s  %6.2f ms per file (best of %d)\n' "$n" "$best" \
    "$(awk -v t="$best" -v n="$n" 'BEGIN { printf "%.2f", t * 1000 / n }')" "$runs"
done
printf '  growth from 10 to 1,000 files: %.2f ms per added file\n' \
  "$(awk -v a="${per[10]}" -v b="${per[1000]}" 'BEGIN { printf "%.2f", (b - a) * 1000 / 990 }')"
