#!/usr/bin/env bash
# Start-up: from launching `vaun FILE` to its first painted window and to the loaded waveform of
# a 1-minute 48 kHz 24-bit stereo WAV, against a bare Qt window in the same run (best of RUNS).
#   VAUN_BUILD=/path/to/build bench/startup_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
runs=${RUNS:-5}
cmake --build "$build" --target bench_startup vaun >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work
sox -n -r 48000 -b 24 -c 2 "$work/minute.wav" synth 60 pinknoise pinknoise
"$build/bench/bench_startup" "$build/vaun" "$work/minute.wav" "$runs"
