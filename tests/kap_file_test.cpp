#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kap/kap_file.hpp"
#include "tests/kap_reader.hpp"

namespace hdrmill {
namespace {

struct written_chart {
    kap_result result;
    std::string file;
};

written_chart write_in_memory(std::string_view header, const chart_palettes& palettes, const scan_image& image) {
    written_chart out{kap_result::written, {}};
    out.result = write_kap(header, header.find("OST/1"), palettes, image, [&](std::string_view bytes) {
        out.file.append(bytes);
        return true;
    });
    return out;
}

std::string chart_header(std::uint32_t width, std::uint32_t height, std::string_view extra_lines = "") {
    return "! Created by kap_file_test\r\nVER/2.0\r\nBSB/NA=TEST\r\n    NU=1,RA=" + std::to_string(width) + "," +
           std::to_string(height) + ",DU=254\r\nKNP/SC=20000,GD=WGS84,PR=MERCATOR,PP=0\r\n" +
           std::string(extra_lines) + "OST/1\r\nREF/1,0,0,50,0\r\nDTM/0,0\r\n";
}

// Distinct colours in each scheme, so that a mixed-up palette shows.
chart_palettes palettes_of(std::size_t colours) {
    chart_palettes out;
    for (std::size_t k = 0; k < colours; ++k) {
        const auto level = static_cast<std::uint8_t>(2 * k);
        out.day.push_back({level, static_cast<std::uint8_t>(255 - level), 200});
        out.dusk.push_back({static_cast<std::uint8_t>(level / 2), 100, 1});
        out.night.push_back({static_cast<std::uint8_t>(level / 4), 50, 0});
    }
    return out;
}

scan_image indexed_image(std::uint32_t width, std::uint32_t height, std::vector<std::uint8_t> pixels) {
    scan_image image;
    image.type = scan_image::kind::indexed;
    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return image;
}

// Runs of `run` pixels, the colour stepping on with every run and every row.
scan_image runs_image(std::uint32_t width, std::uint32_t height, std::size_t colours, std::uint32_t run) {
    std::vector<std::uint8_t> pixels;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            pixels.push_back(static_cast<std::uint8_t>((x / run + y) % colours));
        }
    }
    return indexed_image(width, height, std::move(pixels));
}

void expect_round_trip(const chart_palettes& palettes, const scan_image& image, unsigned depth) {
    const written_chart written = write_in_memory(chart_header(image.width, image.height), palettes, image);
    ASSERT_EQ(written.result, kap_result::written);
    const kap_reading reading = read_kap(written.file);
    ASSERT_TRUE(reading.chart) << reading.error;
    const kap_chart& chart = *reading.chart;
    EXPECT_EQ(chart.depth, depth);
    EXPECT_EQ(chart.rgb, palettes.day);
    EXPECT_EQ(chart.day, palettes.day);
    EXPECT_EQ(chart.dusk, palettes.dusk);
    EXPECT_EQ(chart.night, palettes.night);
    EXPECT_TRUE(chart.pixels == image.pixels);
}

TEST(KapFile, RoundTripsEveryDepthAndRunLength) {
    struct depth_case {
        std::size_t colours;
        unsigned depth;
    };
    const depth_case depths[] = {{1, 1},  {2, 2},  {3, 2},  {4, 3},  {7, 3},  {8, 4},   {15, 4},
                                 {16, 5}, {31, 5}, {32, 6}, {63, 6}, {64, 7}, {127, 7}};
    for (const auto& [colours, depth] : depths) {
        const std::uint32_t first_byte_most = 1U << (7 - depth);   // the longest run of one byte
        const std::uint32_t runs[] = {1,   2,   first_byte_most - 1, first_byte_most, first_byte_most + 1,
                                      127, 128, 129,                 130,             16384,
                                      16385, 16386};
        for (const std::uint32_t run : runs) {
            if (run == 0) {   // at depth 7 the first byte holds no count
                continue;
            }
            SCOPED_TRACE("colours " + std::to_string(colours) + ", runs of " + std::to_string(run));
            expect_round_trip(palettes_of(colours), runs_image(2 * run + 3, 2, colours, run), depth);
        }
    }
}

