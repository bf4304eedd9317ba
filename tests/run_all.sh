#!/usr/bin/env bash
# Builds and runs every test, stopping at the first failure with a non-zero status:
#   release   g++, warnings as errors: unit, end-to-end and hostile-input tests
#   sanitize  clang, warnings as errors, AddressSanitizer + UndefinedBehaviorSanitizer:
#             the same tests, failing on any report
#   windows   hdrmill.exe cross-compiled with mingw-w64, warnings as errors: the
#             end-to-end cases under wine, headers byte-identical to the Linux build's
#   fuzz      clang libFuzzer over the whole conversion, 60 seconds from the seed corpus
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in release sanitize windows fuzz; do
    echo "== $preset"
    cmake --workflow --preset "$preset"
done
