#!/usr/bin/env bash
# Charts never cost a user a file, and scans are judged alike on every platform: the
# inputs a chart may not replace, the layouts of scans written at test time, the sizes
# refused before decoding, and the reasons given. Run on the real binary in a temporary
# directory; HDRMILL_EMULATOR, when set, runs it (wine for hdrmill.exe).
#   chart_inputs_test.sh HDRMILL inputs|layouts|sizes|environment|scans
# Scans are written by make_tiff.py (python3 alone); the layouts group also needs
# Debian's /usr/bin/python3 with GDAL's bindings (python3-gdal), and skips (77) without.
# HDRMILL_RECORD_SUMS=1 records the chart bytes of the layouts and scans groups as they
# come, after a change that is meant to change them (look at the charts first).
set -u
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
group=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
emulator=()
[ -n "${HDRMILL_EMULATOR:-}" ] && emulator=("$HDRMILL_EMULATOR")
# Runs hdrmill; its output, CR bytes dropped, in $out and its status in $status.
run() {
    "${emulator[@]}" "$bin" "$@" < /dev/null > stdout
    status=$?
    out=$(tr -d '\r' < stdout)
}
expect_out() { [ "$out" = "$2" ] || fail "$1: output was:
$out
expected:
$2"; }
tiff() { /usr/bin/env python3 "$here/make_tiff.py" "$@" || { echo "make_tiff.py failed"; exit 1; }; }
# A chart calibration that places a 23 x 7 chart: section name, then extra lines.
chart() {
    printf '[%s]\n' "$1"
    shift
    printf '%s\n' "$@" 'NA=Test chart' SC=5000 PR=1 C1=0,0,48.5,-4.5 C2=23,0,48.5,-4.498 C3=23,7,48.499,-4.498 \
        C4=0,7,48.499,-4.5 B1=48.5,-4.5 B2=48.5,-4.498 B3=48.499,-4.498 B4=48.499,-4.5
}

case $group in
inputs)
    tiff Harbour.tif 23 7
    tiff Later.tif 23 7
    cp Harbour.tif Harbour.orig
    cp Later.tif Later.orig
    printf 'holiday photo' > Photo.KAP
    printf '! an old chart\r\nVER/2.0\r\nBSB/NA=old\r\n' > Old.KAP
    { chart Harbour.tif FN=Harbour.tif; chart Harbour.tif FN=CHARTCAL.DIR; chart Harbour.tif FN=First.KAP
      chart Harbour.tif FN=First.KAP; chart Harbour.tif FN=Later.tif; chart Harbour.tif FN=Photo.KAP
      chart Harbour.tif FN=Old.KAP; chart Later.tif FN=Second.KAP; } > CHARTCAL.DIR
    cp CHARTCAL.DIR calibration.orig
    run -k CHARTCAL.DIR
    expect_out "inputs" "Not made Harbour.tif: it would replace the scan Harbour.tif
Not made CHARTCAL.DIR: it would replace the calibration file CHARTCAL.DIR
Create First.KAP
Not made First.KAP: it would replace the chart First.KAP this run has made
Not made Later.tif: it would replace the scan Later.tif
Not made Photo.KAP: a file that is not a chart stands under its name, and is kept
Create Old.KAP
Create Second.KAP"
    [ "$status" = 1 ] || fail "inputs: exit status $status, expected 1"
    cmp -s Harbour.tif Harbour.orig || fail "inputs: the scan was changed"
    cmp -s Later.tif Later.orig || fail "inputs: the later chart's scan was changed"
    cmp -s CHARTCAL.DIR calibration.orig || fail "inputs: the calibration file was changed"
    [ "$(cat Photo.KAP)" = "holiday photo" ] || fail "inputs: the file that is not a chart was changed"
    cmp -s First.KAP Old.KAP || fail "inputs: the old chart was not replaced by the same chart"
    # By identity, not by spelling: a link to the scan, a hard link, a folder's other name.
    if [ -z "${HDRMILL_EMULATOR:-}" ]; then
        mkdir sub
        ln -s Harbour.tif Soft.tif
        ln Harbour.tif Hard.tif
        ln -s .. sub/up
        { chart Harbour.tif FN=Soft.tif; chart Harbour.tif FN=Hard.tif; chart Harbour.tif FN=sub/up/Harbour.tif
          chart sub/../Harbour.tif FN=Third.KAP; } > links.dir
        run -k links.dir
        expect_out "links" "Not made Soft.tif: it would replace the scan Harbour.tif
