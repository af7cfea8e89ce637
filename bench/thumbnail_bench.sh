#!/usr/bin/env bash
# A thumbnail as a file manager asks for it: whole-process wall time and peak memory of
# `vaun-thumbnailer -s 256` on a 1-minute 48 kHz stereo WAV against FFmpeg's showwavespic
# (same run), and the time for a 10-minute stereo WAV, which must stay under 1 s.
#   VAUN_BUILD=/path/to/build bench/thumbnail_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
thumbnailer="$build/vaun-thumbnailer"
[[ -x "$thumbnailer" ]] || { echo "no $thumbnailer (build the vaun-thumbnailer target)" >&2; exit 2; }
runs=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 48000 -b 24 -c 2 "$work/minute.wav" synth 60 pinknoise pinknoise tremolo 0.1 60 vol 0.5
sox -n -r 48000 -b 24 -c 2 "$work/ten.wav" synth 600 pinknoise pinknoise tremolo 0.05 60 vol 0.5

# Prints "<best wall seconds> <peak KiB of that run>" over $runs runs of "$@".
measure() {
  local best="" rss=""
  for ((i = 0; i < runs; i++)); do
    local start end t
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [[ -z "$best" ]] || (($(echo "$t < $best" | bc -l))); then
      best=$t
      rss=$(tail -n 1 "$work/rss")
    fi
  done
  printf '%.3f %s\n' "$best" "$rss"
}

read -r ours ours_kib < <(measure env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$thumbnailer" -s 256 "$work/minute.wav" "$work/ours.png")
read -r ffm ffm_kib < <(measure ffmpeg -nostdin -y -loglevel error -i "$work/minute.wav" \
  -filter_complex showwavespic=s=256x256 -frames:v 1 "$work/ffmpeg.png")
read -r ten ten_kib < <(measure env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$thumbnailer" -s 256 "$work/ten.wav" "$work/ten.png")

echo "1-minute 48 kHz stereo WAV, 256 px (best of $runs, whole process):"
printf '  vaun-thumbnailer   %6.3f s  %7.1f MiB peak\n' "$ours" "$(echo "$ours_kib / 1024" | bc -l)"
printf '  ffmpeg showwaves   %6.3f s  %7.1f MiB peak\n' "$ffm" "$(echo "$ffm_kib / 1024" | bc -l)"
printf '  ratio (ffmpeg / ours)  time %.1fx  memory %.1fx\n' "$(echo "$ffm / $ours" | bc -l)" \
  "$(echo "$ffm_kib / $ours_kib" | bc -l)"
printf '10-minute 48 kHz stereo WAV: %.3f s  %.1f MiB peak  ' "$ten" "$(echo "$ten_kib / 1024" | bc -l)"
if (($(echo "$ten < 1" | bc -l))); then echo "PASS (< 1 s)"; else echo "FAIL (>= 1 s)"; exit 1; fi
