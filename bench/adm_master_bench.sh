#!/usr/bin/env bash
# A 128-track ADM master (7.1.2 bed + 118 objects, positions every 30 ms over 60 s: close to
# the 64 MiB "axml" the reader takes): memory and CPU of playing it on headphones through the
# ADM route, against decoding it, and the memory a loaded preview of it holds.
#   VAUN_BUILD=/path/to/build bench/adm_master_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VAUN_BUILD:-$root/build}
cmake --build "$build" --target bench_adm_master bench_preview >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/bench_adm_master" write "$work/master.wav" "${SECONDS_OF_AUDIO:-60}" "${STEP:-0.03}"
echo "== playback (two outputs)"
"$build/bench/bench_adm_master" play "$work/master.wav"
echo "== preview"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_preview" memory "$work/master.wav"
