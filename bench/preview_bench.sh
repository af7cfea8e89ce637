#!/usr/bin/env bash
# The whole preview through the real controller: time from prepare() to the waveform painted
# for 1- and 10-minute 48 kHz stereo WAVs against a decode-only pass (same run), and the memory
# a loaded 1-hour 48 kHz stereo preview (with cover art, analysed on request) holds beyond the
# empty application.
#   VAUN_BUILD=/path/to/build bench/preview_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
runs=${RUNS:-5}
cmake --build "$build" --target bench_preview >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for minutes in 1 10; do
  sox -n -r 48000 -b 24 -c 2 "$work/$minutes.wav" synth $((minutes * 60)) pinknoise pinknoise
  echo "== ${minutes}-minute 48 kHz 24-bit stereo WAV"
  "$build/bench/bench_preview" time "$work/$minutes.wav" "$runs"
done

echo "== 1-hour 48 kHz 16-bit stereo FLAC with a 1200 x 1200 JPEG cover"
# Noise compresses badly: a cover of about a megabyte, as scanned artwork is.
ffmpeg -v error -f lavfi -i "nullsrc=s=1200x1200,geq=random(1)*255:random(2)*255:random(3)*255" -frames:v 1 -q:v 2 \
  "$work/cover.jpg"
sox -n -r 48000 -b 16 -c 2 "$work/hour.flac" synth 3600 pinknoise pinknoise
ffmpeg -v error -i "$work/hour.flac" -i "$work/cover.jpg" -map 0 -map 1 -c copy -disposition:v attached_pic \
  "$work/hour-art.flac"
"$build/bench/bench_preview" memory "$work/hour-art.flac"
