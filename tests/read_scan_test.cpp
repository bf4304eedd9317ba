#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "scan/scan_reader.hpp"
#include "test_support.hpp"

namespace hdrmill {
namespace {

// The scans made by tests/scans/make_scans.sh, 23 x 7 pixels each. The pictures below
// are its rules, with x across, y down and i = x + 23 y.
const std::string scans = HDRMILL_TEST_SCANS;
constexpr std::uint32_t scan_width = 23;
constexpr std::uint32_t scan_height = 7;

std::uint8_t level(unsigned v) { return static_cast<std::uint8_t>(v); }

colour chart(unsigned x, unsigned y) {
    return {level(10 * x + 5), level(30 * y + 40), level((x + 23 * y) * 255 / 160)};
}

/// The 8-bit reading of a 16-bit sample whose high byte is `sample`.
std::uint8_t widened(std::uint8_t sample, unsigned x, unsigned y, unsigned channel) {
    const unsigned low = (97 * (x + 23 * y) + 41 * channel) % 256;
    return narrow_sample(static_cast<std::uint16_t>(unsigned{sample} << 8 | low));
}

colour chart_16(unsigned x, unsigned y) {
    const colour c = chart(x, y);
    return {widened(c.r, x, y, 0), widened(c.g, x, y, 1), widened(c.b, x, y, 2)};
}

colour sixteen(unsigned x, unsigned y) { return chart((x + 23 * y) % 16, 0); }

colour grey_ramp(unsigned x, unsigned y) {
    const std::uint8_t g = level((x + 23 * y) * 255 / 160);
    return {g, g, g};
}

colour grey_ramp_16(unsigned x, unsigned y) {
    const std::uint8_t g = widened(grey_ramp(x, y).r, x, y, 0);
    return {g, g, g};
}

colour bilevel(unsigned x, unsigned y) { return (x + 2 * y) % 3 == 0 ? colour{0, 0, 0} : colour{255, 255, 255}; }

/// The colour a pixel shows, whatever the kind of scan.
colour shown(const scan_image& scan, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* at = scan.row(y) + x * scan.bytes_per_pixel();
    switch (scan.type) {
    case scan_image::kind::indexed:
        return *at < scan.palette.size() ? scan.palette[*at] : colour{1, 2, 3};  // in no picture
    case scan_image::kind::grey:
        return {at[0], at[0], at[0]};
    case scan_image::kind::colour:
        break;
    }
    return {at[0], at[1], at[2]};
}

int distance(colour a, colour b) { return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}); }

TEST(ReadScan, DecodesEveryLayoutToItsKindPaletteAndPixels) {
    using kind = scan_image::kind;
    struct row {
        const char* file;
        kind type;
        std::size_t palette_size;
        colour (*picture)(unsigned, unsigned);
        int tolerance;  // lossy JPEG only: its chroma is kept at half resolution
    };
    const row rows[] = {
        {"tiff_rgb_none.tif", kind::colour, 0, chart, 0},
        {"tiff_rgb_lzw.tif", kind::colour, 0, chart, 0},
        {"tiff_rgb_deflate.tif", kind::colour, 0, chart, 0},
        {"tiff_rgb_packbits.tif", kind::colour, 0, chart, 0},
        {"tiff_rgb_jpeg.tif", kind::colour, 0, chart, 16},
        {"tiff_rgb_tiled.tif", kind::colour, 0, chart, 0},
        {"tiff_rgb_planar.tif", kind::colour, 0, chart, 0},
        {"tiff_rgba.tif", kind::colour, 0, chart, 0},
        {"tiff_rgb16.tif", kind::colour, 0, chart_16, 0},
        {"tiff_grey.tif", kind::grey, 0, grey_ramp, 0},
        {"tiff_grey16.tif", kind::grey, 0, grey_ramp_16, 0},
        {"tiff_grey_miniswhite.tif", kind::indexed, 256, grey_ramp, 0},
        {"tiff_palette.tif", kind::indexed, 256, chart, 0},
        {"tiff_palette4.tif", kind::indexed, 16, sixteen, 0},
        {"tiff_palette_16bit_map.tif", kind::indexed, 256, chart_16, 0},
        {"tiff_bilevel_ccittfax4_miniswhite.tif", kind::indexed, 2, bilevel, 0},
        {"tiff_bilevel_ccittfax4_minisblack.tif", kind::indexed, 2, bilevel, 0},
        {"tiff_bilevel_ccittfax3_miniswhite.tif", kind::indexed, 2, bilevel, 0},
        {"tiff_bilevel_none_minisblack.tif", kind::indexed, 2, bilevel, 0},
        {"png_palette.png", kind::indexed, 161, chart, 0},
        {"png_palette4.png", kind::indexed, 16, sixteen, 0},
        {"png_grey.png", kind::grey, 0, grey_ramp, 0},
        {"png_grey16.png", kind::grey, 0, grey_ramp_16, 0},
        {"png_grey1.png", kind::grey, 0, bilevel, 0},
        {"png_grey_alpha.png", kind::grey, 0, grey_ramp, 0},
        {"png_rgb.png", kind::colour, 0, chart, 0},
        {"png_rgb16.png", kind::colour, 0, chart_16, 0},
        {"png_rgba.png", kind::colour, 0, chart, 0},
        {"jpeg_rgb.jpg", kind::colour, 0, chart, 16},
        {"jpeg_grey.jpg", kind::grey, 0, grey_ramp, 2},
        {"gif_palette.gif", kind::indexed, 256, chart, 0},
        {"bmp_palette.bmp", kind::indexed, 161, chart, 0},
        {"bmp_rgb.bmp", kind::colour, 0, chart, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file);
        const auto scan = read_scan(scans + "/" + r.file).scan;
        if (!scan || scan->width != scan_width || scan->height != scan_height ||
            scan->pixels.size() != scan_width * scan_height * scan->bytes_per_pixel()) {
            ADD_FAILURE() << "not decoded to 23 x 7 pixels";
            continue;
        }
        EXPECT_EQ(scan->type, r.type);
        EXPECT_EQ(scan->palette.size(), r.palette_size);
        int worst = 0;
        for (std::uint32_t y = 0; y < scan_height; ++y) {
            for (std::uint32_t x = 0; x < scan_width; ++x) {
                worst = std::max(worst, distance(shown(*scan, x, y), r.picture(x, y)));
            }
        }
        EXPECT_LE(worst, r.tolerance);
    }
}

