// The floor a chart run is measured against: the time and memory the decoder takes
// only to decode the scan, with the very calls the run makes (it is read_scan), and
// nothing after.
//   decode_floor SCAN      status 0 when the scan decodes, 1 when it does not
#include <cstdio>

#include "chart/scan_image.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: decode_floor SCAN\n", stderr);
        return 2;
    }
    return hdrmill::read_scan(argv[1]) ? 0 : 1;
}
