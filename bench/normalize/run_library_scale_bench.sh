#!/usr/bin/env bash
# normalize at library scale, in four parts:
#   1. a rerun of --loudness over 1,000 files already at its target, against
#      --analyze over the same files (nothing should be written);
#   2. --analyze -j 1 over a folder of 80,000 short files against 1,000: the
#      time per file;
#   3. the peak memory of 5,000 files named one by one against the same folder
#      named (--analyze, and --loudness, which writes);
#   4. with a second build: --album --loudness and plain --loudness over 40
#      files of 10 s, each build in turn over copies put back before every run.
# Paths must not hold spaces. Needs sox, GNU coreutils and /usr/bin/time.
#
#   bench/normalize/run_library_scale_bench.sh <normalize> [<normalize before>] [work folder] [runs]
#
# Prints the median of the runs of each job (wall and CPU seconds, peak
# memory) and the ratios the targets are set in.
set -euo pipefail
# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"

tool=${1:?usage: run_library_scale_bench.sh <normalize> [<normalize before>] [folder] [runs]}
before=${2:-}
work=${3:-/tmp}/library-scale-bench
runs=${4:-3}
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# copies <model> <count> <folder>: <count> copies of a file, by doubling one
# stream and splitting it, not one cp per file.
copies() {
  local model=$1 count=$2 folder=$3 size have=1
  size=$(stat -c %s "$model")
  mkdir -p "$folder"
  cp "$model" "$work/stream"
  while ((have < count)); do
    cat "$work/stream" "$work/stream" >"$work/stream.next"
    mv "$work/stream.next" "$work/stream"
    have=$((have * 2))
  done
  head -c $((size * count)) "$work/stream" | (cd "$folder" && split -b "$size" -a 6 -d --additional-suffix=.wav - f)
  rm -f "$work/stream"
  find "$folder" -type f -exec cat {} + >/dev/null
}

declare -A wall cpu peak
# timed <label> <command...>: one run after a sync, its wall and CPU (user +
# system) seconds and peak memory noted under <label>. On a shared machine the
# CPU time is the steadier figure. The command's own exit code (a short file
# below the gate, say) does not end the benchmark.
timed() {
  local label=$1 w u s m
  shift
  sync
  sleep 1
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" </dev/null >/dev/null 2>&1 || true
  read -r w u s m < <(tail -1 "$work/time")
  wall[$label]+="$w "
  cpu[$label]+="$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }') "
  peak[$label]+="$m "
}

shown() {
  local label
  for label in "$@"; do
    printf '  %-28s wall %7.2f s  cpu %7.2f s  peak %7d KiB   (wall: %s; cpu: %s)\n' "$label" \
      "$(figure wall "$label")" "$(figure cpu "$label")" "$(figure peak "$label")" "${wall[$label]% }" "${cpu[$label]% }"
  done
}
# ratio <wall|cpu|peak> <a> <b> [scale a] [scale b]: a's median over b's, each divided by its scale.
ratio() {
  awk -v a="$(figure "$1" "$2")" -v b="$(figure "$1" "$3")" -v sa="${4:-1}" -v sb="${5:-1}" \
    'BEGIN { printf "%.2f", (a / sa) / (b / sb) }'
}
check() { awk -v r="$1" -v limit="$2" 'BEGIN { print r <= limit ? "ok" : "MISSED" }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "1. a rerun at the target: generating 1,000 files of 1 s (48 kHz 16-bit stereo) ..."
sox -q -D -n -r 48000 -c 2 -b 16 "$work/second.wav" synth 1 pinknoise gain -14
copies "$work/second.wav" 1000 "$work/at-target"
"$tool" --loudness -23 "$work/at-target" >/dev/null 2>&1 || true
echo "   load average before: $(load)"
for ((r = 1; r <= runs; r++)); do
  timed "rerun --loudness -23" "$tool" --loudness -23 "$work/at-target"
  timed "--analyze" "$tool" --analyze "$work/at-target"
done
shown "rerun --loudness -23" "--analyze"
for of in wall cpu; do
  r=$(ratio $of "rerun --loudness -23" "--analyze")
  echo "  rerun / --analyze, $of: $r  (<= 1.2)  $(check "$r" 1.2)"
done
rm -rf "$work/at-target"

echo "2. many files: generating 80,000 and 1,000 files of 0.1 s (8 kHz 16-bit mono) ..."
sox -q -D -n -r 8000 -c 1 -b 16 "$work/short.wav" synth 0.1 pinknoise gain -14
copies "$work/short.wav" 1000 "$work/short1000"
copies "$work/short.wav" 80000 "$work/short80000"
echo "   load average before: $(load)"
for ((r = 1; r <= runs; r++)); do
  timed "1,000 files, -j 1" "$tool" --analyze -j 1 "$work/short1000"
  timed "80,000 files, -j 1" "$tool" --analyze -j 1 "$work/short80000"
done
shown "1,000 files, -j 1" "80,000 files, -j 1"
for of in wall cpu; do
  r=$(ratio $of "80,000 files, -j 1" "1,000 files, -j 1" 80000 1000)
  echo "  per file, 80,000 / 1,000, $of: $r  (<= 1.5)  $(check "$r" 1.5)"
done
rm -rf "$work/short80000" "$work/short1000"

echo "3. memory: 5,000 files of 0.1 s, named one by one and as their folder ..."
copies "$work/short.wav" 5000 "$work/short5000"
for ((r = 1; r <= runs; r++)); do
  for mode in "--analyze" "--loudness -23"; do
    # shellcheck disable=SC2086
    timed "$mode, named" "$tool" $mode "$work"/short5000/*.wav
    # shellcheck disable=SC2086
    timed "$mode, folder" "$tool" $mode "$work/short5000"
  done
done
shown "--analyze, named" "--analyze, folder" "--loudness -23, named" "--loudness -23, folder"
for mode in "--analyze" "--loudness -23"; do
  r=$(ratio peak "$mode, named" "$mode, folder")
  echo "  $mode: peak memory named / folder: $r  (<= 1.2)  $(check "$r" 1.2)"
done
rm -rf "$work/short5000"

if [ -z "$before" ]; then
  echo "4. (no second build named: no before/after pairs)"
  exit 0
fi
echo "4. before and after: generating 40 files of 10 s (48 kHz 16-bit stereo) ..."
mkdir -p "$work/originals" "$work/album"
sox -q -D -n -r 48000 -c 2 -b 16 "$work/originals/00.wav" synth 10 pinknoise tremolo 0.1 60 gain -14
for i in $(seq -w 1 39); do
  sox -q -D "$work/originals/00.wav" "$work/originals/$i.wav" gain "-$((10#$i % 12))"
done
echo "   load average before: $(load)"
for ((r = 1; r <= runs; r++)); do
  # Which build goes first alternates from round to round.
  order=("after|$tool" "before|$before")
  ((r % 2 == 0)) && order=("before|$before" "after|$tool")
  for mode in "--album --loudness" "--loudness"; do
    for build in "${order[@]}"; do
      cp "$work"/originals/*.wav "$work/album/"
      # shellcheck disable=SC2086
      timed "$mode, ${build%%|*}" "${build#*|}" $mode -16 --true-peak -1 "$work/album"
    done
  done
done
shown "--album --loudness, before" "--album --loudness, after" "--loudness, before" "--loudness, after"
for mode in "--album --loudness" "--loudness"; do
  echo "  $mode after / before: wall $(ratio wall "$mode, after" "$mode, before"), cpu $(ratio cpu "$mode, after" "$mode, before")"
done
echo "   load average after: $(load)"