Not made Hard.tif: it would replace the scan Harbour.tif
Not made sub/up/Harbour.tif: it would replace the scan Harbour.tif
Create Third.KAP"
        cmp -s Harbour.tif Harbour.orig || fail "links: the scan was changed"
    else
        # Windows names files without regard to case.
        { chart Harbour.tif FN=harbour.TIF; chart Harbour.tif FN=CASE.DIR; } > case.dir
        run -k case.dir
        expect_out "case" "Not made harbour.TIF: it would replace the scan Harbour.tif
Not made CASE.DIR: it would replace the calibration file case.dir"
        cmp -s Harbour.tif Harbour.orig || fail "case: the scan was changed"
    fi
    ;;
layouts)
    /usr/bin/python3 -c 'from osgeo import gdal' 2> /dev/null || { echo "python3 GDAL bindings not found"; exit 77; }
    # A colour map of 8-bit values is the same palette as its 16-bit form: the same chart.
    tiff map8.tif 23 7 photometric=3 samples=1 bits=8 map=8
    tiff map16.tif 23 7 photometric=3 samples=1 bits=8 map=16
    # RGB as the file says, whatever GDAL's private tag calls the bands (here "undefined").
    tiff plain.tif 23 7
    /usr/bin/python3 - <<'PYTHON'
from osgeo import gdal
gdal.UseExceptions()
source = gdal.Open("plain.tif")
memory = gdal.GetDriverByName("MEM").Create("", 23, 7, 3)
for band in range(1, 4):
    memory.GetRasterBand(band).WriteArray(source.GetRasterBand(band).ReadAsArray())
    memory.GetRasterBand(band).SetColorInterpretation(gdal.GCI_Undefined)
gdal.GetDriverByName("GTiff").CreateCopy("undefined.tif", memory, options=["PHOTOMETRIC=RGB"])
PYTHON
    tiff greys.tif 23 7 photometric=1 samples=3
    { chart map8.tif FN=Map8.KAP; chart map16.tif FN=Map16.KAP; chart plain.tif FN=Plain.KAP
      chart undefined.tif FN=Undefined.KAP; chart greys.tif FN=Greys.KAP; } > CHARTCAL.DIR
    run -k CHARTCAL.DIR
    expect_out "layouts" "Create Map8.KAP
Create Map16.KAP
Create Plain.KAP
Create Undefined.KAP
Could not read image greys.tif: a grey TIFF of 3 samples a pixel, a layout not read (palette, grey and RGB scans are)"
    cmp -s Map8.KAP Map16.KAP || fail "8-bit colour map: not the chart of its 16-bit form"
    grep -aqE 'RGB/[0-9]+,7,57,107' Map8.KAP || fail "8-bit colour map: the palette is not the map's"
    cmp -s Plain.KAP Undefined.KAP || fail "RGB with undefined bands: not the chart of the same RGB pixels"
    # The same bytes on every platform.
    sha256sum Map8.KAP Plain.KAP | cut -c 1-64 | tr '\n' ' ' > sums
    [ -n "${HDRMILL_RECORD_SUMS:-}" ] && cp sums "$here/chart_inputs_sums"
    expected="$(cat "$here/chart_inputs_sums" 2> /dev/null)"
    [ "$(cat sums)" = "$expected" ] || fail "chart bytes differ from the recorded ones: $(cat sums)"
    ;;
sizes)
    # 20,000 x 20,000 pixels in a small file: refused on its size before it is decoded.
    tiff bomb.tif 20000 20000 fill=zero deflate=1
    tiff vast.tif 30000 30000 fill=zero deflate=1
    { chart bomb.tif FN=Bomb.KAP WI=3000 HE=2000; chart vast.tif FN=Vast.KAP; } > CHARTCAL.DIR
    start=$(date +%s%N)
    run -k CHARTCAL.DIR
    elapsed=$((($(date +%s%N) - start) / 1000000))
    expect_out "sizes" "Image bomb.tif is 20000 x 20000 pixels; the calibration says 3000 x 2000
