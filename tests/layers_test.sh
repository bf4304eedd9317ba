#!/usr/bin/env bash
# The layers look only down: a file includes its own layer and those below it, never
# one above. Bottom to top: platform, text, calibration, header, check, scan, palette,
# kap, driver.
#   layers_test.sh SOURCE_DIR
set -u
cd "$1" || exit 1
layers=(platform text calibration header check scan palette kap driver)
rank() { local i; for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }
failures=0
for layer in "${layers[@]}"; do
    [ -d "$layer" ] || continue
    own=$(rank "$layer")
    while IFS=: read -r file included; do
        if [ "$(rank "$included")" -gt "$own" ]; then
            echo "$file includes $included/, a layer above $layer/"
            failures=$((failures + 1))
        fi
    done < <(grep -H -o -E '^#include "[a-z_]+/' "$layer"/*.[ch]pp | sed -E 's/#include "([a-z_]+)\/$/\1/')
done
[ "$failures" -eq 0 ] && echo "every include looks down the layers"
exit $((failures > 0))
