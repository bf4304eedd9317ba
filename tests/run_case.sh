#!/usr/bin/env bash
# Runs one end-to-end case: the real binary in a fresh temporary working directory.
#   run_case.sh HDRMILL CASE_DIR
# A case folder holds:
#   cmd      the arguments, as shell words ($source_dir names the source tree); none if absent
#   stdout   the exact bytes expected on standard output; $source_dir stands for the
#            source tree wherever the output names it
#   status   the expected exit status (0 if absent)
#   in/      files copied into the working directory before the run
#   out/     files the run must create there, byte for byte; no other file may appear
#   sums     files the run must create there, too large to keep: their SHA-256 sums, as
#            sha256sum writes them
#   absent   paths (absolute, or relative to the working directory) that must not exist afterwards
#   platforms  the platforms the case runs on (unix, windows), one a line; all if absent
# HDRMILL_EMULATOR, when set, runs the binary (wine for hdrmill.exe). HDRMILL_CRLF_STDOUT=1
# expects standard output in Windows text mode: every LF of the expected output as CR LF.
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
case_dir=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
mkdir "$work/run" "$work/expected"
if [ -d "$case_dir/in" ]; then
    cp -R "$case_dir/in/." "$work/run/"
    cp -R "$case_dir/in/." "$work/expected/"
fi
[ -d "$case_dir/out" ] && cp -R "$case_dir/out/." "$work/expected/"

args=()
if [ -f "$case_dir/cmd" ]; then
    eval "args=($(cat "$case_dir/cmd"))"
fi
emulator=()
[ -n "${HDRMILL_EMULATOR:-}" ] && emulator=("$HDRMILL_EMULATOR")
(cd "$work/run" && exec "${emulator[@]}" "$bin" "${args[@]}") > "$work/stdout" < /dev/null
status=$?

# Paths into the source tree differ from machine to machine: the output names them so.
LC_ALL=C awk -v dir="$source_dir" '{ while ((i = index($0, dir)) > 0) $0 = substr($0, 1, i - 1) "$source_dir" substr($0, i + length(dir)); print }' \
    "$work/stdout" > "$work/stdout.named" && mv "$work/stdout.named" "$work/stdout"
failed=0
if [ -f "$case_dir/sums" ]; then
    (cd "$work/run" && sha256sum --quiet -c "$case_dir/sums") || failed=1
    while read -r _ name; do
        [ -f "$work/run/$name" ] && cp "$work/run/$name" "$work/expected/$name"
    done < "$case_dir/sums"
fi
expected_status=0
[ -f "$case_dir/status" ] && expected_status=$(cat "$case_dir/status")
if [ "$status" != "$expected_status" ]; then
    echo "exit status $status, expected $expected_status"
    failed=1
fi
expected_stdout=/dev/null
if [ -f "$case_dir/stdout" ]; then
    expected_stdout="$case_dir/stdout"
    if [ "${HDRMILL_CRLF_STDOUT:-}" = 1 ]; then
        sed 's/$/\r/' "$case_dir/stdout" > "$work/expected_stdout"
        expected_stdout="$work/expected_stdout"
    fi
fi
# A difference is shown whole, as a unified diff with each CR written as \r; a file
# that is not text is only said to differ, at its first differing byte.
is_text() { [ ! -s "$1" ] || LC_ALL=C grep -qI . "$1"; }
show_difference() {
    if is_text "$1" && is_text "$2"; then
        diff -u --label "expected $3" --label "actual $3" <(LC_ALL=C sed 's/\r/\\r/g' "$1") \
            <(LC_ALL=C sed 's/\r/\\r/g' "$2")
    else
        cmp "$1" "$2"
    fi
}
if ! cmp -s "$expected_stdout" "$work/stdout"; then
    echo "standard output differs:"
    show_difference "$expected_stdout" "$work/stdout" stdout
    failed=1
fi
while IFS= read -r line; do
    failed=1
    case $line in
    "Files "*" differ")
        path=${line#"Files $work/expected/"}
        path=${path%%" and $work/run/"*}
        echo "file $path differs:"
        show_difference "$work/expected/$path" "$work/run/$path" "$path" ;;
    *) echo "$line" ;;
    esac
done < <(diff -rq "$work/expected" "$work/run")
if [ -f "$case_dir/absent" ]; then
    while IFS= read -r path; do
        case $path in /*) ;; *) path="$work/run/$path" ;; esac
        if [ -e "$path" ] || [ -L "$path" ]; then
            echo "must not exist: $path"
            failed=1
        fi
    done < "$case_dir/absent"
fi
exit $failed
