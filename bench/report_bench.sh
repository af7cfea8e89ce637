#!/usr/bin/env bash
# `vaun --report` over 100 generated files (lengths from 2 s to 2 min, 1 to 6 channels,
# WAV, FLAC and MP3) against, in the same run, a shell loop of FFmpeg's ebur128 filter
# (peak=true) per file and a loop of `vaun --analyze`, one process per file; and the floor:
# decoding alone through the same reader in one process, a file per core at a time. Prints
# each wall time (best of RUNS) and the ratios.
#   VAUN_BUILD=/path/to/build bench/report_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
vaun="$build/vaun"
peer="$build/bench/vaun-bench-peer"
cmake --build "$build" --target vaun vaun-bench-peer >/dev/null
runs=${RUNS:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files"

lengths=(2 5 10 20 30 45 60 90 120)
rates=(44100 48000)
for ((i = 0; i < 100; i++)); do
  seconds=${lengths[i % ${#lengths[@]}]}
  rate=${rates[i % 2]}
  case $((i % 3)) in
    0) kind=wav channels=$((1 + i % 6)) ;;
    1) kind=flac channels=$((1 + (i / 3) % 6)) ;;
    2) kind=mp3 channels=$((1 + i % 2)) ;; # MPEG audio carries at most two channels
  esac
  noise=$(printf 'pinknoise %.0s' $(seq "$channels"))
  name=$(printf '%s/files/take-%03d' "$work" "$i")
  # A level that wanders, so loudness range and the maxima have something to find.
  sox -n -r "$rate" -b 24 -c "$channels" "$name.wav" synth "$seconds" $noise tremolo 0.2 40 vol 0.3
  if [[ $kind != wav ]]; then
    # FLAC has no name for some of these layouts; FFmpeg says so and writes them anyway.
    ffmpeg -nostdin -v error -y -i "$name.wav" "$name.$kind" 2>/dev/null
    rm "$name.wav"
  fi
done
files=("$work"/files/*)
seconds=$(for f in "${files[@]}"; do ffprobe -v error -show_entries format=duration -of csv=p=0 "$f"; done |
  paste -sd+ | bc -l)
printf '== %d files, %.1f min of audio, %d cores\n' "${#files[@]}" "$(echo "$seconds / 60" | bc -l)" "$(nproc)"

best() { # best wall time in seconds of running "$@" $runs times
  local t best=""
  for ((r = 0; r < runs; r++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [[ -z "$best" ]] || (($(echo "$t < $best" | bc -l))); then best=$t; fi
  done
  printf '%.3f' "$best"
}

ffmpeg_loop() {
  for f in "${files[@]}"; do
    ffmpeg -nostdin -nostats -hide_banner -i "$f" -af ebur128=peak=true -f null - || return
  done
}
analyze_loop() {
  for f in "${files[@]}"; do "$vaun" --analyze "$f" || return; done
}

decode_floor() { "$peer" decode-all "$(nproc)" "${files[@]}"; }

t_report=$(best "$vaun" --report "$work/files")
t_floor=$(best decode_floor)
t_ffmpeg=$(best ffmpeg_loop)
t_analyze=$(best analyze_loop)
printf '  vaun --report (one process, %d jobs)  %8.3f s\n' "$(nproc)" "$t_report"
printf '  ffmpeg ebur128 peak=true, per file     %8.3f s  (%.1fx vaun --report; target >= 10x)\n' \
  "$t_ffmpeg" "$(echo "$t_ffmpeg / $t_report" | bc -l)"
printf '  vaun --analyze, one process per file   %8.3f s  (%.2fx vaun --report; target >= 1.8x)\n' \
  "$t_analyze" "$(echo "$t_analyze / $t_report" | bc -l)"
printf '  decode only, one process (floor)       %8.3f s  (the FFmpeg loop is %.1fx this)\n' \
  "$t_floor" "$(echo "$t_ffmpeg / $t_floor" | bc -l)"
"$vaun" --report --format json "$work/files" 2>&1 >/dev/null | tail -1
