#!/usr/bin/env bash
# The measuring pass against the floor of reading, in four parts, each job
# timed in rounds with /usr/bin/time (wall and CPU seconds, user + system;
# on a shared machine the CPU time is the steadier figure):
#   1. --analyze of one 1 GiB file (48 kHz 24-bit stereo) with the default
#      jobs and with -j 1, against `cat` of it; libebur128 (integrated
#      loudness and true peak, fed as fast as it takes the samples) and
#      ffmpeg's ebur128 filter (where installed) measuring the same file;
#   2. --analyze of a library of 120 files of 30 s (half 48 kHz 24-bit, half
#      44.1 kHz 16-bit, stereo) against `cat` of the same files;
#   3. --loudness -20 --true-peak -1 in place over that library against a
#      durable in-place rewrite of it (durable_rewrite, two at a time), over
#      copies put back before every run (untimed);
#   4. the fixed cost of a file: --analyze of 80,000 files of 1 s against 120
#      of 30 s, both 22.05 kHz 16-bit stereo (7 GiB of page cache where the
#      mix of part 2 would need 18; a lower rate weighs a file's fixed cost
#      more), compared per second of audio.
# Paths must not hold spaces. Needs sox, GNU coreutils and /usr/bin/time.
#
#   bench/normalize/run_measuring_bench.sh <normalize> <loudness_feed> <durable_rewrite> [folder] [runs] [parts]
#
# `parts`: which to run, e.g. "12" (default "1234").
set -euo pipefail
# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"

tool=${1:?usage: run_measuring_bench.sh <normalize> <loudness_feed> <durable_rewrite> [folder] [runs] [parts]}
feed=${2:?usage: run_measuring_bench.sh <normalize> <loudness_feed> <durable_rewrite> [folder] [runs] [parts]}
rewrite=${3:?usage: run_measuring_bench.sh <normalize> <loudness_feed> <durable_rewrite> [folder] [runs] [parts]}
work=${4:-/tmp}/measuring-bench
runs=${5:-3}
parts=${6:-1234}
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

