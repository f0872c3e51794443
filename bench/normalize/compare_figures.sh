#!/usr/bin/env bash
# Holds the figures of one build of the normalize tool against another's
# within 0.001 LU / 0.001 dB: for a change meant to move the loudness figures
# by rounding only (where compare_outputs.sh, byte for byte, is too strict).
# A generated table of materials, rates, depths, channels and lengths (the
# short ones on either side of where a block is long enough for the
# K-weighting's lanes), and any files given, each measured by --analyze
# --json with -j 1 and with the default jobs by both builds.
#
#   bench/normalize/compare_figures.sh <normalize> <baseline normalize> [work folder] [more WAV files...]
#
# Prints one line per figure that differs by more than 0.001 and "N files, N
# figures compared, N differ"; exits non-zero on any difference.
set -euo pipefail

tool=$(realpath "${1:?usage: compare_figures.sh <normalize> <baseline> [folder] [files...]}")
base=$(realpath "${2:?usage: compare_figures.sh <normalize> <baseline> [folder] [files...]}")
work=$(mktemp -d "${3:-/tmp}/normalize-figures.XXXXXX")
shift $(($# < 3 ? $# : 3))
trap 'rm -rf "$work"' EXIT

# rate:bits:channels:seconds:synth arguments
table=("48000:24:2:0.99:pinknoise gain -12" "48000:24:2:1.0:pinknoise gain -12"
       "48000:24:2:1.21:pinknoise gain -12" "48000:16:2:1.25:sine 40 gain -6"
       "44100:16:2:1.3:pinknoise tremolo 3 80 gain -9" "44100:16:2:30:pinknoise tremolo 0.1 90 gain -14"
       "48000:24:2:30:brownnoise gain -3 dcshift 0.3" "48000:32:2:12:sine 20 gain -1"
       "96000:24:2:8:square 3000 gain -10" "192000:24:2:5:sine 19000 gain -0.5"
       "44100:16:1:20:pinknoise tremolo 0.3 60 gain -20" "48000:24:6:10:whitenoise tremolo 0.5 70 gain -18"
       "8000:8:1:6:sine 300 gain -3" "22050:16:2:0.3:sine 440 gain -40" "11025:8:1:2.5:pinknoise gain -6"
       "48000:16:2:61:pinknoise tremolo 0.05 95 gain -30")
files=()
for entry in "${table[@]}"; do
  IFS=: read -r rate bits ch seconds synth <<<"$entry"
  f="$work/$rate-$bits-${ch}ch-${seconds}s-${synth// /_}.wav"
  encoding=signed-integer
  [ "$bits" = 8 ] && encoding=unsigned-integer
  [ "$bits" = 32 ] && encoding=floating-point
  # shellcheck disable=SC2086
  sox -q -V1 -D -n -r "$rate" -c "$ch" -e "$encoding" -b "$bits" "$f" synth "$seconds" $synth
  files+=("$f")
done
files+=("$@")

for f in "${files[@]}"; do
  for jobs in "-j 1" ""; do
    # shellcheck disable=SC2086
    "$tool" --analyze --json $jobs "$f" >>"$work/a.json" 2>/dev/null || true
    # shellcheck disable=SC2086
    "$base" --analyze --json $jobs "$f" >>"$work/b.json" 2>/dev/null || true
  done
done

python3 - "$work/a.json" "$work/b.json" <<'PY'
import json, sys
a = [json.loads(line) for line in open(sys.argv[1])]
b = [json.loads(line) for line in open(sys.argv[2])]
assert len(a) == len(b), "the builds measured different numbers of files"
compared = differ = 0
for x, y in zip(a, b):
    for key in sorted(set(x) | set(y)):
        if key == "file":
            continue
        u, v = x.get(key), y.get(key)
        compared += 1
        if isinstance(u, (int, float)) and isinstance(v, (int, float)):
            bad = abs(u - v) > 0.001 + 1e-9
        else:
            bad = u != v
        if bad:
            differ += 1
            print(f"DIFFERS: {x.get('file')}: {key} {u} against {v}")
print(f"{len(a) // 2} files, {compared} figures compared, {differ} differ")
sys.exit(1 if differ else 0)
PY