Could not read image vast.tif: 30,000 x 30,000 pixels, more than the 600,000,000 a chart is made from"
    [ -z "${HDRMILL_EMULATOR:-}" ] && [ "$elapsed" -gt 2000 ] && fail "sizes: refusing took $elapsed ms"
    [ ! -e Bomb.KAP ] && [ ! -e Vast.KAP ] || fail "sizes: a chart was made"
    # Within the limit, but more than memory holds (1.2 GB under a 600 MB limit): told so.
    # (AddressSanitizer cannot run under a memory limit.)
    if [ -z "${HDRMILL_EMULATOR:-}" ] && ! grep -qa AddressSanitizer "$bin"; then
        chart bomb.tif FN=Bomb.KAP > memory.dir
        out=$(ulimit -v 600000; "$bin" -k memory.dir)
        expect_out "memory" "Could not read image bomb.tif: the scan is larger than the memory free to hold it"
    fi
    ;;
environment)
    # What a damaged file gives does not depend on the user's GDAL options.
    cp "$here/scans/bad_truncated.tif" truncated.tif
    cp "$here/scans/bad_corrupt_lzw.tif" corrupt.tif
    { chart truncated.tif FN=T.KAP; chart corrupt.tif FN=C.KAP; } > CHARTCAL.DIR
    export GTIFF_IGNORE_READ_ERRORS=YES GDAL_ERROR_ON_LIBJPEG_WARNING=FALSE GDAL_PAM_ENABLED=YES
    run -k CHARTCAL.DIR
    expect_out "environment" "Could not read image truncated.tif: the file is damaged
Could not read image corrupt.tif: the file is damaged"
    unset GTIFF_IGNORE_READ_ERRORS GDAL_ERROR_ON_LIBJPEG_WARNING GDAL_PAM_ENABLED
    # GDAL that cannot be loaded is said once, in the loader's own words.
    if [ -z "${HDRMILL_EMULATOR:-}" ] && command -v cc > /dev/null; then
        library=$(/sbin/ldconfig -p | grep -o 'libgdal\.so\.[0-9]*' | head -1)
        mkdir fake
        echo 'int hdrmill_not_gdal;' | cc -shared -fPIC -x c -o "fake/$library" -
        # A TIFF is sized by its own fields: refused without GDAL.
        tiff a.tif 23 7
        tiff bomb.tif 20000 20000 fill=zero deflate=1
        { chart bomb.tif FN=Bomb.KAP WI=23 HE=7; chart a.tif FN=A.KAP; chart a.tif FN=B.KAP; } > two.dir
        LD_LIBRARY_PATH=$PWD/fake run -k two.dir
        expect_out "no GDAL" "Image bomb.tif is 20000 x 20000 pixels; the calibration says 23 x 7
Could not read image a.tif: GDAL could not be loaded: $library lacks CPLPopErrorHandler
Could not read image a.tif: GDAL could not be loaded"
    fi
    ;;
scans)
    # Every lossless scan of tests/scans gives the chart bytes recorded in
    # chart_scan_sums, on every platform. (wine's decoder cannot read the planar TIFF:
    # it is checked on Linux and on Windows itself.)
    for scan in "$here"/scans/{tiff,png,gif,bmp}_*; do
        name=$(basename "$scan")
        [ "$name" = tiff_rgb_jpeg.tif ] && continue  # lossy: decoders may differ
        [ -n "${HDRMILL_EMULATOR:-}" ] && [ "$name" = tiff_rgb_planar.tif ] && continue
        cp "$scan" .
        chart "$name" "FN=$name.KAP"
    done > CHARTCAL.DIR
    run -k CHARTCAL.DIR
    [ "$status" = 0 ] || fail "scans: exit status $status: $out"
    [ -n "${HDRMILL_RECORD_SUMS:-}" ] && sha256sum *.KAP > "$here/chart_scan_sums"
    for chart in *.KAP; do
        expected=$(grep " $chart\$" "$here/chart_scan_sums")
        [ "$(sha256sum "$chart")" = "$expected" ] || fail "scans: $chart differs from its recorded bytes"
    done
    ;;
esac

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "chart inputs, $group: all checks passed"
