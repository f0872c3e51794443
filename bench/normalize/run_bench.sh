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

# 176400 bytes per second at 44.1 kHz, 2 channels, 16 bits.
seconds=$(awk -v m="$mib" 'BEGIN { printf "%.3f", m * 1048576 / 176400 }')
echo "generating $mib MiB input ($seconds s of a -12 dBFS tone) in $work ..."
sox -q -D -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" sine 440 gain -12
sync
cat "$in" >/dev/null
load=$(cut -d' ' -f1-3 /proc/loadavg)

now() { date +%s.%N; }

copy() { dd if="$in" of="$out" bs=64K conv=fsync status=none; }
read2_write1() { dd if="$in" of=/dev/null bs=64K status=none && copy; }

# label|command: every round runs each job once, so that a change in the
# machine's load during the run falls on all of them alike. sox runs with -D
# (no dither) so that it does exactly our job.
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

echo "median of $runs runs each (load average before: $load, after: $(cut -d' ' -f1-3 /proc/loadavg)):"
for job in "${jobs[@]}"; do
  label=${job%%|*}
  median[$label]=$(printf '%s\n' ${times[$label]} | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
  printf '  %-22s %7.3f s   (runs: %s)\n' "$label" "${median[$label]}" "${times[$label]% }"
done

ratio() { awk -v a="${median[$1]}" -v b="${median[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
check() { awk -v r="$1" -v limit="$2" -v dir="$3" 'BEGIN { ok = dir == "<=" ? r <= limit : r >= limit; print ok ? "ok" : "MISSED" }'; }

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
