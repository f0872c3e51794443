#!/usr/bin/env bash
# What --report costs, and whether a browser opens the page of a large library:
#   1. --analyze and a dry run of --loudness -16 over 60 files of 20 s (48 kHz,
#      16-bit stereo, in the page cache), each with and without
#      --report, the two in turn in every round (CPU and wall seconds, the
#      median of the rounds; the target: with --report at most 1.1x without);
#   2. given report_page_scale and chromium: a page of 80,000 files of 4
#      minutes (as a writing run gives them) made without measuring, its size,
#      and headless Chromium's time to open it and draw its first screen,
#      beside a page of 3 files.
# Paths must not hold spaces. Needs sox and /usr/bin/time.
#
#   bench/normalize/run_report_bench.sh <normalize> [<report_page_scale>] [work folder] [runs]
set -euo pipefail

tool=${1:?usage: run_report_bench.sh <normalize> [<report_page_scale>] [folder] [runs]}
scale=${2:-}
work=${3:-/tmp}/report-bench
runs=${4:-5}
rm -rf "$work"
mkdir -p "$work/lib"
trap 'rm -rf "$work"' EXIT

echo "generating 60 files of 20 s in $work/lib ..."
sox -q -D -n -r 48000 -c 2 -b 16 "$work/lib/00.wav" synth 20 pinknoise tremolo 0.1 60 gain -14
for i in $(seq -w 1 59); do sox -q -D "$work/lib/00.wav" "$work/lib/$i.wav" gain "-$((10#$i % 12))"; done
cat "$work"/lib/*.wav >/dev/null
load=$(cut -d' ' -f1-3 /proc/loadavg)

# timed <label> <command...>: appends "wall cpu" of one run to $work/<label>.
timed() {
  local label=$1
  shift
  sync
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time" >>"$work/$label"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

pairs=("analyze|--analyze" "dry-loudness|-n --loudness -16")
for ((r = 1; r <= runs; r++)); do
  echo "round $r of $runs ..."
  for pair in "${pairs[@]}"; do
    label=${pair%%|*}
    # shellcheck disable=SC2206
    args=(${pair#*|})
    # Which goes first alternates from round to round.
    if ((r % 2)); then
      timed "$label" "$tool" "${args[@]}" "$work/lib"
      timed "$label-report" "$tool" "${args[@]}" --report "$work/r.html" "$work/lib"
    else
      timed "$label-report" "$tool" "${args[@]}" --report "$work/r.html" "$work/lib"
      timed "$label" "$tool" "${args[@]}" "$work/lib"
    fi
  done
done

echo
echo "load average before: $load; $runs rounds"
printf '%-24s %8s %8s\n' job wall CPU
for pair in "${pairs[@]}"; do
  label=${pair%%|*}
  for job in "$label" "$label-report"; do
    printf '%-24s %7ss %7ss\n' "$job" "$(cut -d' ' -f1 "$work/$job" | median)" "$(cut -d' ' -f2 "$work/$job" | median)"
  done
  cpu=$(cut -d' ' -f2 "$work/$label" | median)
  cpu_report=$(cut -d' ' -f2 "$work/$label-report" | median)
  echo "$label: with --report / without, CPU: $(awk -v a="$cpu_report" -v b="$cpu" 'BEGIN { printf "%.3f", a / b }') (target <= 1.1)"
done
echo "page of 60 files: $(stat -c %s "$work/r.html") bytes"

if [ -n "$scale" ] && command -v chromium >/dev/null; then
  echo
  echo "making a page of 80,000 files ..."
  "$scale" "$work/big.html" 80000 240
  "$scale" "$work/small.html" 3 240
  for page in small big; do
    rm -rf "$work/profile"
    mkdir "$work/profile"
    /usr/bin/time -f "%e %M" -o "$work/time" chromium --headless --no-sandbox --disable-gpu --disable-quic \
      --no-first-run --disable-background-networking --disable-component-update --disable-sync --log-level=3 \
      --user-data-dir="$work/profile" --window-size=1400,900 --screenshot="$work/$page.png" \
      "file://$work/$page.html" >/dev/null 2>&1
    echo "$page page: $(stat -c %s "$work/$page.html") bytes, opened and its first screen drawn in" \
      "$(cut -d' ' -f1 "$work/time") s, peak memory $(($(cut -d' ' -f2 "$work/time") / 1024)) MiB"
  done
fi
