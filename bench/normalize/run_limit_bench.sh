#!/usr/bin/env bash
# What --limit costs: on material that needs limiting to meet -14 LUFS at
# -1 dBTP, the CPU time (user + system) of
#   normalize --loudness -14 --true-peak -1 --limit -o out in
# over that of the same run without --limit (which holds the gain back), in
# pairs run one after the other; prints each material's median ratio, the
# medians of both times, and the figures each run's line gives.
#
#   bench/normalize/run_limit_bench.sh <normalize> [seconds] [work folder] [pairs]
#
# Materials (44.1 kHz, 16-bit stereo, sox): a drum loop (pink-noise hits every
# half second over a 55 Hz bass), plucked chords, quiet pink noise with one
# loud burst a second, speech-like syllables with a sharp onset. Paths must not hold spaces.
set -euo pipefail

# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"

tool=$1 seconds=${2:-60} work=${3:-/tmp} pairs=${4:-5}
in="$work/limit-bench-in.wav" out="$work/limit-bench-out.wav" part="$work/limit-bench-part.wav"
trap 'rm -f "$in" "$out" "$part" "$work"/limit-bench-bass.wav' EXIT
repeats=$((seconds * 2 - 1))

make_material() {
  case $1 in
    drums)
      sox -q -n -r 44100 -c 2 -b 16 "$part" synth 0.06 pinknoise fade 0 0.06 0.05 gain -2 pad 0 0.44
      sox -q "$part" "$work/limit-bench-hits.wav" repeat "$repeats"
      sox -q -n -r 44100 -c 2 -b 16 "$work/limit-bench-bass.wav" synth "$seconds" sine 55 gain -20
      sox -q -m "$work/limit-bench-hits.wav" "$work/limit-bench-bass.wav" "$in"
      rm -f "$work/limit-bench-hits.wav" ;;
    chords)
      sox -q -n -r 44100 -c 2 -b 16 "$part" synth 0.5 pluck 220 pluck 277 pluck 330 gain -16
      sox -q "$part" "$in" repeat "$repeats" ;;
    bursts)
      sox -q -n -r 44100 -c 2 -b 16 "$part" synth 0.02 pinknoise gain -3 pad 0 0.98
      sox -q -n -r 44100 -c 2 -b 16 "$work/limit-bench-bass.wav" synth 1 pinknoise gain -30
      sox -q -m "$part" "$work/limit-bench-bass.wav" "$work/limit-bench-hits.wav"
      sox -q "$work/limit-bench-hits.wav" "$in" repeat $((seconds - 1))
      rm -f "$work/limit-bench-hits.wav" ;;
    speech)
      sox -q -n -r 44100 -c 2 -b 16 "$part" synth 0.3 sawtooth 140 gain -24 fade 0.005 0.3 0.1 pad 0 0.2
      sox -q "$part" "$in" repeat $((seconds * 2 - 1)) ;;
  esac
}

# The same noise on every run (-R), so that every run measures the same material.
sox() { command sox -R "$@"; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %7s %10s %10s\n' material ratio "limit cpu" "plain cpu"
for material in drums chords bursts speech; do
  make_material "$material"
  cat "$in" >/dev/null
  ratios=() limited=() plain=()
  for _ in $(seq "$pairs"); do
    a=$(cpu_of "$tool" --loudness -14 --true-peak -1 --limit -o "$out" "$in")
    b=$(cpu_of "$tool" --loudness -14 --true-peak -1 -o "$out" "$in")
    limited+=("$a") plain+=("$b")
    ratios+=("$(python3 -c "print('%.2f' % ($a / $b))")")
  done
  printf '%-8s %7s %10s %10s\n' "$material" "$(median_of "${ratios[@]}")" "$(median_of "${limited[@]}")" \
    "$(median_of "${plain[@]}")"
  echo "  with:    $("$tool" --loudness -14 --true-peak -1 --limit -o "$out" "$in" | cut -d, -f3-5)"
  echo "  without: $("$tool" --loudness -14 --true-peak -1 -o "$out" "$in" | cut -d, -f3-4)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
