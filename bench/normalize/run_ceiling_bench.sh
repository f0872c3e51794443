#!/usr/bin/env bash
# What the true-peak ceiling costs, and how fast one long file is measured.
#
#   bench/normalize/run_ceiling_bench.sh ceiling <normalize> [seconds] [work folder] [pairs]
#   bench/normalize/run_ceiling_bench.sh analyze <normalize> <loudness_feed> [MiB] [work folder] [runs]
#
# ceiling: on each material (sines at 50 Hz, 1 kHz, 10 kHz and 19 kHz, a
#   square wave, white noise at -1 dBFS, pink noise, a hard-clipped loud mix,
#   silence), at 44.1, 96 and 192 kHz, 16 and 24 bits, stereo: the CPU time
#   (user + system, /usr/bin/time) of `--loudness -23 --true-peak -1` over
#   that of `--loudness -23` (the run's own rusage, to the microsecond), in
#   pairs run one after the other; prints each
#   case's median ratio of its pairs (and the medians of the two times).
# analyze: --analyze of one 48 kHz 24-bit stereo file (1 GiB by default) in
#   the page cache against `cat file > /dev/null`, with the default jobs and
#   with -j 1, all in the same rounds (median wall time); then the seconds per
#   hour of 48 kHz 16-bit stereo of --analyze, libebur128 (integrated
#   loudness and true peak, fed by loudness_feed) and, where it is installed,
#   ffmpeg's ebur128 filter with peak=true, on a 10-minute file.
# Paths must not hold spaces.
set -euo pipefail

# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"

ceiling() {
  local tool=$1 seconds=${2:-60} pairs=${4:-5}
  work=${3:-/tmp}
  in="$work/ceiling-bench-in.wav" out="$work/ceiling-bench-out.wav"
  trap 'rm -f "$in" "$out"' EXIT
  local -a materials=(
    "sine 50 Hz|synth $seconds sine 50 gain -12"
    "sine 1 kHz|synth $seconds sine 1000 gain -12"
    "sine 10 kHz|synth $seconds sine 10000 gain -12"
    "sine 19 kHz|synth $seconds sine 19000 gain -12"
    "square 440 Hz|synth $seconds square 440 gain -12"
    "white noise -1 dBFS|synth $seconds whitenoise gain -1"
    "pink noise|synth $seconds pinknoise gain -12"
    "clipped loud mix|synth $seconds pinknoise synth $seconds sine mix 60 gain 10"
    "silence|trim 0 $seconds"
  )
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  printf '%-20s %6s %4s  %9s  %9s  %9s\n' material rate bits ratio "tp cpu" "plain cpu"
  local entry rate bits p a b
  local -a ratios tp plain
  for entry in "${materials[@]}"; do
    for rate in 44100 96000 192000; do
      for bits in 16 24; do
        # shellcheck disable=SC2086
        sox -q -D -n -r "$rate" -c 2 -b "$bits" "$in" ${entry#*|} 2>/dev/null
        cat "$in" >/dev/null
        ratios=()
        tp=()
        plain=()
        for ((p = 0; p < pairs; p++)); do
          a=$(cpu_of "$tool" --loudness -23 --true-peak -1 -o "$out" "$in")
          b=$(cpu_of "$tool" --loudness -23 -o "$out" "$in")
          tp+=("$a") plain+=("$b")
          ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }')")
        done
        printf '%-20s %6s %4s  %9s  %9s  %9s\n' "${entry%%|*}" "$rate" "$bits" "$(median_of "${ratios[@]}")" \
          "$(median_of "${tp[@]}")" "$(median_of "${plain[@]}")"
      done
    done
  done
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
}

analyze() {
  local tool=$1 feed=$2 mib=${3:-1024} runs=${5:-3}
  work=${4:-/tmp}
  in="$work/analyze-bench-in.wav" short="$work/analyze-bench-10min.wav"
  trap 'rm -f "$in" "$short"' EXIT
  # 288000 bytes per second at 48 kHz, 2 channels, 24 bits.
  local seconds
  seconds=$(awk -v m="$mib" 'BEGIN { printf "%.3f", m * 1048576 / 288000 }')
  echo "generating $mib MiB ($seconds s of pink noise, 48 kHz 24-bit stereo) ..."
  sox -q -D -n -r 48000 -c 2 -b 24 "$in" synth "$seconds" pinknoise tremolo 0.1 90 gain -14
  sox -q -D -n -r 48000 -c 2 -b 16 "$short" synth 600 pinknoise tremolo 0.1 90 gain -14
  sync
  cat "$in" "$short" >/dev/null
  local -a labels=("cat" "--analyze" "--analyze -j 1")
  local -a commands=("cat $in" "$tool --analyze $in" "$tool --analyze -j 1 $in")
  declare -A times
  local r i start end
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  for ((r = 1; r <= runs; r++)); do
    for i in "${!labels[@]}"; do
      start=$(date +%s.%N)
      ${commands[$i]} </dev/null >/dev/null 2>&1
      end=$(date +%s.%N)
      times[$i]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
    done
  done
  declare -A med
  for i in "${!labels[@]}"; do
    # shellcheck disable=SC2086
    med[$i]=$(median_of ${times[$i]})
    printf '  %-16s %7.3f s   (runs: %s)\n' "${labels[$i]}" "${med[$i]}" "${times[$i]% }"
  done
  awk -v a="${med[1]}" -v b="${med[0]}" 'BEGIN { printf "  --analyze / cat       %.2f (target <= 4)\n", a / b }'
  awk -v a="${med[2]}" -v b="${med[0]}" 'BEGIN { printf "  --analyze -j 1 / cat  %.2f (target <= 7)\n", a / b }'

  echo "seconds per hour of 48 kHz 16-bit stereo (10-minute file, median of $runs, wall):"
  local -a t_ours=() t_ours1=() t_lib=() t_ff=()
  for ((r = 1; r <= runs; r++)); do
    start=$(date +%s.%N); "$tool" --analyze "$short" >/dev/null 2>&1; end=$(date +%s.%N)
    t_ours+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
    start=$(date +%s.%N); "$tool" --analyze -j 1 "$short" >/dev/null 2>&1; end=$(date +%s.%N)
    t_ours1+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
    start=$(date +%s.%N); "$feed" ebur128 "$short" >/dev/null 2>&1; end=$(date +%s.%N)
    t_lib+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
    if command -v ffmpeg >/dev/null; then
      start=$(date +%s.%N)
      ffmpeg -nostdin -hide_banner -nostats -i "$short" -af ebur128=peak=true -f null - >/dev/null 2>&1
      end=$(date +%s.%N)
      t_ff+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
    fi
  done
  per_hour() { awk -v t="$(median_of "$@")" 'BEGIN { printf "%.2f s (%.3f s per 10 min)", t * 6, t }'; }
  echo "  normalize --analyze       $(per_hour "${t_ours[@]}")"
  echo "  normalize --analyze -j 1  $(per_hour "${t_ours1[@]}")"
  echo "  libebur128 I+TP           $(per_hour "${t_lib[@]}")"
  if [ ${#t_ff[@]} -gt 0 ]; then echo "  ffmpeg ebur128 peak=true  $(per_hour "${t_ff[@]}")"; fi
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
}

mode=${1:?usage: run_ceiling_bench.sh ceiling|analyze ...}
shift
case $mode in
  ceiling) ceiling "$@" ;;
  analyze) analyze "$@" ;;
  *) echo "run_ceiling_bench.sh: ceiling or analyze" >&2; exit 2 ;;
esac
