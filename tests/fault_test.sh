#!/usr/bin/env bash
# Faults the system gives only now and then, made on demand by the preloaded
# fault_shim, on the real binary in a temporary directory:
#   fault_test.sh HDRMILL SHIM read|close|stdout|fsync|rename
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
scans=$(cd "$(dirname "$0")/scans" && pwd)
shim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# With sanitizers the shim comes after their runtime, which is in the program itself.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
fail() { echo "FAIL: $*"; exit 1; }
# with_fault FAULT ARGUMENTS...: runs the program with FAULT into stdout, gives its status.
with_fault() { HDRMILL_FAULT=$1 LD_PRELOAD=$shim "$bin" "${@:2}" > stdout; }

case $3 in
read)
    # A read error part-way through the file: the charts before it are made, the
    # chart being read is dropped, and the run fails.
    { printf '[First.tif]\nC1=1,2,3,4\n[Second.tif]\n'
      awk 'BEGIN { for (i = 1; i <= 20000; i++) printf "C%d=%d,%d,10.5,20.25\n", i, i, i }'; } > CHARTCAL.DIR
    with_fault read-after:65536 CHARTCAL.DIR
    status=$?
    [ "$status" = 1 ] || fail "read error: exit status $status, expected 1"
    printf 'Create First.hdr\nCould not read file CHARTCAL.DIR\n' | cmp -s - stdout || fail "read error: $(cat stdout)"
    [ -f First.hdr ] && [ ! -e Second.hdr ] || fail "read error: headers $(ls)"
    ;;
close)
    # A header whose close fails is not put in place: the old one stays, nothing is left.
    printf '[Small.tif]\nC1=0,0,10,20\n' > CHARTCAL.DIR
    printf 'an old header\r\n' > Small.hdr
    with_fault close-header CHARTCAL.DIR
    status=$?
    [ "$status" = 1 ] || fail "close: exit status $status, expected 1"
    printf 'Create Small.hdr\nCould not write file Small.hdr\n' | cmp -s - stdout || fail "close: $(cat stdout)"
    printf 'an old header\r\n' | cmp -s - Small.hdr || fail "close: the old header was changed"
    [ -z "$(find . -name '.hdrmill-*')" ] || fail "close: temporary file left"
    ;;
fsync|rename)
    # A header and a chart whose saving to disk, or putting in place, fails: the old
    # file stays, no temporary file is left, and the run fails, saying so.
    cat > CHARTCAL.DIR <<'END'
[png_rgb.png]
FN=Small.KAP
SC=5000
PR=1
C1=0,0,48.5,-4.5
C2=23,0,48.5,-4.498
C3=23,7,48.499,-4.498
C4=0,7,48.499,-4.5
B1=48.5,-4.5
B2=48.5,-4.498
B3=48.499,-4.498
B4=48.499,-4.5
END
    for made in png_rgb.hdr Small.KAP; do
        printf 'VER/2.0\r\n' > "$made"
        if [ "$made" = png_rgb.hdr ]; then with_fault "$3" CHARTCAL.DIR; else with_fault "$3" -k -i "$scans" CHARTCAL.DIR; fi
        status=$?
        [ "$status" = 1 ] || fail "$3 $made: exit status $status, expected 1"
        printf 'Create %s\nCould not write file %s\n' "$made" "$made" | cmp -s - stdout || fail "$3 $made: $(cat stdout)"
        printf 'VER/2.0\r\n' | cmp -s - "$made" || fail "$3 $made: the old file was changed"
        [ -z "$(find . -name '.hdrmill-*')" ] || fail "$3 $made: temporary file left"
    done
    ;;
stdout)
    # Standard output that fails once and then works: the later lines still come, and
    # the run still ends with 1, since a line was lost.
    printf '[A]\nFN=A.tif\n[B]\nFN=B.tif\n[C]\nFN=C.tif\n' > CHARTCAL.DIR
    with_fault flush-once:2 -l CHARTCAL.DIR
    status=$?
    [ "$status" = 1 ] || fail "standard output: exit status $status, expected 1"
    tail -n 1 stdout | grep -q '^C ' || fail "standard output: later lines lost: $(cat stdout)"
    ;;
esac
echo "$3: ok"
