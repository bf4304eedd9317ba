#!/usr/bin/env bash
# Inputs too large to keep as files, run on the real binary in a temporary directory;
# each check makes its input and its expected bytes from the record layouts.
#   hostile_test.sh HDRMILL big_line|many_lines|million_charts|no_chart|late_ctrl_z
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
group=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: runs hdrmill here; keeps standard output in ./stdout and the status in $status.
run() { "$bin" "$@" > stdout < /dev/null; status=$?; }

expect_status() { [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1"; }

# expect_bytes FILE EXPECTED-FILE WHAT
expect_bytes() { cmp -s "$1" "$2" || fail "$3: $1 differs from what the rules give"; }

# The header of a chart that has only a section line and an NA value.
named_header() {
    printf '! Created by hdrmill beta09 - Use at your own risk!\r\nVER/2.0\r\nBSB/NA=%s\r\n' "$1"
    printf '    NU=,RA=,,DU=0\r\nKNP/SC=-2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN\r\n'
    printf '    PI=UNKNOWN,SP=UNKNOWN,SK=0.0,TA=90.0\r\n    UN=UNKNOWN,SD=UNKNOWN\r\n'
    printf '    DX=-2.14748e+09,DY=-2.14748e+09\r\nOST/1\r\nCPH/0.0\r\nDTM/0,0\r\n'
}

group_big_line() {
    # One line of 100 MB.
    { printf '[Big.tif]\nNA='; head -c 100000000 /dev/zero | tr '\0' 'x'; printf '\n'; } > big.dir
    run big.dir
    expect_status 0 "100 MB line"
    { named_header "" | sed -n 1,2p; printf 'BSB/NA='; head -c 100000000 /dev/zero | tr '\0' 'x'
      printf '\r\n'; named_header "" | sed -n '4,$p'; } > expected_big
    expect_bytes Big.hdr expected_big "100 MB line"
}

group_many_lines() {
    # A chart of 100,000 stored lines: every one a reference point.
    awk 'BEGIN { print "[Many.tif]"; for (i = 1; i <= 100000; i++) printf "C%d=%d,%d,%d.5,-%d.25\n", i, i, -i, i % 90, i % 180 }' > many.dir
    run many.dir
    expect_status 0 "100,000 stored lines"
    { named_header "" | sed -n 1,9p | sed 's/^BSB\/NA=\r$/BSB\/NA=\r/'
      awk 'BEGIN { for (i = 1; i <= 100000; i++) printf "REF/%d,%d,%d,%d.5,-%d.25\r\n", i, i, -i, i % 90, i % 180
                   printf "CPH/0.0\r\nDTM/0,0\r\n" }'; } > expected_many
    expect_bytes Many.hdr expected_many "100,000 stored lines"
}

group_million_charts() {
    # A million tiny charts, listed.
    awk 'BEGIN { for (i = 1; i <= 1000000; i++) printf "[c]\nFN=c%d.KAP\n", i % 10 }' > million.dir
    run -l million.dir
    expect_status 0 "a million charts listed"
    awk 'BEGIN { for (i = 1; i <= 1000000; i++) printf "c%-14d\n", i % 10 }' > expected_list
    expect_bytes stdout expected_list "a million charts listed"
}

group_no_chart() {
    # Inputs with no chart at all: status 1, nothing said, nothing written.
    local input
    for input in empty only_cr only_blanks only_ctrl_z; do
        case $input in
            empty) : > in.dir ;;
            only_cr) head -c 1000 /dev/zero | tr '\0' '\r' > in.dir ;;
            only_blanks) head -c 1000 /dev/zero | tr '\0' ' ' > in.dir ;;
            only_ctrl_z) printf '\032[A.tif]\n' > in.dir ;;
        esac
        run in.dir
        expect_status 1 "$input"
        [ -s stdout ] && fail "$input: said something"
        run -d in.dir
        printf 'Read line - \n' > expected_debug
        expect_bytes stdout expected_debug "$input with -d"
        [ "$(ls | grep -c '\.hdr$')" = 0 ] || fail "$input: wrote a header"
    done
}

group_late_ctrl_z() {
    # A 0x1A byte far past the first block read still ends the input: the charts behind
    # it, the last of them blocks further on, are never seen.
    { printf '[Long.tif]\nNA='; head -c 100000 /dev/zero | tr '\0' 'x'; printf '\032\n[Hidden.tif]\nNA=h\n'
      head -c 200000 /dev/zero | tr '\0' '\n'; printf '[Far.tif]\nNA=f\n'; } > late.dir
    run late.dir
    expect_status 0 "0x1A past 64 KiB"
    printf 'Create Long.hdr\n' > expected_stdout
    expect_bytes stdout expected_stdout "0x1A past 64 KiB"
    named_header "$(head -c 100000 /dev/zero | tr '\0' 'x')" > expected_long
    expect_bytes Long.hdr expected_long "0x1A past 64 KiB"
    [ -e Hidden.hdr ] || [ -e Far.hdr ] && fail "0x1A past 64 KiB: a chart behind it was converted"
}

"group_$group"
if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "hostile inputs, $group: all checks passed"
