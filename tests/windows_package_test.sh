#!/usr/bin/env bash
# The Windows zip holds hdrmill.exe, README.md and LICENSE, and the program imports no
# DLL that a Windows system does not have: it reads scans with the system's own decoders.
#   windows_package_test.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G ZIP -B "$work" > /dev/null) || { echo "FAIL: cpack"; exit 1; }
listing=$(cd "$work" && cmake -E tar tf ./*.zip) || { echo "FAIL: no zip"; exit 1; }
for file in hdrmill.exe README.md LICENSE; do
    grep -q "/$file\$" <<< "$listing" || { echo "FAIL: $file not in the zip: $listing"; exit 1; }
done
imports=$(x86_64-w64-mingw32-objdump -p "$build/hdrmill.exe" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
for dll in $imports; do
    case $dll in
    kernel32.dll|msvcrt.dll|ole32.dll|oleaut32.dll|user32.dll|advapi32.dll|shell32.dll|windowscodecs.dll) ;;
    *) echo "FAIL: hdrmill.exe needs $dll"; exit 1 ;;
    esac
done
echo "zip: $(grep -c . <<< "$listing") files; imports:" $imports
