# The part the normalize benchmarks share, sourced by each: the input, the
# timed rounds and the medians. The script sets `in`, `out` and `runs`, and
# lists its jobs in the array `jobs` as "label|command".

# make_input <MiB> <what it is> <sox synth arguments...>: a 44.1 kHz 16-bit
# stereo WAV at `in`, in the page cache; notes the load average in `load`.
make_input() {
  local mib=$1 what=$2 seconds
  shift 2
  # 176400 bytes per second at 44.1 kHz, 2 channels, 16 bits.
  seconds=$(awk -v m="$mib" 'BEGIN { printf "%.3f", m * 1048576 / 176400 }')
  echo "generating $mib MiB input ($seconds s of $what) in $(dirname "$in") ..."
  sox -q -D -n -r 44100 -c 2 -b 16 "$in" synth "$seconds" "$@"
  sync
  cat "$in" >/dev/null
  load=$(cut -d' ' -f1-3 /proc/loadavg)
}

now() { date +%s.%N; }

declare -A times median

# Every round runs each job once, so that a change in the machine's load during
# the run falls on all of them alike. Before every timed run the disk is
# synced, so that no run pays for the previous one's write-back.
run_rounds() {
  local r job label start end
  for ((r = 1; r <= runs; r++)); do
    echo "round $r of $runs ..."
    for job in "${jobs[@]}"; do
      label=${job%%|*}
      rm -f "$out"
      sync
      sleep 1
      start=$(now)
      ${job#*|} </dev/null >/dev/null 2>&1
      end=$(now)
      times[$label]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') "
    done
  done
  rm -f "$out"
}

print_medians() {
  local job label
  echo "median of $runs runs each (load average before: $load, after: $(cut -d' ' -f1-3 /proc/loadavg)):"
  for job in "${jobs[@]}"; do
    label=${job%%|*}
    median[$label]=$(printf '%s\n' ${times[$label]} | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
    printf '  %-22s %7.3f s   (runs: %s)\n' "$label" "${median[$label]}" "${times[$label]% }"
  done
}

ratio() { awk -v a="${median[$1]}" -v b="${median[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
check() { awk -v r="$1" -v limit="$2" -v dir="$3" 'BEGIN { ok = dir == "<=" ? r <= limit : r >= limit; print ok ? "ok" : "MISSED" }'; }

# cpu_of <command...>: the user + system seconds of one run (its own rusage).
cpu_of() {
  python3 -c '
import os, subprocess, sys
child = subprocess.Popen(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, _, used = os.wait4(child.pid, 0)
print("%.4f" % (used.ru_utime + used.ru_stime))' "$@"
}
# median_of <numbers...>
median_of() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# figure <array> <label>: the median of the runs noted as "<a> <b> ..." in
# the associative array named, under the label.
figure() {
  local -n runs_of=$1
  # shellcheck disable=SC2086
  median_of ${runs_of[$2]}
}