declare -A wall cpu
# timed <label> <command...>: one run, its wall and CPU seconds noted.
timed() {
  local label=$1 w u s
  shift
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" </dev/null >/dev/null 2>&1 || true
  read -r w u s < <(tail -1 "$work/time")
  wall[$label]+="$w "
  cpu[$label]+="$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.3f", u + s }') "
}
shown() {
  local label
  for label in "$@"; do
    printf '  %-34s wall %8.3f s  cpu %8.3f s   (wall: %s)\n' "$label" "$(figure wall "$label")" \
      "$(figure cpu "$label")" "${wall[$label]% }"
  done
}
# ratio <wall|cpu> <a> <b> [scale a] [scale b]: a's median over b's, each divided by its scale.
ratio() {
  awk -v a="$(figure "$1" "$2")" -v b="$(figure "$1" "$3")" -v sa="${4:-1}" -v sb="${5:-1}" \
    'BEGIN { printf "%.2f", (a / sa) / (b / sb) }'
}
check() { awk -v r="$1" -v limit="$2" 'BEGIN { print r <= limit ? "ok" : "MISSED" }'; }
target() { local r; r=$(ratio "$@"); echo "  $2 / $3 ($1): $r  (<= $LIMIT)  $(check "$r" "$LIMIT")"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
# synth <file> <rate> <bits> <channels> <seconds>: pink noise whose level
# swings over some 20 dB every 10 s, so that the gates have work to do.
synth() { sox -q -V1 -D -n -r "$2" -b "$3" -c "$4" "$1" synth "$5" pinknoise tremolo 0.1 90 gain -14; }
# copies <model> <count> <folder>: the same bytes under <count> names, written
# by one process.
copies() {
  mkdir -p "$3"
  python3 -c 'import sys
data = open(sys.argv[1], "rb").read()
for i in range(int(sys.argv[2])):
    open("%s/f%06d.wav" % (sys.argv[3], i), "wb").write(data)' "$@"
}
ffmpeg_each() {
  for f in "$@"; do ffmpeg -nostats -hide_banner -i "$f" -af ebur128=peak=true -f null - 2>/dev/null; done
}

if [[ $parts == *1* ]]; then
  echo "1. one file of 1 GiB (48 kHz 24-bit stereo) ..."
  synth "$work/part.wav" 48000 24 2 233
  sox -q -V1 $(printf "$work/part.wav %.0s" $(seq 16)) "$work/big.wav"
  rm "$work/part.wav"
  cat "$work/big.wav" >/dev/null
  echo "   load average before: $(load)"
  for ((r = 1; r <= runs; r++)); do
    timed "cat" cat "$work/big.wav"
    timed "--analyze" "$tool" --analyze "$work/big.wav"
    timed "--analyze -j 1" "$tool" --analyze -j 1 "$work/big.wav"
    timed "libebur128 I+TP" "$feed" ebur128 "$work/big.wav"
    command -v ffmpeg >/dev/null && timed "ffmpeg ebur128 peak=true" ffmpeg_each "$work/big.wav"
  done
  echo "   load average after: $(load)"
  shown "cat" "--analyze" "--analyze -j 1" "libebur128 I+TP"
  command -v ffmpeg >/dev/null && shown "ffmpeg ebur128 peak=true"
  for of in wall cpu; do
    LIMIT=2.5 target $of "--analyze" "cat"
    LIMIT=4 target $of "--analyze -j 1" "cat"
  done
  rm -f "$work/big.wav"
fi

if [[ $parts == *2* || $parts == *3* ]]; then
  echo "2. a library of 120 files of 30 s ..."
  mkdir -p "$work/library" "$work/copies"
  for i in $(seq -w 1 60); do
    synth "$work/library/a$i.wav" 48000 24 2 30
    synth "$work/library/b$i.wav" 44100 16 2 30
  done
  cat "$work"/library/*.wav >/dev/null
fi
if [[ $parts == *2* ]]; then
  echo "   load average before: $(load)"
  for ((r = 1; r <= runs; r++)); do
    timed "cat, 120 files" cat "$work"/library/*.wav
    timed "--analyze, 120 files" "$tool" --analyze "$work/library"
  done
  echo "   load average after: $(load)"
  shown "cat, 120 files" "--analyze, 120 files"
  for of in wall cpu; do LIMIT=3 target $of "--analyze, 120 files" "cat, 120 files"; done
fi
if [[ $parts == *3* ]]; then
  echo "3. in place over the library: --loudness -20 --true-peak -1 against a durable rewrite ..."
  put_back() { cp "$work"/library/*.wav "$work/copies/"; sync; cat "$work"/copies/*.wav >/dev/null; }
  echo "   load average before: $(load)"
  for ((r = 1; r <= runs; r++)); do
    put_back
    timed "durable rewrite, 120 files" "$rewrite" -j 2 "$work"/copies/*.wav
    put_back
    timed "--loudness --true-peak in place" "$tool" --loudness -20 --true-peak -1 "$work/copies"
  done
  echo "   load average after: $(load)"
  shown "durable rewrite, 120 files" "--loudness --true-peak in place"
  for of in wall cpu; do LIMIT=1 target $of "--loudness --true-peak in place" "durable rewrite, 120 files"; done
fi
rm -rf "$work/library" "$work/copies"

if [[ $parts == *4* ]]; then
  echo "4. 80,000 files of 1 s against 120 of 30 s (22.05 kHz 16-bit stereo) ..."
  synth "$work/second.wav" 22050 16 2 1
  copies "$work/second.wav" 80000 "$work/seconds"
  mkdir -p "$work/long"
  for i in $(seq -w 1 120); do synth "$work/long/$i.wav" 22050 16 2 30; done
  cat "$work"/long/*.wav >/dev/null
  find "$work/seconds" -type f -exec cat {} + >/dev/null
  echo "   load average before: $(load)"
  for ((r = 1; r <= runs; r++)); do
    timed "--analyze, 120 files of 30 s" "$tool" --analyze "$work/long"
    timed "--analyze, 80,000 files of 1 s" "$tool" --analyze "$work/seconds"
  done
  echo "   load average after: $(load)"
  shown "--analyze, 120 files of 30 s" "--analyze, 80,000 files of 1 s"
  for of in wall cpu; do
    LIMIT=1.5 target $of "--analyze, 80,000 files of 1 s" "--analyze, 120 files of 30 s" 80000 3600
  done
fi
