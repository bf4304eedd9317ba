#!/usr/bin/env bash
# A scan bomb: 20,000 x 20,000 pixels (1.2 GB decoded) in a Deflate TIFF of some
# 160 KB, made here by tests/make_tiff.py. With WI and HE given (3000 x 2000) it must be
# refused on its size within 0.1 s and 50 MB; without them, a 30,000 x 30,000 one, above
# the 600,000,000-pixel limit, must be refused as well. Measured with GNU time.
#   bench/bomb_scan.sh [HDRMILL]      default: build/release/hdrmill
# Prints one line per run: what was said, the wall time and the peak memory; status 1
# when a limit is passed or the refusal is not the one expected.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$(dirname "${1:-$root/build/release/hdrmill}")" && pwd)/$(basename "${1:-hdrmill}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$root/tests/make_tiff.py" bomb.tif 20000 20000 fill=zero deflate=1
python3 "$root/tests/make_tiff.py" vast.tif 30000 30000 fill=zero deflate=1
chart() {
    printf '%s\n' "[$1]" FN=Bomb.KAP "${@:2}" NA=Bomb SC=5000 PR=1 C1=0,0,48.5,-4.5 C2=23,0,48.5,-4.498 \
        C3=23,7,48.499,-4.498 C4=0,7,48.499,-4.5 B1=48.5,-4.5 B2=48.5,-4.498 B3=48.499,-4.498
}
chart bomb.tif WI=3000 HE=2000 > given.dir
chart vast.tif > absent.dir
failed=0
measure() {
    local expected=$2
    /usr/bin/time -v -o time "$bin" -k "$1" > said
    # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:00.00", in seconds.
    seconds=$(awk -F': ' '/Elapsed/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' time)
    kilobytes=$(awk -F': ' '/Maximum resident/ { print $2 }' time)
    printf '%-10s %5s s %6s KB  %s (%s bytes)\n' "$1" "$seconds" "$kilobytes" "$(head -1 said)" "$(stat -c %s "$3")"
    grep -qF "$expected" said || { echo "  expected: $expected"; failed=1; }
    awk -v s="$seconds" -v k="$kilobytes" 'BEGIN { exit !(s <= 0.1 && k <= 50 * 1024) }' ||
        { echo "  over 0.1 s or 50 MB"; failed=1; }
    [ ! -e Bomb.KAP ] || { echo "  a chart was made"; failed=1; }
}
measure given.dir "Image bomb.tif is 20000 x 20000 pixels; the calibration says 3000 x 2000" bomb.tif
measure absent.dir "Could not read image vast.tif: 30,000 x 30,000 pixels, more than the 600,000,000" vast.tif
exit $failed
