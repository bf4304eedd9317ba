// The floor a chart run is measured against: the time and memory the decoder takes
// only to decode the scans, with the very calls the run makes (it is read_scan), one
// after another in one process, and nothing after.
//   decode_floor SCAN...      status 0 when every scan decodes, 1 when one does not
#include <cstdio>

#include "scan/scan_reader.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: decode_floor SCAN...\n", stderr);
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        status = hdrmill::read_scan(argv[i]).scan ? status : 1;
    }
    return status;
}
