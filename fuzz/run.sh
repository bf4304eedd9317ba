#!/usr/bin/env bash
# Fuzzes the whole conversion for a bounded time, starting from the calibration files
# of the examples and the end-to-end cases, or the chart encoder (hdrmill_fuzz_kap),
# which makes its images from any bytes; fails on any finding.
#   fuzz/run.sh [SECONDS] [FUZZER] [fresh]
# default: 60 s, build/fuzz/fuzz/hdrmill_fuzz. Build the fuzzer first:
#   cmake --preset fuzz && cmake --build --preset fuzz
# Inputs found to add coverage are kept in build/fuzz/corpus for the next run; with
# "fresh" (as the tests run it) the run starts from the seeds alone and keeps nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
fuzzer=${2:-$root/build/fuzz/fuzz/hdrmill_fuzz}
seeds=$(mktemp -d)
if [ "${3:-}" = fresh ]; then
    corpus=$(mktemp -d)
    trap 'rm -rf "$seeds" "$corpus"' EXIT
else
    corpus=$root/build/fuzz/corpus
    trap 'rm -rf "$seeds"' EXIT
    mkdir -p "$corpus"
fi
# Seeds: each calibration file, behind the options byte (0: plain conversion).
i=0
for file in "$root"/examples/* "$root"/tests/cases/*/in/*; do
    if [ -f "$file" ]; then
        { printf '\0'; cat "$file"; } > "$seeds/seed$i"
        i=$((i + 1))
    fi
done
cd "$(dirname "$fuzzer")"
"$fuzzer" -max_total_time="$seconds" -seed="${FUZZ_SEED:-0}" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
    -print_final_stats=1 "$corpus" "$seeds"