TEST(KapFile, RoundTripsNarrowAndFlatImages) {
    struct shape {
        std::uint32_t width, height;
    };
    for (const auto& [width, height] : {shape{1, 1}, shape{1, 127}, shape{1, 300}, shape{127, 1}, shape{3, 129}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        expect_round_trip(palettes_of(127), runs_image(width, height, 127, 1), 7);
    }
}

// The bytes of row 1 of a one-row chart, from its row number to its closing 0x00.
TEST(KapFile, EncodesRunsAsHandCheckedBytes) {
    struct run {
        std::uint8_t index;
        std::uint32_t pixels;
    };
    struct row_case {
        std::size_t colours;
        std::vector<run> runs;
        std::vector<unsigned> bytes;
    };
    const row_case cases[] = {
        {127, {{126, 129}}, {0x01, 0xFF, 0x81, 0x00, 0x00}},
        {127, {{0, 128}}, {0x01, 0x81, 0x7F, 0x00}},
        {127, {{126, 16385}}, {0x01, 0xFF, 0x81, 0x80, 0x00, 0x00}},
        {64, {{63, 2}, {0, 1}}, {0x01, 0xC0, 0x01, 0x01, 0x00}},
        {1, {{0, 64}}, {0x01, 0x7F, 0x00}},
        {1, {{0, 65}}, {0x01, 0xC0, 0x40, 0x00}},
        {1, {{0, 16385}}, {0x01, 0xC1, 0x80, 0x00, 0x00}},
        {2, {{0, 1}, {1, 1}, {0, 1}}, {0x01, 0x20, 0x40, 0x20, 0x00}},
        {3, {{2, 32}, {1, 33}}, {0x01, 0x7F, 0xC0, 0x20, 0x00}},
        {8, {{7, 16}}, {0x01, 0xC0, 0x0F, 0x00}},
    };
    for (const row_case& c : cases) {
        std::vector<std::uint8_t> pixels;
        for (const run& r : c.runs) {
            pixels.insert(pixels.end(), r.pixels, r.index);
        }
        const auto width = static_cast<std::uint32_t>(pixels.size());
        const written_chart written =
            write_in_memory(chart_header(width, 1), palettes_of(c.colours), indexed_image(width, 1, pixels));
        const kap_reading reading = read_kap(written.file);
        ASSERT_TRUE(reading.chart) << reading.error;
        const std::size_t rows_at = written.file.find('\x1A') + 3;
        const std::string expected(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(written.file.substr(rows_at, reading.chart->rows_end - rows_at), expected)
            << c.colours << " colours, " << width << " pixels";
    }
}

TEST(KapFile, NumbersRowsFromOneInBase128) {
    struct numbered_row {
        std::uint32_t row;
        std::vector<unsigned> bytes;
    };
    const numbered_row rows[] = {
        {1, {0x01}}, {127, {0x7F}}, {128, {0x81, 0x00}}, {16383, {0xFF, 0x7F}}, {16384, {0x81, 0x80, 0x00}}};
    const written_chart written =
        write_in_memory(chart_header(1, 16384), palettes_of(1), indexed_image(1, 16384, std::vector<std::uint8_t>(16384)));
    const kap_reading reading = read_kap(written.file);
    ASSERT_TRUE(reading.chart) << reading.error;
    for (const numbered_row& r : rows) {
        const std::size_t entry = reading.chart->index_at + 4 * (r.row - 1);
        std::size_t offset = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            offset = offset * 256 + static_cast<unsigned char>(written.file[entry + i]);
        }
        EXPECT_EQ(written.file.substr(offset, r.bytes.size()), std::string(r.bytes.begin(), r.bytes.end()))
            << "row " << r.row;
    }
}

TEST(KapFile, WritesASmallChartByteForByte) {
    const std::string header = "VER/2.0\r\nBSB/RA=40,2\r\nOST/1\r\nDTM/0,0\r\n";
    const chart_palettes palettes{{{255, 255, 255}, {0, 0, 0}, {200, 10, 10}},
                                  {{128, 128, 128}, {0, 0, 0}, {100, 5, 5}},
                                  {{64, 64, 64}, {0, 0, 0}, {50, 3, 3}}};
    std::vector<std::uint8_t> pixels(33, 1);
    pixels.insert(pixels.end(), 7, 2);
    pixels.insert(pixels.end(), {0, 1});
    pixels.insert(pixels.end(), 38, 2);

    // 0x1A at 233; rows at 236 and 241; 1,741 zeros up to 2,000 bytes; the index at 1,988.
    std::string expected =
        "VER/2.0\r\nBSB/RA=40,2\r\n"
        "IFM/2\r\n"
        "RGB/1,255,255,255\r\nRGB/2,0,0,0\r\nRGB/3,200,10,10\r\n"
        "DAY/1,255,255,255\r\nDAY/2,0,0,0\r\nDAY/3,200,10,10\r\n"
        "DSK/1,128,128,128\r\nDSK/2,0,0,0\r\nDSK/3,100,5,5\r\n"
        "NGT/1,64,64,64\r\nNGT/2,0,0,0\r\nNGT/3,50,3,3\r\n"
        "OST/1\r\nDTM/0,0\r\n";
    const unsigned rows[] = {0x1A, 0x00, 0x02,                    // end of header, depth 2
                             0x01, 0xC0, 0x20, 0x66, 0x00,        // 33 x entry 2, 7 x entry 3
                             0x02, 0x20, 0x40, 0xE0, 0x25, 0x00}; // entries 1, 2, 38 x entry 3
    expected.append(std::begin(rows), std::end(rows));
    expected.append(1741, '\0');
    const unsigned index[] = {0, 0, 0x00, 0xEC, 0, 0, 0x00, 0xF1, 0, 0, 0x07, 0xC4};
    expected.append(std::begin(index), std::end(index));

    std::string file;
    const kap_result result = write_kap(header, 22, palettes, indexed_image(40, 2, pixels), [&](std::string_view bytes) {
        file.append(bytes);
        return true;
    });
    EXPECT_EQ(result, kap_result::written);
    ASSERT_EQ(file.size(), 2000U);
    EXPECT_EQ(file, expected);
}

// Header text of exactly `length` bytes once the palettes of one black colour
// (59 bytes) are in: comment lines fill it up.
std::string header_ending_at(std::size_t length, std::uint32_t width, std::uint32_t height) {
    std::string header = chart_header(width, height);
    for (std::size_t missing = length - 59 - header.size(); missing > 0;) {
        const std::size_t line = missing <= 900 ? missing : missing - 900 >= 3 ? 900 : 800;
        header.append("!").append(line - 3, 'x').append("\r\n");
        missing -= line;
    }
    return header;
}

TEST(KapFile, PadsBeforeTheIndexToTheSizeReadersNeed) {
    struct size_case {
        std::size_t end_marker_at;
        std::uint32_t width, height;
        std::size_t file_size;
    };
    const size_case cases[] = {
        {1023, 2, 2, 2000}, {1024, 2, 2, 2048}, {2026, 2, 2, 2048}, {2048, 2, 2, 3072}, {5185, 2, 2, 6144},
        // Just long enough unpadded: 0x1A, 0x00, the depth, two 3-byte rows, the index.
        {2027, 2, 2, 2027 + 3 + 6 + 12},
        // 503 + 300 rows of 1-byte runs (127 one-byte and 173 two-byte numbers) + the index: no padding.
        {500, 1, 300, 503 + 127 * 3 + 173 * 4 + 1204},
    };
    const chart_palettes black{{{0, 0, 0}}, {{0, 0, 0}}, {{0, 0, 0}}};
    for (const size_case& c : cases) {
        const std::string header = header_ending_at(c.end_marker_at, c.width, c.height);
        const scan_image image = indexed_image(c.width, c.height, std::vector<std::uint8_t>(c.width * c.height));
        const written_chart written = write_in_memory(header, black, image);
        ASSERT_EQ(written.result, kap_result::written);
        ASSERT_EQ(written.file.find('\x1A'), c.end_marker_at);
        EXPECT_EQ(written.file.size(), c.file_size) << "0x1A at " << c.end_marker_at;
        // The reader takes the index from the end and refuses anything but zeros before it.
        const kap_reading reading = read_kap(written.file);
        EXPECT_TRUE(reading.chart) << reading.error;
    }
}

TEST(KapFile, RefusesAChartThatWouldReach2GiBBeforeSendingAnything) {
    // 220 million one-pixel rows take at least 10 bytes each with their index entries.
    const std::uint32_t height = 220'000'000;
    const scan_image image = indexed_image(1, height, std::vector<std::uint8_t>(height));
    bool sent = false;
    const std::string header = chart_header(1, height);
    EXPECT_EQ(write_kap(header, header.find("OST/1"), palettes_of(1), image,
                        [&](std::string_view) { return sent = true; }),
              kap_result::too_large);
    EXPECT_FALSE(sent);
}

TEST(KapFile, RefusesAChartThatReachesItsLimitPartWay) {
    // Noise in 127 colours takes about a byte a pixel, where one run a row would take
    // a few bytes a row: the limit is passed only once the rows are written.
    const scan_image image = runs_image(3000, 1000, 127, 1);
    const std::string header = chart_header(3000, 1000);
    std::uint64_t sent = 0;
    EXPECT_EQ(write_kap(header, header.find("OST/1"), palettes_of(127), image,
                        [&](std::string_view bytes) { return sent += bytes.size(), true; }, 1'500'000),
              kap_result::too_large);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, 1'500'000u);
}

