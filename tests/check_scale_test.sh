#!/usr/bin/env bash
# The check of a calibration of 100,000 clicked reference points, made at test time:
# at the tolerances refused (1e-300, 1e9) and at both ends of those taken (0.01,
# 100,000), each run within 2 seconds of processor time and 200 MB, as /usr/bin/time -v
# measures it. An unoptimised build (the sanitizers' Debug build) runs the taken
# tolerances for their findings and sanitizer reports only: it is many times slower.
#   check_scale_test.sh HDRMILL [timed|untimed]
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
timing=${2:-timed}
if [ ! -x /usr/bin/time ] || ! command -v python3 > /dev/null; then
    echo "/usr/bin/time or python3 not found"
    [ -z "${CI:-}${HDRMILL_STRICT:-}" ] || exit 1
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A Mercator scan of 10,000 x 10,000 pixels at 2.5 metres a pixel near Brest, its points
# at distinct pixels clicked up to 2 pixels off on each coordinate.
python3 -B - > CHARTCAL.DIR <<'PY'
import math, random
a, f = 6378137.0, 1 / 298.257223563
e = math.sqrt(f * (2 - f))
def latitude(n):
    t, phi = math.exp(-n / a), 0.0
    for _ in range(30):
        phi = math.pi / 2 - 2 * math.atan(t * ((1 - e * math.sin(phi)) / (1 + e * math.sin(phi))) ** (e / 2))
    return math.degrees(phi)
rng = random.Random(100000)
size, metres = 10000, 2.5 / math.cos(math.radians(48.4))
n0 = a * (math.atanh(math.sin(math.radians(48.4))) - e * math.atanh(e * math.sin(math.radians(48.4))))
e0 = a * math.radians(-4.5)
lines = ["[Many.tif]", "FN=Many.KAP", "NA=Many", f"WI={size}", f"HE={size}", "SC=25000", "PR=1", "DX=2.5", "DY=2.5"]
for i, k in enumerate(rng.sample(range((size + 1) ** 2), 100000)):
    x, y = divmod(k, size + 1)
    lat, lon = latitude(n0 - (y - size / 2) * metres), math.degrees((e0 + (x - size / 2) * metres) / a)
    cx = min(max(x + rng.randint(-2, 2), 0), size)
    cy = min(max(y + rng.randint(-2, 2), 0), size)
    lines.append(f"C{i + 1}={cx},{cy},{lat:.9f},{lon:.9f}")
lines += ["B1=48.46,-4.56", "B2=48.46,-4.44", "B3=48.34,-4.44", "B4=48.34,-4.56"]
print("\r\n".join(lines), end="\r\n")
PY

# run TIMED TOLERANCE EXPECTED-STATUS PATTERN: the last line of standard output must
# match PATTERN, and the run stay within the limits where TIMED is "timed". Processor
# time, not wall time: the machine may be shared.
run() {
    /usr/bin/time -v -o usage "$bin" -c -t "$2" CHARTCAL.DIR > stdout 2> stderr < /dev/null
    status=$?
    [ "$status" = "$3" ] || fail "-t $2: exit status $status, expected $3: $(tail -c 300 stderr)"
    [ ! -s stderr ] || fail "-t $2: standard error: $(tail -c 300 stderr)"
    tail -n 1 stdout | grep -Eq "$4" || fail "-t $2: ends $(tail -n 1 stdout | cut -c1-200)"
    local seconds wall kilobytes
    seconds=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' usage)
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s }' usage)
    kilobytes=$(awk -F': ' '/Maximum resident set size/ { print $2 }' usage)
    echo "-t $2: $seconds s of processor time ($wall s wall), $((kilobytes / 1024)) MB"
    [ "$1" = timed ] || return 0
    awk -v s="$seconds" 'BEGIN { exit !(s <= 2.0) }' || fail "-t $2: $seconds seconds, more than 2"
    [ "$kilobytes" -le 204800 ] || fail "-t $2: $kilobytes kB, more than 200 MB"
}
run timed 1e-300 1 '^Bad tolerance 1e-300$'
run timed 1e9 1 '^Bad tolerance 1e9$'
run "$timing" 100000 0 '^1 charts checked: 1 ok, 0 with warnings, 0 with errors$'
run "$timing" 0.01 1 '^1 charts checked: 0 ok, 0 with warnings, 1 with errors$'
exit $((failures > 0))
