#!/usr/bin/env bash
# Builds and runs every test: the g++ release build and the clang build under
# AddressSanitizer and UndefinedBehaviorSanitizer, both with warnings as errors.
# Stops at the first failure with a non-zero exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in release sanitize; do
    echo "== $preset"
    cmake --workflow --preset "$preset"
done
