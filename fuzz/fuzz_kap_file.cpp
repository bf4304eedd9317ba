// Builds an indexed scan from arbitrary bytes (size, colour count, palettes, runs),
// writes it as a chart into memory and reads it back with the tests' reader, which
// applies GDAL's and OpenCPN's rules. Every chart written must be read back with the
// same pixels and palettes, padded only where the size rules need it; a sink that
// fails must stop the writing at once, and a pixel outside the palette must be refused.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kap/kap_file.hpp"
#include "tests/kap_reader.hpp"

namespace {

// The input's bytes one after another, from the start again when they run out.
struct byte_source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    unsigned next() { return size == 0 ? 0U : data[at++ % size]; }
};

void check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) {
        return 0;
    }
    byte_source in{data + 7, size - 7};
    hdrmill::scan_image image;
    image.type = hdrmill::scan_image::kind::indexed;
    image.width = 1 + ((data[0] | (unsigned{data[1]} << 8)) & 0x1FFFU);
    image.height = 1 + data[2] + (data[6] & 0x80U) * 2;
    const std::size_t colours = 1 + data[3] % 127;
    const bool failing_sink = (data[4] & 1) != 0;
    const bool stray_pixel = (data[4] & 6) == 6;
    const std::size_t filler_lines = data[5] % 48;
    if (std::size_t{image.width} * image.height > (std::size_t{1} << 21)) {
        return 0;
    }

    hdrmill::chart_palettes palettes;
    for (std::size_t k = 0; k < colours; ++k) {
        for (auto* palette : {&palettes.day, &palettes.dusk, &palettes.night}) {
            palette->push_back({static_cast<std::uint8_t>(in.next()), static_cast<std::uint8_t>(in.next()),
                                static_cast<std::uint8_t>(in.next())});
        }
    }
    // Runs: a length byte (high bit: a long run of up to 32,000 pixels) and a colour.
    const std::size_t pixel_count = std::size_t{image.width} * image.height;
    while (image.pixels.size() < pixel_count) {
        const unsigned length_byte = in.next();
        const std::size_t length = (length_byte & 0x80U) != 0 ? (length_byte & 0x7FU) * 252U + 1 : length_byte % 8 + 1;
        image.pixels.insert(image.pixels.end(), std::min(length, pixel_count - image.pixels.size()),
                            static_cast<std::uint8_t>(in.next() % colours));
    }

    std::string header = "! Created by fuzz_kap_file\r\nVER/2.0\r\nBSB/NA=FUZZ\r\n    NU=1,RA=" +
                         std::to_string(image.width) + "," + std::to_string(image.height) +
                         ",DU=254\r\nKNP/SC=20000,GD=WGS84,PR=MERCATOR,PP=0\r\n";
    for (std::size_t i = 0; i < filler_lines; ++i) {
        header.append("!").append(in.next() + data[6] % 64, '.').append("\r\n");
    }
    const std::size_t palettes_at = header.size();
    header += "OST/1\r\nREF/1,0,0,50,0\r\nDTM/0,0\r\n";

    if (stray_pixel) {
        // Three reads in a set order: within one expression the order is the compiler's.
        const std::size_t high = in.next(), middle = in.next(), low = in.next();
        const std::size_t at = (high << 16 | middle << 8 | low) % pixel_count;
        image.pixels[at] = static_cast<std::uint8_t>(colours + in.next() % (256 - colours));
        check(hdrmill::write_kap(header, palettes_at, palettes, image, [](std::string_view) { return true; }) ==
              hdrmill::kap_result::unfit_input);
        return 0;
    }
    if (failing_sink) {
        int calls = 0;
        check(hdrmill::write_kap(header, palettes_at, palettes, image, [&](std::string_view) {
                  ++calls;
                  return false;
              }) == hdrmill::kap_result::sink_failed);
        check(calls == 1);
        return 0;
    }
    std::string file;
    check(hdrmill::write_kap(header, palettes_at, palettes, image, [&](std::string_view bytes) {
              check(!bytes.empty() && bytes.size() <= (std::size_t{1} << 20) + 16 + image.width);
              file.append(bytes);
              return true;
          }) == hdrmill::kap_result::written);

    const hdrmill::kap_reading reading = hdrmill::read_kap(file);
    check(reading.chart.has_value());
    const hdrmill::kap_chart& chart = *reading.chart;
    unsigned depth = 1;
    while ((std::size_t{1} << depth) <= colours) {
        ++depth;
    }
    check(chart.width == image.width && chart.height == image.height && chart.depth == depth);
    check(chart.pixels == image.pixels);
    check(chart.rgb == palettes.day && chart.day == palettes.day && chart.dusk == palettes.dusk &&
          chart.night == palettes.night);
    const std::size_t marker = file.find('\x1A');
    const std::size_t least_size = std::max<std::size_t>(2000, 1024 * (marker / 1024 + 1));
    check(chart.rows_end == chart.index_at || file.size() == least_size);
    return 0;
}