TEST(ReadScan, RefusesWhatIsNotAReadableScanAndSaysWhy) {
    const std::string layout = ", a layout not read (palette, grey and RGB scans are)";
    const std::pair<const char*, std::string> files[] = {
        {"missing.png", "no such file"},
        {"", "not a file"},  // the folder itself
        {"not_a_scan.txt", "not a TIFF, PNG, JPEG, GIF or BMP file"},
        {"other_format.ppm", "not a TIFF, PNG, JPEG, GIF or BMP file"},  // formats GDAL reads, but no scan comes in
        {"other_format.img", "not a TIFF, PNG, JPEG, GIF or BMP file"},
        {"other_layout_cmyk.tif", "a CMYK TIFF" + layout},
        {"other_layout_three_greys.tif", "a grey TIFF of 3 samples a pixel" + layout},
        {"bad_truncated.png", "the file is damaged"},
        {"bad_truncated.jpg", "the file is damaged"},  // libjpeg only warns of its early end
        {"bad_truncated.gif", "the file is damaged"},
        {"bad_truncated.tif", "the file is damaged"},
        {"bad_corrupt_lzw.tif", "the file is damaged"},
        // 2^31 - 1 pixels square: refused before anything is set aside for it.
        {"bad_huge.tif", "2,147,483,647 x 2,147,483,647 pixels, more than the 600,000,000 a chart is made from"},
        {"bad_index_beyond_palette.png", "the file is damaged"},
    };
    for (const auto& [file, reason] : files) {
        SCOPED_TRACE(file);
        const auto read = read_scan(scans + "/" + file);
        EXPECT_FALSE(read.scan.has_value());
        EXPECT_EQ(read.refusal, reason);
    }
}

/// A fresh folder holding copies of all the test scans, removed with whatever is in it.
struct scan_copies : testing::temp_dir {
    scan_copies() { std::filesystem::copy(scans, path("")); }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path(""))) {
            found.insert(entry.path().filename().string());
        }
        return found;
    }
};

TEST(ReadScan, TakesEveryNameAsAPlainFile) {
    const std::string scan = scans + "/png_rgb.png";
    EXPECT_FALSE(read_scan(scan + std::string(1, '\0') + "x").scan.has_value());
    EXPECT_TRUE(read_scan(std::filesystem::relative(scan).string()).scan.has_value());
#ifndef _WIN32
    // A colour TIFF whose name reads as a request to GDAL's TIFF driver for the grey
    // scan beside it: the file named is read, not the one requested.
    const scan_copies copies;
    const std::string request = "GTIFF_DIR:1:tiff_grey.tif";
    std::filesystem::copy_file(scans + "/tiff_rgb_none.tif", copies.path(request));
    const auto was = std::filesystem::current_path();
    std::filesystem::current_path(copies.path(""));
    const auto read = read_scan(request).scan;
    std::filesystem::current_path(was);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->type, scan_image::kind::colour);
#endif
}

TEST(ReadScan, WritesNothingAnywhere) {
    const scan_copies copies;
    const auto before = copies.names();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    for (const auto& name : before) {
        static_cast<void>(read_scan(copies.path(name)));
    }
    static_cast<void>(read_scan(copies.path("missing.tif")));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(copies.names(), before);
}

TEST(ReadScan, TakesNothingFromFilesBesideTheScan) {
    const scan_copies copies;
    // Were it read, this would make the 8-bit grey scan a 4-bit one.
    std::ofstream(copies.path("png_grey.png.aux.xml"))
        << "<PAMDataset><PAMRasterBand band=\"1\"><Metadata domain=\"IMAGE_STRUCTURE\">"
           "<MDI key=\"NBITS\">4</MDI></Metadata></PAMRasterBand></PAMDataset>\n";
    const auto scan = read_scan(copies.path("png_grey.png")).scan;
    const auto alone = read_scan(scans + "/png_grey.png").scan;
    ASSERT_TRUE(scan.has_value() && alone.has_value());
    EXPECT_EQ(scan->pixels, alone->pixels);
}

TEST(UnpackIndices, SpreadsPackedIndicesToOneByteEach) {
    struct row {
        unsigned bits;
        std::vector<std::uint8_t> packed;
        std::vector<std::uint8_t> indices;
    };
    const row rows[] = {
        {1, {0b10110010, 0b01000000}, {1, 0, 1, 1, 0, 0, 1, 0, 0, 1}},
        {2, {0b11100100, 0b01000000}, {3, 2, 1, 0, 1}},
        {4, {0xF0, 0x5A, 0xC0}, {15, 0, 5, 10, 12}},
        {8, {7, 0, 255}, {7, 0, 255}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.bits);
        std::vector<std::uint8_t> out(r.indices.size() + 1, 99);
        unpack_indices(r.packed.data(), r.bits, static_cast<std::uint32_t>(r.indices.size()), out.data());
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end() - 1), r.indices);
        EXPECT_EQ(out.back(), 99) << "wrote past the row";
    }
}

}  // namespace
}  // namespace hdrmill
