#!/usr/bin/env bash
# What TPDF dither costs: `-m 100` on a 16-bit stereo WAV (512 MiB by
# default, pink noise at -12 dBFS, in the page cache) with the default dither
# and with --dither none (the rounding of before), in the same rounds.
#
#   bench/normalize/run_dither_bench.sh <path to normalize> [size in MiB] [work folder] [runs]
set -euo pipefail

tool=${1:?usage: run_dither_bench.sh <normalize> [MiB] [folder] [runs]}
mib=${2:-512}
work=${3:-/tmp}
runs=${4:-5}
in="$work/normalize-dither-in.wav"
out="$work/normalize-dither-out.wav"
trap 'rm -f "$in" "$out"' EXIT

# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"
make_input "$mib" "pink noise at -12 dBFS" pinknoise gain -12

jobs=(
  "-m 100, dither|$tool -m 100 -o $out $in"
  "-m 100, --dither none|$tool -m 100 --dither none -o $out $in"
)
run_rounds
print_medians

echo "ratio (target):"
r=$(ratio "-m 100, dither" "-m 100, --dither none"); echo "  dither / none  $r  (<= 1.1) $(check "$r" 1.1 "<=")"
