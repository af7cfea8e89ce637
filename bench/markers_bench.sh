#!/usr/bin/env bash
# Markers cost nothing a user waits for: `vaun --metadata` and the time from prepare() to the
# painted waveform on a 10-minute 48 kHz stereo WAV, plain and with 10,000 labelled cue
# points, for this build and for another build given as BASELINE_BUILD (an earlier commit's
# build folder holding vaun and bench/bench_preview), in the same run (best of RUNS).
#   VAUN_BUILD=/path/to/build BASELINE_BUILD=/path/to/old/build bench/markers_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
runs=${RUNS:-5}
cmake --build "$build" --target bench_preview vaun >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 48000 -b 24 -c 2 "$work/plain.wav" synth 600 pinknoise pinknoise
python3 - "$work/plain.wav" "$work/markers.wav" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
def chunk(tag, payload):
    return tag + struct.pack('<I', len(payload)) + payload + (b'\0' if len(payload) % 2 else b'')
count = 10000
cue = struct.pack('<I', count) + b''.join(struct.pack('<II4sIII', i + 1, 0, b'data', 0, 0, i * 2880) for i in range(count))
adtl = b'adtl' + b''.join(chunk(b'labl', struct.pack('<I', i + 1) + b'Marker %d\0' % (i + 1)) for i in range(count))
data += chunk(b'cue ', cue) + chunk(b'LIST', adtl)
struct.pack_into('<I', data, 4, len(data) - 8)
open(sys.argv[2], 'wb').write(data)
PY

best() {
  local best=""
  for ((i = 0; i < runs; i++)); do
    local start end t
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [[ -z "$best" ]] || (($(echo "$t < $best" | bc -l))); then best=$t; fi
  done
  printf '%.3f' "$best"
}
# The preview benchmark's own best time to the painted waveform, in milliseconds.
painted() { "$1/bench/bench_preview" time "$2" "$runs" 2>/dev/null | sed -n 's/^prepare to waveform painted *\([0-9.]*\) ms$/\1/p'; }

builds=("$build")
[[ -n "${BASELINE_BUILD:-}" ]] && builds+=("$BASELINE_BUILD")
printf '%-10s %-10s %14s %18s\n' file build "--metadata s" "painted wave ms"
for f in plain markers; do
  for b in "${builds[@]}"; do
    name=this; [[ "$b" != "$build" ]] && name=baseline
    printf '%-10s %-10s %14s %18s\n' "$f" "$name" "$(best "$b/vaun" --metadata "$work/$f.wav")" "$(painted "$b" "$work/$f.wav")"
  done
done
