#!/usr/bin/env bash
# Checks what users install: the man page, an install under a prefix, the .deb.
#   install_test.sh man|prefix|deb BUILD_DIR
# A missing tool is a skip (exit 77) with a message, except in CI or under
# HDRMILL_STRICT (the full test command), where it fails.
set -u
what=$1
build=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

need() {
    command -v "$1" > /dev/null && return 0
    if [ -n "${CI:-}${HDRMILL_STRICT:-}" ]; then echo "FAIL: $1 not found, and the full test run needs it"; exit 1; fi
    echo "SKIPPED: $1 not found"
    exit 77
}

# The installed program converts the example into exactly the expected headers.
converts_example() {
    mkdir "$work/run"
    (cd "$work/run" && "$1" "$source_dir/examples/CHARTCAL.DIR" > /dev/null) || { echo "FAIL: $1 failed"; exit 1; }
    diff -r "$source_dir/tests/cases/example_conversion/out" "$work/run" || { echo "FAIL: headers differ"; exit 1; }
}

case $what in
man)
    need mandoc
    mandoc -Tlint -W warning "$source_dir/docs/hdrmill.1" || { echo "FAIL: the man page has warnings"; exit 1; }
    ;;
prefix)
    cmake --install "$build" --prefix "$work/prefix" > /dev/null || exit 1
    for file in bin/hdrmill share/man/man1/hdrmill.1 share/doc/hdrmill/copyright share/doc/hdrmill/README.md; do
        [ -f "$work/prefix/$file" ] || { echo "FAIL: $file not installed"; exit 1; }
    done
    converts_example "$work/prefix/bin/hdrmill"
    ;;
deb)
    need dpkg-deb
    (cd "$build" && cpack -G DEB -B "$work/package" > /dev/null) || { echo "FAIL: cpack"; exit 1; }
    deb=$(ls "$work"/package/*.deb)
    listing=$(dpkg-deb -c "$deb")
    for file in ./usr/bin/hdrmill ./usr/share/man/man1/hdrmill.1 ./usr/share/doc/hdrmill/copyright; do
        grep -q " $file\$" <<< "$listing" || { echo "FAIL: $file not in $deb"; exit 1; }
    done
    dpkg-deb -x "$deb" "$work/root"
    head -1 "$work/root/usr/share/doc/hdrmill/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
        { echo "FAIL: the copyright file is not in Debian's machine-readable format"; exit 1; }
    converts_example "$work/root/usr/bin/hdrmill"
    ;;
esac
echo "$what: ok"