TEST(KapFile, StopsAtTheFirstFailedDelivery) {
    // Noise in 127 colours: about 3 MB, three pieces.
    const scan_image image = runs_image(3000, 1000, 127, 1);
    const std::string header = chart_header(3000, 1000);
    for (const int failing_call : {1, 2, 3}) {
        int calls = 0;
        EXPECT_EQ(write_kap(header, header.find("OST/1"), palettes_of(127), image,
                            [&](std::string_view) { return ++calls < failing_call; }),
                  kap_result::sink_failed);
        EXPECT_EQ(calls, failing_call);
    }
}

TEST(KapFile, RefusesInputOutsideItsContract) {
    struct unfit_case {
        const char* what;
        std::function<void(std::string& header, std::size_t& palettes_at, chart_palettes&, scan_image&)> spoil;
    };
    const unfit_case cases[] = {
        {"a colour scan", [](auto&, auto&, auto&, scan_image& image) { image.type = scan_image::kind::colour; }},
        {"no colours", [](auto&, auto&, chart_palettes& p, auto&) { p = palettes_of(0); }},
        {"128 colours",
         [](auto&, auto&, chart_palettes& p, scan_image& image) {
             p = palettes_of(128);
             image.pixels.assign(image.pixels.size(), 0);
         }},
        {"a short dusk palette", [](auto&, auto&, chart_palettes& p, auto&) { p.dusk.pop_back(); }},
        {"a pixel missing", [](auto&, auto&, auto&, scan_image& image) { image.pixels.pop_back(); }},
        {"an index past the palette", [](auto&, auto&, auto&, scan_image& image) { image.pixels.back() = 3; }},
        {"no CR LF at the end", [](std::string& header, auto&, auto&, auto&) { header.pop_back(); }},
        {"0x1A in the header", [](std::string& header, auto&, auto&, auto&) { header[2] = '\x1A'; }},
        {"palettes within a line", [](auto&, std::size_t& at, auto&, auto&) { ++at; }},
        {"palettes past the end", [](std::string& header, std::size_t& at, auto&, auto&) { at = header.size() + 1; }},
    };
    for (const unfit_case& c : cases) {
        std::string header = chart_header(4, 2);
        std::size_t palettes_at = header.find("OST/1");
        chart_palettes palettes = palettes_of(3);
        scan_image image = runs_image(4, 2, 3, 1);
        c.spoil(header, palettes_at, palettes, image);
        EXPECT_EQ(write_kap(header, palettes_at, palettes, image, [](std::string_view) { return true; }),
                  kap_result::unfit_input)
            << c.what;
    }
}

