#!/usr/bin/env bash
# Throughput of the Windows build, normalize.exe, under Wine on a 16-bit stereo
# WAV (512 MiB by default), side by side with copy_win32.exe, a plain
# ReadFile/WriteFile copy in 64 KiB blocks flushed with FlushFileBuffers (and,
# for -m, the same copy after one read of the input). Every job is a Wine
# program started the same way, so Wine's start-up (about 50 ms with the
# server running) is in every figure alike. The input stays in the page cache;
# before every timed run the disk is synced. Paths must not hold spaces.
#
#   bench/normalize/run_bench_wine.sh <win32 build dir> [size in MiB] [work folder] [runs] [baseline normalize.exe]
#
# The build folder holds bin/normalize.exe and bin/copy_win32.exe; a Wine
# prefix is made (and removed) inside it. A baseline normalize.exe, if given,
# runs in the same rounds, for before/after figures. Prints the median wall time
# of each job and the ratios the targets are set in.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: run_bench_wine.sh <win32 build dir> [MiB] [folder] [runs] [baseline]}" && pwd)
mib=${2:-512}
work=${3:-/tmp}
runs=${4:-5}
baseline=${5:-}
tool="$build/bin/normalize.exe"
copy="$build/bin/copy_win32.exe"
in="$work/normalize-wine-in.wav"
out="$work/normalize-wine-out.wav"

# shellcheck source=../../scripts/lib/wine-env.sh
source "$root/scripts/lib/wine-env.sh"
wine_env_up "$build/bench-wine" >/dev/null
trap 'rm -f "$in" "$out"; wine_env_down' EXIT

win() { printf 'Z:%s' "${1//\//\\}"; }
win_in=$(win "$in")
win_out=$(win "$out")

# shellcheck source=bench_lib.sh
source "$root/bench/normalize/bench_lib.sh"
make_input "$mib" "a -12 dBFS tone" sine 440 gain -12

jobs=(
  "copy (flushed)|wine $copy $win_in $win_out"
  "read + copy|wine $copy --read-first $win_in $win_out"
  "normalize.exe -m 100|wine $tool -m 100 -o $win_out $win_in"
  "normalize.exe -a -6|wine $tool -a -6 -o $win_out $win_in"
  "normalize.exe -l 2|wine $tool -l 2 -o $win_out $win_in"
)
if [ -n "$baseline" ]; then
  jobs+=(
    "before: -m 100|wine $baseline -m 100 -o $win_out $win_in"
    "before: -a -6|wine $baseline -a -6 -o $win_out $win_in"
    "before: -l 2|wine $baseline -l 2 -o $win_out $win_in"
  )
fi
run_rounds
print_medians

echo "ratios (target):"
r=$(ratio "normalize.exe -m 100" "read + copy");    echo "  -m / (read + copy)   $r  (<= 1.5) $(check "$r" 1.5 "<=")"
r=$(ratio "normalize.exe -a -6" "copy (flushed)");  echo "  -a / copy            $r  (<= 1.3) $(check "$r" 1.3 "<=")"
r=$(ratio "normalize.exe -l 2" "copy (flushed)");   echo "  -l / copy            $r  (<= 1.3) $(check "$r" 1.3 "<=")"
r=$(ratio "normalize.exe -m 100" "copy (flushed)"); echo "  -m / copy            $r"
if [ -n "$baseline" ]; then
  r=$(ratio "before: -m 100" "read + copy");    echo "  before: -m / (read + copy)  $r"
  r=$(ratio "before: -a -6" "copy (flushed)");  echo "  before: -a / copy           $r"
  r=$(ratio "before: -l 2" "copy (flushed)");   echo "  before: -l / copy           $r"
fi
