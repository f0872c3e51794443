#!/usr/bin/env bash
# Loudness measurement and normalization of the normalize tool on a 16-bit
# stereo WAV (1 GiB by default) in the page cache, side by side in one run
# with libebur128 measuring the same (integrated loudness and true peak, fed
# as fast as it takes the samples), a plain read of the file, and our own
# -m 100. Paths must not hold spaces.
#
#   bench/normalize/run_loudness_bench.sh <normalize> <loudness_feed> [size in MiB] [work folder] [runs] [baseline normalize]
#
# Prints the median wall time of each job and the ratios the targets are set in.
# With a baseline build, its --analyze and --loudness run in the same rounds
# and their ratios to ours are printed too.
set -euo pipefail

tool=${1:?usage: run_loudness_bench.sh <normalize> <loudness_feed> [MiB] [folder] [runs]}
feed=${2:?usage: run_loudness_bench.sh <normalize> <loudness_feed> [MiB] [folder] [runs]}
mib=${3:-1024}
work=${4:-/tmp}
runs=${5:-3}
baseline=${6:-}
in="$work/loudness-bench-in.wav"
out="$work/loudness-bench-out.wav"
trap 'rm -f "$in" "$out"' EXIT

# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"
# Pink noise whose level swings over some 20 dB every 10 s, so that the gates
# have work to do.
make_input "$mib" "pink noise" pinknoise tremolo 0.1 90 gain -14

jobs=(
  "read (cat)|cat $in"
  "libebur128 I+TP|$feed ebur128 $in"
  "normalize --analyze|$tool --analyze $in"
  "normalize -m 100|$tool -m 100 -o $out $in"
  "normalize --loudness|$tool --loudness -23 --true-peak -1 -o $out $in"
)
if [ -n "$baseline" ]; then
  jobs+=("baseline --analyze|$baseline --analyze $in"
         "baseline --loudness|$baseline --loudness -23 --true-peak -1 -o $out $in")
fi
run_rounds
print_medians

echo "ratios (target):"
r=$(ratio "libebur128 I+TP" "normalize --analyze");     echo "  libebur128 / --analyze     $r  (>= 3)  $(check "$r" 3 ">=")"
r=$(ratio "normalize --analyze" "read (cat)");           echo "  --analyze / read           $r  (<= 2)  $(check "$r" 2 "<=")"
r=$(ratio "normalize --loudness" "normalize -m 100");    echo "  --loudness / -m 100        $r  (<= 2)  $(check "$r" 2 "<=")"
if [ -n "$baseline" ]; then
  r=$(ratio "normalize --analyze" "baseline --analyze");   echo "  --analyze / baseline's     $r"
  r=$(ratio "normalize --loudness" "baseline --loudness"); echo "  --loudness / baseline's    $r  (<= 1.2)  $(check "$r" 1.2 "<=")"
fi
$tool --analyze "$in" 2>/dev/null | sed 's/^/  ours:       /' || true
$feed ebur128 "$in" | sed 's/^/  libebur128: /'
