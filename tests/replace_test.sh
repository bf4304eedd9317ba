#!/usr/bin/env bash
# A header, and a chart made with -k, is replaced whole or not at all: failures,
# signals, links and permissions, run on the real binary in a temporary directory.
# Every check asserts the old file's bytes afterwards.
#   replace_test.sh HDRMILL files|interrupted|completed
# Each group is a test of its own, so that none runs long without a word.
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
group=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

old_header() { printf 'an old header, kept until a new one is complete\r\n' > "$1"; }
expect_old() { cmp -s "$1" old || fail "$2: the old header was changed"; }
expect_no_temporary() {
    local left
    left=$(find . -name '.hdrmill-*' | head -3)
    [ -z "$left" ] || fail "$1: temporary file left: $left"
}
# The mode bits of a file, as octal digits.
mode_of() { stat -c %a "$1"; }

old_header old
printf '[Small.tif]\nNA=Small chart\nC1=0,0,10,20\n' > small.dir
awk 'BEGIN { print "[Big.tif]"; for (i = 1; i <= 400000; i++) printf "C%d=%d,%d,%d.5,-%d.25\n", i, i, i, i % 80, i % 170 }' > big.dir

# A chart of a 6,000 x 6,000 grey scan of noise: some 36 MB to write. The old chart
# begins as a chart does, so that it may be replaced.
printf '! an old chart, kept until a new one is complete\r\nVER/2.0\r\n' > old_chart
python3 "$here/make_tiff.py" noise.tif 6000 6000 photometric=1 samples=1 fill=noise
printf '%s\n' '[noise.tif]' FN=Noise.KAP NA=Noise SC=5000 PR=1 C1=0,0,48.5,-4.5 C2=6000,0,48.5,-4.498 \
    C3=6000,6000,48.499,-4.498 C4=0,6000,48.499,-4.5 B1=48.5,-4.5 B2=48.5,-4.498 B3=48.499,-4.498 > charts.dir
expect_old_chart() { cmp -s "$1" old_chart || fail "$2: the old chart was changed"; }

# wait_for_temporary WHAT: waits up to 10 seconds for a temporary file to appear.
wait_for_temporary() {
    local tries=0
    while [ -z "$(find . -name '.hdrmill-*.tmp' | head -1)" ] && [ $tries -lt 1000 ]; do
        sleep 0.01
        tries=$((tries + 1))
    done
    [ $tries -lt 1000 ] || fail "$1: no temporary file appeared"
}

# run_until_temporary SIGNAL: starts the big chart and sends SIGNAL once its temporary
# file exists; sets $status.
# Job control gives the background run the signal dispositions a user's run has
# (without it, bash starts background jobs with SIGINT ignored).
# With a second argument, runs those arguments instead, its output in stdout.
run_until_temporary() {
    set -m
    "$bin" "${2:-big.dir}" "${@:3}" > stdout &
    local pid=$!
    wait_for_temporary "SIG$1"
    kill "-$1" "$pid"
    wait "$pid" 2> /dev/null
    status=$?
    set +m
}