TEST(KapReader, RefusesWhatChartReadersRefuseOrMisread) {
    // A 3 x 2 chart in 3 colours (depth 2): rows "01 22 00" and "02 42 00" at 0x1A + 3 and + 6.
    const std::string header = chart_header(3, 2);
    std::vector<std::uint8_t> pixels(3, 0);
    pixels.insert(pixels.end(), 3, 1);
    const std::string chart = write_in_memory(header, palettes_of(3), indexed_image(3, 2, pixels)).file;
    const std::size_t rows_at = chart.find('\x1A') + 3;
    ASSERT_TRUE(read_kap(chart).chart);

    const auto replace = [](std::string from, std::string to) {
        return [=](std::string& file) { file.replace(file.find(from), from.size(), to); };
    };
    struct refusal_case {
        const char* error;
        std::function<void(std::string&)> spoil;
    };
    const refusal_case cases[] = {
        {"has 2 pixels, not 3", [&](std::string& file) { file[rows_at + 1] = 0x21; }},
        {"longer than 3 pixels", [&](std::string& file) { file[rows_at + 1] = 0x23; }},
        {"palette entry 0 of 3", [&](std::string& file) { file[rows_at + 1] = 0x02; }},
        {"is numbered 2", [&](std::string& file) { file[rows_at] = 0x02; }},
        {"out of order or missing", replace("DSK/2,", "DSK/3,")},
        {"NGT/ has 2 entries", replace("NGT/3,", "!GT/3,")},
        {"past the end of the file", [](std::string& file) { file[file.size() - 12] = '\x7F'; }},
        {"goes backwards", [](std::string& file) { file.replace(file.size() - 8, 4, std::string("\0\0\0\1", 4)); }},
        {"the last 4 bytes are zero", [](std::string& file) { file.replace(file.size() - 4, 4, 4, '\0'); }},
        {"a blank header line", replace("VER/2.0\r\n", "\r\nER/2.0\r\n")},
        {"does not end with CR LF", replace("DTM/0,0\r\n", "DTM/0,00\r")},
        {"a CR or LF alone", replace("VER/2.0\r\n", "VER/2.0\n\r\n")},
        {"999 characters", replace("OST/1", "!" + std::string(998, 'x') + "\r\nOST/1")},
        {"\"BSB/\" does not start within the first 995", replace("! Created", std::string(997, '!'))},
        {"at least 2000", [](std::string& file) { file.erase(file.size() - 20, 1); }},
        {"other than zero between the last row and the index",
         [&](std::string& file) { file[rows_at + 6] = 1; }},
    };
    for (const refusal_case& c : cases) {
        std::string file = chart;
        c.spoil(file);
        const kap_reading reading = read_kap(file);
        EXPECT_FALSE(reading.chart) << c.error;
        EXPECT_NE(reading.error.find(c.error), std::string::npos) << c.error << ": " << reading.error;
    }
}

}  // namespace
}  // namespace hdrmill
