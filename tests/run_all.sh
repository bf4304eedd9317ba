#!/usr/bin/env bash
# Builds and runs every test, stopping at the first failure with a non-zero status:
#   release   g++, warnings as errors: unit, end-to-end and hostile-input tests, the
#             GDAL read-back, the man page lint and the install checks
#   sanitize  clang, warnings as errors, AddressSanitizer + UndefinedBehaviorSanitizer:
#             the same tests, failing on any report
#   windows   hdrmill.exe cross-compiled with mingw-w64, warnings as errors: the
#             end-to-end cases under wine, headers byte-identical to the Linux build's
#   fuzz      clang libFuzzer over the whole conversion, 60 seconds from the seeds
# Each build tree is configured afresh, so no result leans on an earlier run's
# leftovers, and a test whose tool is missing fails here instead of skipping.
set -euo pipefail
cd "$(dirname "$0")/.."
export HDRMILL_STRICT=1 PYTHONDONTWRITEBYTECODE=1
for preset in release sanitize windows fuzz; do
    echo "== $preset"
    cmake --workflow --preset "$preset" --fresh
done