case $group in
files)
    # A write that fails part-way (the file size limit) leaves the old header and no
    # temporary file behind, and says so.
    cp old Big.hdr
    (ulimit -f 1000; trap '' XFSZ; exec "$bin" big.dir) > stdout
    status=$?
    [ "$status" = 1 ] || fail "size limit: exit status $status, expected 1"
    printf 'Create Big.hdr\nCould not write file Big.hdr\n' | cmp -s - stdout || fail "size limit: messages: $(cat stdout)"
    expect_old Big.hdr "size limit"
    expect_no_temporary "size limit"

    # The same for a chart: a failing write leaves the old chart.
    cp old_chart Noise.KAP
    (ulimit -f 1000; trap '' XFSZ; exec "$bin" -k charts.dir) > stdout
    status=$?
    [ "$status" = 1 ] || fail "chart size limit: exit status $status, expected 1"
    printf 'Create Noise.KAP\nCould not write file Noise.KAP\n' | cmp -s - stdout ||
        fail "chart size limit: messages: $(cat stdout)"
    expect_old_chart Noise.KAP "chart size limit"
    expect_no_temporary "chart size limit"

    # A link under the chart's name is replaced, not followed.
    rm Noise.KAP
    cp old_chart chart_target
    ln -s chart_target Noise.KAP
    "$bin" -k charts.dir > /dev/null || fail "chart link: exit status $?"
    expect_old_chart chart_target "chart link"
    [ -f Noise.KAP ] && [ ! -L Noise.KAP ] || fail "chart link: Noise.KAP is not a new regular file"


    # A symbolic link under the header's name is replaced; its target is not touched.
    cp old target
    ln -s target Small.hdr
    "$bin" small.dir > /dev/null || fail "link: exit status $?"
    expect_old target "link"
    [ -f Small.hdr ] && [ ! -L Small.hdr ] || fail "link: Small.hdr is not a new regular file"
    grep -q '^REF/1,0,0,10,20' Small.hdr || fail "link: Small.hdr is not the header"

    # A new header gets 0666 less the umask, also when it replaces a file of other bits.
    for mask in 022 077; do
        rm -f Small.hdr
        (umask "$mask"; exec "$bin" small.dir) > /dev/null
        expected=$(printf '%o' $((0666 & ~8#$mask)))
        [ "$(mode_of Small.hdr)" = "$expected" ] || fail "umask $mask: new header $(mode_of Small.hdr), expected $expected"
        chmod 0604 Small.hdr
        (umask "$mask"; exec "$bin" small.dir) > /dev/null
        [ "$(mode_of Small.hdr)" = "$expected" ] || fail "umask $mask: replacing header $(mode_of Small.hdr), expected $expected"
    done

    # A FIFO and a device are written directly, as always.
    mkfifo pipe
    cat pipe > from_pipe &
    reader=$!
    "$bin" -o pipe small.dir > /dev/null || fail "-o pipe: exit status $?"
    wait "$reader"
    [ -p pipe ] || fail "-o pipe: the FIFO was replaced"
    cmp -s from_pipe Small.hdr || fail "-o pipe: the header did not come through the FIFO"

    "$bin" -o /dev/null small.dir > stdout
    status=$?
    [ "$status" = 0 ] || fail "-o /dev/null: exit status $status"
    printf 'Create /dev/null\n' | cmp -s - stdout || fail "-o /dev/null: messages: $(cat stdout)"
    [ -c /dev/null ] || fail "-o /dev/null: /dev/null is no longer a device"
    expect_no_temporary "-o /dev/null"
    ;;
interrupted)
    # Interrupted: the temporary file is removed and the run ends through the signal.
    for signal in TERM INT HUP; do
        cp old Big.hdr
        run_until_temporary "$signal"
        expected=$((128 + $(kill -l "$signal")))
        [ "$status" = "$expected" ] || fail "SIG$signal: exit status $status, expected $expected"
        printf 'Create Big.hdr\n' | cmp -s - stdout || fail "SIG$signal: messages: $(cat stdout)"
        expect_old Big.hdr "SIG$signal"
        expect_no_temporary "SIG$signal"

        # A chart: nothing false said, the old chart left, no temporary file.
        cp old_chart Noise.KAP
        run_until_temporary "$signal" -k charts.dir
        [ "$status" = "$expected" ] || fail "chart, SIG$signal: exit status $status, expected $expected"
        printf 'Create Noise.KAP\n' | cmp -s - stdout || fail "chart, SIG$signal: messages: $(cat stdout)"
        expect_old_chart Noise.KAP "chart, SIG$signal"
        expect_no_temporary "chart, SIG$signal"
    done
    ;;
completed)
    # A signal the run was started to ignore stays ignored: the run completes.
    cp old Big.hdr
    "$bin" big.dir > /dev/null &
    pid=$!
    wait_for_temporary "ignored SIGINT"
    kill -INT "$pid"
    wait "$pid" || fail "ignored SIGINT: exit status $?"
    cmp -s Big.hdr old && fail "ignored SIGINT: the header was not replaced"
    expect_no_temporary "ignored SIGINT"

    # Killed outright: the old header still stands (a temporary file may be left).
    cp old Big.hdr
    run_until_temporary KILL
    expect_old Big.hdr "SIGKILL"
    rm -f .hdrmill-*.tmp

    # Completed, the new header stands in place of the old one.
    cp old Big.hdr
    "$bin" big.dir > /dev/null || fail "big chart: exit status $?"
    cmp -s Big.hdr old && fail "big chart: the old header was not replaced"
    tail -c 9 Big.hdr | cmp -s - <(printf 'DTM/0,0\r\n') || fail "big chart: the new header is not complete"
    expect_no_temporary "big chart"
    ;;
esac

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "header replacement, $group: all checks passed"
