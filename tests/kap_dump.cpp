// Reads a chart file as the tests do and says what it holds:
//   kap_dump FILE                      "W x H, N colours, depth d", or why it is refused
//   kap_dump FILE OUT.ppm [DAY|DSK|NGT] also the pixels as a binary PPM in that palette
//                                       (RGB/ when none is named or the file has none)
// Exits 0 for a chart, 1 for a refused or unwritable one, 2 for a wrong command line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "tests/kap_reader.hpp"

int main(int argc, char** argv) {
    const std::string scheme = argc > 3 ? argv[3] : "RGB";
    if (argc < 2 || argc > 4 || (scheme != "RGB" && scheme != "DAY" && scheme != "DSK" && scheme != "NGT")) {
        std::cerr << "usage: kap_dump FILE [OUT.ppm [DAY|DSK|NGT]]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in) {
        std::cerr << argv[1] << ": cannot read\n";
        return 1;
    }
    const hdrmill::kap_reading reading = hdrmill::read_kap(file);
    if (!reading.chart) {
        std::cout << argv[1] << ": " << reading.error << '\n';
        return 1;
    }
    const hdrmill::kap_chart& chart = *reading.chart;
    std::cout << chart.width << " x " << chart.height << ", " << chart.rgb.size() << " colours, depth "
              << chart.depth << '\n';
    if (argc < 3) {
        return 0;
    }
    const auto& named = scheme == "DAY" ? chart.day : scheme == "DSK" ? chart.dusk : scheme == "NGT" ? chart.night
                                                                                                     : chart.rgb;
    const auto& palette = named.empty() ? chart.rgb : named;
    std::string image = "P6\n" + std::to_string(chart.width) + " " + std::to_string(chart.height) + "\n255\n";
    image.reserve(image.size() + 3 * chart.pixels.size());
    for (const std::uint8_t index : chart.pixels) {
        const hdrmill::colour c = palette[index];
        image += static_cast<char>(c.r);
        image += static_cast<char>(c.g);
        image += static_cast<char>(c.b);
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
