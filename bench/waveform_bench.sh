#!/usr/bin/env bash
# Times WaveformGenerator::generateChannels(512) against a decode-only pass through the same
# AudioFile, on a 10-minute 48 kHz 24-bit stereo pink-noise WAV, in one run (best of RUNS
# each). Prints both times and the ratio; exits 1 when the ratio is above 1.5.
#   VAUN_BUILD=/path/to/build bench/waveform_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
runs=${RUNS:-3}
cmake --build "$build" --target bench_waveform >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 48000 -b 24 -c 2 "$work/f.wav" synth 600 pinknoise pinknoise
"$build/bench/bench_waveform" "$work/f.wav" "$runs"
