#!/usr/bin/env bash
# Times `vaun --analyze` against FFmpeg's ebur128 filter (peak=true), libebur128
# (I | LRA | TRUE_PEAK) and a decode-only pass, on 10-minute 48 kHz 24-bit stereo and
# 6-channel WAVs, in one run. Prints each time (best of RUNS), the ratios, and how far
# our integrated loudness and sample peak are from libebur128's. With BASELINE set to another
# build's vaun (an earlier commit, say) it is timed too, in the same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-}
if [[ -z "$build" ]]; then
  "$root/scripts/build" >/dev/null
  build="$root/build"
fi
vaun="$build/vaun"
peer="$build/bench/vaun-bench-peer"
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pink noise whose level drifts slowly, so loudness range has something to measure.
sox -n -r 48000 -b 24 -c 2 "$work/stereo.wav" synth 600 pinknoise pinknoise tremolo 0.05 60 vol 0.5
sox -n -r 48000 -b 24 -c 6 "$work/six.wav" synth 600 pinknoise pinknoise pinknoise pinknoise pinknoise pinknoise \
  tremolo 0.05 60 vol 0.4

best() { # best wall time in seconds of running "$@" $runs times
  local t best=""
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [[ -z "$best" ]] || (($(echo "$t < $best" | bc -l))); then best=$t; fi
  done
  printf '%.3f' "$best"
}

field() { python3 -c 'import json,sys; print(json.loads(sys.argv[1])[sys.argv[2]])' "$1" "$2"; }

for name in stereo six; do
  f="$work/$name.wav"
  echo "== $name: $(sox --i -c "$f") channels, $(sox --i -D "$f") s"
  t_vaun=$(best "$vaun" --analyze "$f")
  t_ffmpeg=$(best ffmpeg -nostdin -nostats -hide_banner -i "$f" -af ebur128=peak=true -f null -)
  t_lib=$(best "$peer" ebur128 "$f")
  t_decode=$(best "$peer" decode "$f")
  t_ffdecode=$(best ffmpeg -nostdin -nostats -hide_banner -i "$f" -f null -)
  faster_peer=$(echo "if ($t_ffmpeg < $t_lib) $t_ffmpeg else $t_lib" | bc -l)
  printf '  vaun --analyze        %8.3f s\n' "$t_vaun"
  if [[ -n "${BASELINE:-}" ]]; then
    t_base=$(best "$BASELINE" --analyze "$f")
    printf '  baseline --analyze    %8.3f s  (this build is %.3fx its time)\n' "$t_base" "$(echo "$t_vaun / $t_base" | bc -l)"
  fi
  printf '  ffmpeg ebur128 peak   %8.3f s  (%.1fx vaun)\n' "$t_ffmpeg" "$(echo "$t_ffmpeg / $t_vaun" | bc -l)"
  printf '  libebur128            %8.3f s  (%.1fx vaun)\n' "$t_lib" "$(echo "$t_lib / $t_vaun" | bc -l)"
  printf '  decode only (ours)    %8.3f s  (vaun is %.2fx the floor)\n' "$t_decode" "$(echo "$t_vaun / $t_decode" | bc -l)"
  printf '  decode only (ffmpeg)  %8.3f s\n' "$t_ffdecode"
  printf '  speed-up over the faster peer: %.1fx\n' "$(echo "$faster_peer / $t_vaun" | bc -l)"
  ours=$("$vaun" --analyze "$f")
  theirs=$("$peer" ebur128 "$f")
  echo "  vaun:       $ours"
  echo "  libebur128: $theirs"
  python3 - "$ours" "$theirs" <<'PY'
import json, sys
a, b = json.loads(sys.argv[1]), json.loads(sys.argv[2])
for k, tol in (("integrated", 0.05), ("samplePeak", 0.01), ("truePeak", None), ("lra", None)):
    d = abs(a[k] - b[k])
    verdict = "" if tol is None else ("  ok" if d <= tol else f"  OUT OF TOLERANCE ({tol})")
    print(f"  {k:11s} difference {d:.4f}{verdict}")
PY
done
