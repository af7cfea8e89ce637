#!/usr/bin/env bash
# `vaun --metadata` on a 1-hour MP3 (VBR, Xing) and a 1-hour FLAC: wall time (best of RUNS)
# of this build, of another build of vaun given as BASELINE (an earlier commit, say) and of
# ffprobe reading the same facts, in the same run.
#   VAUN_BUILD=/path/to/build BASELINE=/path/to/old/vaun bench/metadata_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
runs=${RUNS:-5}
vaun="$build/vaun"
[[ -x "$vaun" ]] || { echo "no $vaun (build the vaun target)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 44100 -b 16 -c 2 "$work/hour.wav" synth 3600 pinknoise pinknoise tremolo 0.05 60 vol 0.5
ffmpeg -nostdin -loglevel error -i "$work/hour.wav" -c:a libmp3lame -q:a 2 -metadata title=Hour "$work/hour.mp3"
ffmpeg -nostdin -loglevel error -i "$work/hour.wav" -c:a flac -metadata title=Hour "$work/hour.flac"

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

echo "vaun --metadata, best of $runs (wall seconds):"
for f in hour.mp3 hour.flac; do
  ours=$(best "$vaun" --metadata "$work/$f")
  probe=$(best ffprobe -v error -show_format -show_streams "$work/$f")
  line=$(printf '  %-10s %s MB  this build %s s' "$f" "$(( $(stat -c %s "$work/$f") / 1000000 ))" "$ours")
  if [[ -n "${BASELINE:-}" ]]; then
    base=$(best "$BASELINE" --metadata "$work/$f")
    line+=$(printf '  baseline %s s (%.2fx)' "$base" "$(echo "$ours / $base" | bc -l)")
  fi
  echo "$line  ffprobe $probe s"
done
