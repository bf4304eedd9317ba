#!/usr/bin/env bash
# Hostile and extreme inputs, run on the real binary in a temporary directory; too
# large to keep as files, so each group makes its input and its expected bytes here.
#   hostile_test.sh HDRMILL GROUP       GROUP: bytes | sizes | numbers
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
group=$2
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
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

# Line N of FILE, without its CR LF.
line_of() { sed -n "$2p" "$1" | tr -d '\r'; }

group_bytes() {
    # Every byte but LF, CR and 0x1A, in a value, in a CR text and in a file name. The
    # bytes are written as octal escapes, which printf turns back into bytes, NUL included.
    local value="" byte
    for byte in $(seq 0 255); do
        case $byte in 10 | 13 | 26) continue ;; esac
        value+=$(printf '\\%03o' "$byte")
    done
    local no_tab=${value//\\011/}
    local name=${no_tab//\\000/}
    for cut in '\\057' '\\134' '\\056'; do name=${name//$cut/}; done   # no / \ or .
    printf "[${name}.tif]\nNA=${value}\nCR=${no_tab}\n" > in.dir
    run in.dir
    expect_status 0 "every byte"
    printf "Create ${name}.hdr\n" > expected_stdout
    expect_bytes stdout expected_stdout "every byte: console"
    printf "! Created by hdrmill beta09 - Use at your own risk!\r\n! ${no_tab}\r\nVER/2.0\r\nBSB/NA=${value}\r\n" > expected
    named_header "" | sed 1,3d >> expected
    local produced
    produced=$(printf "${name}.hdr")
    if [ -f "$produced" ]; then
        expect_bytes "$produced" expected "every byte: header"
    else
        fail "every byte: no header file"
    fi
}

group_sizes() {
    # One line of 100 MB.
    { printf '[Big.tif]\nNA='; head -c 100000000 /dev/zero | tr '\0' 'x'; printf '\n'; } > big.dir
    run big.dir
    expect_status 0 "100 MB line"
    { named_header "$(head -c 100000000 /dev/zero | tr '\0' 'x')"; } > expected_big
    expect_bytes Big.hdr expected_big "100 MB line"
    rm -f big.dir Big.hdr expected_big

    # A chart of 100,000 stored lines: every one a reference point.
    awk 'BEGIN { print "[Many.tif]"; for (i = 1; i <= 100000; i++) printf "C%d=%d,%d,%d.5,-%d.25\n", i, i, -i, i % 90, i % 180 }' > many.dir
    run many.dir
    expect_status 0 "100,000 stored lines"
    { named_header "" | sed -n 1,9p | sed 's/^BSB\/NA=\r$/BSB\/NA=\r/'
      awk 'BEGIN { for (i = 1; i <= 100000; i++) printf "REF/%d,%d,%d,%d.5,-%d.25\r\n", i, i, -i, i % 90, i % 180
                   printf "CPH/0.0\r\nDTM/0,0\r\n" }'; } > expected_many
    expect_bytes Many.hdr expected_many "100,000 stored lines"
    rm -f many.dir Many.hdr expected_many

    # A million tiny charts, listed.
    awk 'BEGIN { for (i = 1; i <= 1000000; i++) printf "[c]\nFN=c%d.KAP\n", i % 10 }' > million.dir
    run -l million.dir
    expect_status 0 "a million charts listed"
    awk 'BEGIN { for (i = 1; i <= 1000000; i++) printf "c%-14d\n", i % 10 }' > expected_list
    expect_bytes stdout expected_list "a million charts listed"
    rm -f million.dir expected_list

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

group_numbers() {
    # Each chart puts one hostile number where a field of the header shows it.
    cat > numbers.dir <<'DIR'
[sc_max.x]
SC=2147483647
[sc_min.x]
SC=-2147483648
[sc_over.x]
SC=2147483648
[sc_huge.x]
SC=1e300
[sc_nan.x]
SC=nan
[sc_marker.x]
SC=-2147483647
[dx_huge.x]
DX=1e300
DY=-1e300
[dx_over.x]
DX=1e999
DY=-99999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999
[dx_signs.x]
DX=+
DY=-e5
[dx_exponent.x]
DX=1e
DY=2E+
[ppi_huge.x]
SC=2147483647
DX=1e-300
DY=1e-300
[ref_limits.x]
C1=2147483647,-2147483648,1e-400,-0
C2=2147483648,-1e300,1e400,nan
[ds_huge.x]
DS=1e308,-1e308
DIR
    # Long runs of zeros before and after the point.
    printf '[dx_zeros.x]\nDX=%s1.5\nDY=0.%s1\n' "$(printf '0%.0s' $(seq 5000))" "$(printf '0%.0s' $(seq 300))" >> numbers.dir
    run numbers.dir
    expect_status 0 "numbers"
    local checks=(
        "sc_max.hdr 5 KNP/SC=2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN"
        "sc_min.hdr 5 KNP/SC=-2147483648,GD=,PR=UNKNOWN,PP=UNKNOWN"
        "sc_over.hdr 5 KNP/SC=-2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN"
        "sc_huge.hdr 5 KNP/SC=-2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN"
        "sc_nan.hdr 5 KNP/SC=-2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN"
        "sc_marker.hdr 5 KNP/SC=-2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN"
        "dx_huge.hdr 8     DX=1e+300,DY=-1e+300"
        "dx_over.hdr 8     DX=inf,DY=-inf"
        "dx_zeros.hdr 8     DX=1.5,DY=1e-301"
        "dx_signs.hdr 8     DX=0,DY=0"
        "dx_exponent.hdr 8     DX=1,DY=2"
        "ppi_huge.hdr 4     NU=,RA=,,DU=0"
        "ref_limits.hdr 10 REF/1,2147483647,-2147483648,0,-0"
        "ref_limits.hdr 11 REF/2,-2147483647,-2147483647,inf,nan"
        "ref_limits.hdr 12 CPH/0.0"
        "ds_huge.hdr 11 DTM/inf,-inf"
    )
    local check file number expected
    for check in "${checks[@]}"; do
        file=${check%% *}
        number=${check#* }
        expected=${number#* }
        number=${number%% *}
        [ "$(line_of "$file" "$number")" = "$expected" ] ||
            fail "$file line $number: '$(line_of "$file" "$number")', expected '$expected'"
    done
}

"group_$group"
if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "hostile inputs, $group: all checks passed"
