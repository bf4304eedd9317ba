// Where a colour scan's reduction spends its time, stage by stage, over many scans: the
// decoding (read_scan, as a chart run decodes), the histogram, the colours weighed and
// the inks chosen, the boxes mapped, the neighbour pass. One thread, as the scans are
// reduced when read ahead; prints milliseconds a scan, the means over all given.
//   palette_stages SCAN...      status 1 when a scan cannot be read or is not in colour
#include <chrono>
#include <cstdio>

#include "palette/choose_inks.hpp"
#include "palette/colour_histogram.hpp"
#include "palette/palette_entry.hpp"
#include "palette/pixel_mapping.hpp"
#include "scan/scan_reader.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

double since(clock_type::time_point& start) {
    const auto now = clock_type::now();
    const double seconds = std::chrono::duration<double>(now - start).count();
    start = now;
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: palette_stages SCAN...\n", stderr);
        return 2;
    }
    double decode = 0, count = 0, choose = 0, boxes = 0, pixels = 0;
    hdrmill::colour_histogram histogram;
    hdrmill::box_mapping mapping;
    for (int i = 1; i < argc; ++i) {
        auto start = clock_type::now();
        auto reading = hdrmill::read_scan(argv[i]);
        if (!reading.scan || reading.scan->type != hdrmill::scan_image::kind::colour) {
            std::fprintf(stderr, "palette_stages: %s is no colour scan\n", argv[i]);
            return 1;
        }
        hdrmill::scan_image& scan = *reading.scan;
        decode += since(start);
        histogram.clear();
        histogram.add(scan.pixels.data(), std::size_t{scan.width} * scan.height);
        count += since(start);
        const auto colours = histogram.colours();
        const auto entries = hdrmill::ordered_entries(hdrmill::choose_inks(colours, 127));
        choose += since(start);
        hdrmill::map_boxes(histogram, colours, entries, mapping);
        boxes += since(start);
        hdrmill::map_pixels(scan, entries, mapping);
        pixels += since(start);
    }
    const double per_scan = 1000.0 / (argc - 1);
    std::printf("ms a scan: decode %.2f, histogram %.2f, colours weighed and inks chosen %.2f, boxes mapped %.2f, "
                "neighbour pass %.2f\n",
                decode * per_scan, count * per_scan, choose * per_scan, boxes * per_scan, pixels * per_scan);
    return 0;
}
