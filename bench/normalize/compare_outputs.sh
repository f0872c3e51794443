#!/usr/bin/env bash
# Holds one build of the normalize tool against another, byte for byte: a
# generated set of WAV files (every sample format, plain and
# WAVE_FORMAT_EXTENSIBLE, RIFF and RF64, 1 to 6 channels, 8 to 192 kHz, extra
# chunks, silence, NaN and infinities, broken headers) goes through every mode
# of both, and every output file, standard output, standard error and exit
# code must match. For a change meant to leave behaviour alone.
#
#   bench/normalize/compare_outputs.sh <normalize> <baseline normalize> [work folder]
#
# Prints one line per difference and "N passed, N failed" (one per run of a
# file in a mode, and one per whole run over many files); exits non-zero on
# any difference.
set -euo pipefail

tool=$(realpath "${1:?usage: compare_outputs.sh <normalize> <baseline> [folder]}")
base=$(realpath "${2:?usage: compare_outputs.sh <normalize> <baseline> [folder]}")
work=$(mktemp -d "${3:-/tmp}/normalize-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/a" "$work/b"

# sox -e/-b per format: unsigned 8, signed 16/24/32, float 32/64.
formats=("u8:-e unsigned-integer -b 8" "s16:-e signed-integer -b 16" "s24:-e signed-integer -b 24"
         "s32:-e signed-integer -b 32" "f32:-e floating-point -b 32" "f64:-e floating-point -b 64")
# Channels, rate and signal; sox writes WAVE_FORMAT_EXTENSIBLE for more than
# two channels or more than 16 bits.
shapes=("1:8000:synth 1.2 sine 1000 gain -3"
        "2:44100:synth 2.5 pinknoise tremolo 0.5 80 gain -9"
        "2:48000:synth 1.5 sine 997 gain -0.1"
        "6:48000:synth 1 whitenoise gain -20"
        "2:96000:synth 1 sine 11025 gain -1"
        "1:192000:synth 0.6 square 3000 gain -6"
        "2:22050:synth 0.3 sine 440 gain -40")
for f in "${formats[@]}"; do
  for s in "${shapes[@]}"; do
    IFS=: read -r ch rate effect <<<"$s"
    # shellcheck disable=SC2086
    sox -q -D -n -r "$rate" -c "$ch" ${f#*:} "$work/in/${f%%:*}-${ch}ch-${rate}.wav" $effect
  done
  # shellcheck disable=SC2086
  sox -q -D -n -r 44100 -c 2 ${f#*:} "$work/in/${f%%:*}-silent.wav" trim 0 1
done

# Hand-made variants of sox's files: RF64, a LIST chunk before and an odd one
# after the data, an unfinished RIFF size, NaN and infinities in floats, a cut
# data chunk, and files that are no WAV at all.
python3 - "$work/in" <<'EOF'
import os, struct, sys
d = sys.argv[1]
def chunks(path):
    b = open(path, 'rb').read()
    out, i = [], 12
    while i + 8 <= len(b):
        cid, size = b[i:i+4], struct.unpack('<I', b[i+4:i+8])[0]
        out.append((cid, b[i+8:i+8+size])); i += 8 + size + (size & 1)
    return out
def riff(cs, size=None):
    body = b''.join(c + struct.pack('<I', len(p)) + p + b'\0' * (len(p) & 1) for c, p in cs)
    return b'RIFF' + struct.pack('<I', size if size is not None else 4 + len(body)) + b'WAVE' + body
def rf64(cs):
    data = dict(cs)[b'data']
    body = b''.join(c + struct.pack('<I', 0xFFFFFFFF if c == b'data' else len(p)) + p + b'\0' * (len(p) & 1)
                    for c, p in cs)
    ds64 = struct.pack('<QQQI', 4 + 36 + len(body), len(data), 0, 0)
    return b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE' + b'ds64' + struct.pack('<I', 28) + ds64 + body
for name in sorted(os.listdir(d)):
    if 'silent' in name: continue
    stem, cs = name[:-4], chunks(os.path.join(d, name))
    if '2ch-44100' in name or '6ch' in name:
        open(os.path.join(d, stem + '-rf64.wav'), 'wb').write(rf64(cs))
    if '1ch-8000' in name:
        extra = [(b'LIST', b'INFOISFT\x05\0\0\0test\0\0')] + cs + [(b'odd ', b'abc')]
        open(os.path.join(d, stem + '-chunks.wav'), 'wb').write(riff(extra))
        open(os.path.join(d, stem + '-unsized.wav'), 'wb').write(riff(cs, 0xFFFFFFFF))
    if name.startswith('f') and '2ch-48000' in name:
        fmt, data = dict(cs)[b'fmt '], bytearray(dict(cs)[b'data'])
        width = 4 if name.startswith('f32') else 8
        bad = [float('nan'), float('inf'), float('-inf')]
        for k, v in enumerate(bad * 50):
            struct.pack_into('<f' if width == 4 else '<d', data, (k * 997 % (len(data) // width)) * width, v)
        open(os.path.join(d, stem + '-nan.wav'), 'wb').write(riff([(b'fmt ', fmt), (b'data', bytes(data))]))
    if name.startswith('s24-2ch-48000'):
        b = riff(cs)
        open(os.path.join(d, stem + '-cut.wav'), 'wb').write(b[:len(b) // 2 + 1])
open(os.path.join(d, 'not-a-wav.wav'), 'wb').write(b'RIFX' + b'\0' * 64)
open(os.path.join(d, 'empty.wav'), 'wb').write(b'')
EOF

modes=("-l 2" "-l -3" "-a -6" "-a 12" "-m 100" "-m 50 -x 1" "--loudness -23"
       "--loudness -14 --true-peak -1" "--loudness -9.5 --true-peak -0.1 -b 16" "--analyze" "--analyze --json")
passed=0 failed=0
# Both builds write to the same path, one after the other, so that the
# messages naming it match too.
run() { # <build> <side> <mode> <input>
  local out="$work/out.wav"
  rm -f "$out"
  # shellcheck disable=SC2086
  (cd "$work/in" && "$1" $3 $([[ $3 == --analyze* ]] || echo "-o $out") "$4") \
    >"$work/$2/stdout" 2>"$work/$2/stderr" </dev/null && echo 0 >"$work/$2/rc" || echo $? >"$work/$2/rc"
  if [ -f "$out" ]; then mv "$out" "$work/$2/out.wav"; else rm -f "$work/$2/out.wav"; fi
}
count=$(find "$work/in" -name '*.wav' | wc -l)
echo "comparing $count files in ${#modes[@]} modes ..."
for file in "$work"/in/*.wav; do
  for mode in "${modes[@]}"; do
    run "$base" a "$mode" "$(basename "$file")"
    run "$tool" b "$mode" "$(basename "$file")"
    if diff -r -q "$work/a" "$work/b" >/dev/null; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "DIFFERS: normalize $mode $(basename "$file"): $(diff -r -q "$work/a" "$work/b" | tr '\n' ' ')"
    fi
  done
done
# Whole runs over many files at once, in place on copies of the set: several
# summaries, a pattern that matches nothing, a file named twice, the worst
# exit code, and (through `script`, a terminal) the progress lines.
batch() { # <build> <side> <arguments, expanded in the folder of the files>
  local build=$1 side=$2 args=$3
  rm -rf "$work/$side" && mkdir -p "$work/$side" && cp -r "$work/in" "$work/$side/files"
  (cd "$work/$side/files" && eval "\"\$build\" $args") >"$work/$side/stdout" 2>"$work/$side/stderr" </dev/null &&
    echo 0 >"$work/$side/rc" || echo $? >"$work/$side/rc"
  (cd "$work/$side/files" && script -qec "$build --analyze s16-2ch-44100.wav f32-2ch-48000.wav;
    $build -m 90 -o t.wav s16-2ch-44100.wav; $build --loudness -20 -o t.wav f32-2ch-48000-nan.wav" /dev/null) \
    >"$work/$side/terminal" </dev/null || true
}
for args in "-a -3 *.wav nothing*.wav" "-m 100 -x 3 s16-2ch-44100.wav ./s16-2ch-44100.wav f64-2ch-48000-nan.wav" \
            "--loudness -16 --true-peak -1 s*.wav" "--analyze --json *.wav none.wav"; do
  batch "$base" a "$args"
  batch "$tool" b "$args"
  if diff -r -q "$work/a" "$work/b" >/dev/null; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "DIFFERS: normalize $args (whole run): $(diff -r -q "$work/a" "$work/b" | tr '\n' ' ')"
  fi
done
rm -rf "$work/a/files" "$work/b/files"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
