#!/usr/bin/env bash
# Throughput of the normalize tool on a 16-bit stereo WAV (1 GiB by default),
# measured side by side with plain copying, two reads and one write, and sox
# doing the same job. The input stays in the page cache; paths must not hold
# spaces. The copies use the
# tool's default 64 KiB blocks and flush their output to disk, as the tool
# does; sox does not flush. Before every timed run the disk is synced, so that
# no run pays for the previous one's write-back.
#
#   bench/normalize/run_bench.sh <path to normalize> [size in MiB] [work folder] [runs] [baseline normalize]
#
# A baseline build of the tool, if given, runs in the same rounds, for
# before/after figures. Prints the median wall time of each job and the ratios
# the targets are set in.
set -euo pipefail

tool=${1:?usage: run_bench.sh <normalize> [MiB] [folder] [runs] [baseline]}
mib=${2:-1024}
work=${3:-/tmp}
runs=${4:-3}
baseline=${5:-}
in="$work/normalize-bench-in.wav"
out="$work/normalize-bench-out.wav"
trap 'rm -f "$in" "$out"' EXIT

# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"
make_input "$mib" "a -12 dBFS tone" sine 440 gain -12

copy() { dd if="$in" of="$out" bs=64K conv=fsync status=none; }
read2_write1() { dd if="$in" of=/dev/null bs=64K status=none && copy; }

# sox runs with -D (no dither) so that it does exactly our job.
jobs=(
  "copy (fsync)|copy"
  "2 reads + 1 write|read2_write1"
  "normalize -m 100|$tool -m 100 -o $out $in"
  "sox gain -n|sox -D $in $out gain -n"
  "normalize -a -6|$tool -a -6 -o $out $in"
  "sox gain -6|sox -D $in $out gain -6"
  "normalize -l 2|$tool -l 2 -o $out $in"
  "sox vol 2 amplitude|sox -D $in $out vol 2 amplitude"
)
if [ -n "$baseline" ]; then
  jobs+=(
    "before: -m 100|$baseline -m 100 -o $out $in"
    "before: -a -6|$baseline -a -6 -o $out $in"
    "before: -l 2|$baseline -l 2 -o $out $in"
  )
fi
run_rounds
print_medians

echo "ratios (target):"
r=$(ratio "normalize -m 100" "2 reads + 1 write"); echo "  -m / (2 reads + 1 write)  $r  (<= 1.5) $(check "$r" 1.5 "<=")"
r=$(ratio "normalize -a -6" "copy (fsync)");       echo "  -a / copy                  $r  (<= 1.3) $(check "$r" 1.3 "<=")"
r=$(ratio "normalize -l 2" "copy (fsync)");        echo "  -l / copy                  $r  (<= 1.3) $(check "$r" 1.3 "<=")"
r=$(ratio "sox gain -n" "normalize -m 100");       echo "  sox gain -n / -m           $r  (>= 6)   $(check "$r" 6 ">=")"
r=$(ratio "sox gain -6" "normalize -a -6");        echo "  sox gain -6 / -a           $r  (>= 6)   $(check "$r" 6 ">=")"
r=$(ratio "sox vol 2 amplitude" "normalize -l 2"); echo "  sox vol 2 / -l             $r  (>= 6)   $(check "$r" 6 ">=")"
r=$(ratio "normalize -m 100" "copy (fsync)");      echo "  -m / copy                  $r"
if [ -n "$baseline" ]; then
  r=$(ratio "before: -m 100" "2 reads + 1 write"); echo "  before: -m / (2 reads + 1 write)  $r"
  r=$(ratio "before: -a -6" "copy (fsync)");       echo "  before: -a / copy                  $r"
  r=$(ratio "before: -l 2" "copy (fsync)");        echo "  before: -l / copy                  $r"
fi
