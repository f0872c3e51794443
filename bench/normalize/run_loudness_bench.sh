#!/usr/bin/env bash
# Loudness measurement and normalization of the normalize tool on a 16-bit
# stereo WAV (1 GiB by default) in the page cache, side by side in one run
# with libebur128 measuring the same (integrated loudness and true peak, fed
# as fast as it takes the samples), a plain read of the file, and our own
# -m 100. Paths must not hold spaces.
#
#   bench/normalize/run_loudness_bench.sh <normalize> <loudness_feed> [size in MiB] [work folder] [runs]
#
# Prints the median wall time of each job and the ratios the targets are set in.
set -euo pipefail

tool=${1:?usage: run_loudness_bench.sh <normalize> <loudness_feed> [MiB] [folder] [runs]}
feed=${2:?usage: run_loudness_bench.sh <normalize> <loudness_feed> [MiB] [folder] [runs]}
mib=${3:-1024}
work=${4:-/tmp}
runs=${5:-3}
in="$work/loudness-bench-in.wav"
out="$work/loudness-bench-out.wav"
trap 'rm -f "$in" "$out"' EXIT

# 176400 bytes per second at 44.1 kHz, 2 channels, 16 bits. Pink noise whose
# level swings over some 20 dB every 10 s, so that the gates have work to do.
seconds=$(awk -v m="$mib" 'BEGIN { printf "%.3f", m * 1048576 / 176400 }')
echo "generating $mib MiB input ($seconds s of pink noise) in $work ..."
sox -q -D -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" pinknoise tremolo 0.1 90 gain -14
sync
cat "$in" >/dev/null
load=$(cut -d' ' -f1-3 /proc/loadavg)

now() { date +%s.%N; }

jobs=(
  "read (cat)|cat $in"
  "libebur128 I+TP|$feed ebur128 $in"
  "normalize --analyze|$tool --analyze $in"
  "normalize -m 100|$tool -m 100 -o $out $in"
  "normalize --loudness|$tool --loudness -23 --true-peak -1 -o $out $in"
)
declare -A times median
for ((r = 1; r <= runs; r++)); do
  echo "round $r of $runs ..."
  for job in "${jobs[@]}"; do
    label=${job%%|*}
    rm -f "$out"
    sync
    sleep 1
    start=$(now)
    ${job#*|} >/dev/null 2>&1
    end=$(now)
    times[$label]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
  done
done
rm -f "$out"

echo "median of $runs runs each (load average before: $load):"
for job in "${jobs[@]}"; do
  label=${job%%|*}
  median[$label]=$(printf '%s\n' ${times[$label]} | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
  printf '  %-22s %7.3f s   (runs: %s)\n' "$label" "${median[$label]}" "${times[$label]% }"
done

ratio() { awk -v a="${median[$1]}" -v b="${median[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
check() { awk -v r="$1" -v limit="$2" -v dir="$3" 'BEGIN { ok = dir == "<=" ? r <= limit : r >= limit; print ok ? "ok" : "MISSED" }'; }

echo "ratios (target):"
r=$(ratio "libebur128 I+TP" "normalize --analyze");     echo "  libebur128 / --analyze     $r  (>= 3)  $(check "$r" 3 ">=")"
r=$(ratio "normalize --analyze" "read (cat)");           echo "  --analyze / read           $r  (<= 2)  $(check "$r" 2 "<=")"
r=$(ratio "normalize --loudness" "normalize -m 100");    echo "  --loudness / -m 100        $r  (<= 2)  $(check "$r" 2 "<=")"
$tool --analyze "$in" 2>/dev/null | sed 's/^/  ours:       /' || true
$feed ebur128 "$in" | sed 's/^/  libebur128: /'
