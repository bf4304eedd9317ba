#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/scan_layout.hpp"

namespace hdrmill {
namespace {

using kind = scan_image::kind;

std::string shown(const scan_layout& layout) {
    if (!layout.type) {
        return "refused: " + layout.refusal;
    }
    const char* names[] = {"indexed", "grey", "colour"};
    return std::string(names[static_cast<int>(*layout.type)]) +
           (layout.palette.empty() ? "" : " with " + std::to_string(layout.palette.size()) + " entries");
}

std::vector<std::uint32_t> colour_map(unsigned bits, std::uint32_t scale) {
    const std::size_t entries = std::size_t{1} << bits;
    std::vector<std::uint32_t> map;
    for (std::size_t channel = 0; channel < 3; ++channel) {
        for (std::size_t k = 0; k < entries; ++k) {
            map.push_back(static_cast<std::uint32_t>((k * 7 + channel * 50) % 256) * scale);
        }
    }
    return map;
}

// Both decoders hand these fields over as the file holds them: libtiff on Linux, the
// frame's directory under WIC.
TEST(ScanLayout, TakesATiffByItsPhotometricSamplesBitsAndMap) {
    struct row {
        std::optional<std::uint32_t> photometric;
        std::uint32_t bits, samples, sample_format;
        bool with_map;
        const char* expected;
    };
    const row rows[] = {
        {2, 8, 3, 1, false, "colour"},  // RGB, whatever GDAL's private tag calls its bands
        {2, 8, 4, 1, false, "colour"},
        {6, 8, 3, 1, false, "colour"},
        {2, 16, 3, 1, false, "colour"},
        {1, 8, 1, 1, false, "grey"},
        {1, 16, 2, 1, false, "grey"},
        {1, 8, 1, 2, false, "grey"},  // signed bytes, taken as stored
        {1, 1, 1, 1, false, "indexed with 2 entries"},
        {0, 1, 1, 1, false, "indexed with 2 entries"},
        {0, 8, 1, 1, false, "indexed with 256 entries"},
        {3, 4, 1, 1, true, "indexed with 16 entries"},
        {3, 8, 1, 1, true, "indexed with 256 entries"},
        {1, 8, 3, 1, false, "refused: a grey TIFF of 3 samples a pixel"},
        {5, 8, 4, 1, false, "refused: a CMYK TIFF"},
        {8, 8, 3, 1, false, "refused: a CIELab TIFF"},
        {3, 16, 1, 1, false, "refused: a palette TIFF of 16-bit indices"},
        {3, 8, 1, 1, false, "refused: a palette TIFF without its colour map"},
        {0, 16, 1, 1, false, "refused: a min-is-white TIFF of 16-bit samples"},
        {2, 4, 3, 1, false, "refused: an RGB TIFF of 4-bit samples"},
        {2, 8, 1, 1, false, "refused: an RGB TIFF without its three samples"},
        {1, 32, 1, 3, false, "refused: a TIFF of floating-point samples"},
        {1, 16, 1, 2, false, "refused: a TIFF of signed samples"},
        {std::nullopt, 8, 1, 1, false, "refused: a TIFF without its photometric interpretation"},
    };
    for (const auto& r : rows) {
        tiff_fields fields{23, 7, r.photometric, r.bits, r.samples, r.sample_format, {}};
        if (r.with_map) {
            fields.colour_map = colour_map(r.bits, 257);
        }
        EXPECT_EQ(shown(tiff_layout(fields)), r.expected)
            << "photometric " << r.photometric.value_or(99) << ", " << r.bits << " bits, " << r.samples << " samples";
    }
}

TEST(ScanLayout, TakesAColourMapWhollyBelow256AsEightBit) {
    const auto eight = colour_map(2, 1);
    const auto sixteen = colour_map(2, 257);
    EXPECT_EQ(colour_map_palette(eight, 2), colour_map_palette(sixteen, 2));
    EXPECT_EQ(colour_map_palette(eight, 2)[1], (colour{7, 57, 107}));
    // One value of 256 or more makes the whole map 16-bit: 255 is then nearly black.
    auto mixed = eight;
    mixed[11] = 256;
    EXPECT_EQ(colour_map_palette(mixed, 2)[1], (colour{0, 0, 0}));
    EXPECT_EQ(colour_map_palette(mixed, 2)[3], (colour{0, 0, 1}));
}

TEST(ScanLayout, MakesTheGreyTableOfBilevelAndMinIsWhiteScans) {
    EXPECT_EQ(grey_table(1, false), (std::vector<colour>{{0, 0, 0}, {255, 255, 255}}));
    EXPECT_EQ(grey_table(1, true), (std::vector<colour>{{255, 255, 255}, {0, 0, 0}}));
    EXPECT_EQ(grey_table(2, true)[1], (colour{170, 170, 170}));
    EXPECT_EQ(grey_table(8, true)[10], (colour{245, 245, 245}));
}

file_head head_of(const std::string& bytes) {
    file_head head;
    head.size = std::min(bytes.size(), head.bytes.size());
    std::copy_n(bytes.begin(), head.size, head.bytes.begin());
    return head;
}

std::string png_with_colour_type(char type) {
    return std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x17\0\0\0\x07\x08", 25) + type + std::string(6, '\0');
}

std::string bmp_with(std::uint8_t header_size, std::uint8_t bits) {
    std::string bytes(32, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    bytes[14] = static_cast<char>(header_size);
    bytes[header_size == 12 ? 24 : 28] = static_cast<char>(bits);
    return bytes;
}

TEST(ScanLayout, TakesOtherFormatsByTheirHeaders) {
    EXPECT_EQ(shown(png_layout(head_of(png_with_colour_type(0)))), "grey");
    EXPECT_EQ(shown(png_layout(head_of(png_with_colour_type(4)))), "grey");
    EXPECT_EQ(shown(png_layout(head_of(png_with_colour_type(3)))), "indexed");
    EXPECT_EQ(shown(png_layout(head_of(png_with_colour_type(2)))), "colour");
    EXPECT_EQ(shown(png_layout(head_of(png_with_colour_type(6)))), "colour");
    EXPECT_EQ(shown(png_layout(head_of(png_with_colour_type(5)))), "refused: a PNG of colour type 5");
    EXPECT_EQ(shown(png_layout(head_of("\x89PNG\r\n\x1a\n"))), "refused: a PNG without its header");
    EXPECT_EQ(shown(jpeg_layout(1)), "grey");
    EXPECT_EQ(shown(jpeg_layout(3)), "colour");
    EXPECT_EQ(shown(jpeg_layout(4)), "refused: a CMYK JPEG");
    EXPECT_EQ(shown(gif_layout()), "indexed");
    EXPECT_EQ(shown(bmp_layout(head_of(bmp_with(40, 8)))), "indexed");
    EXPECT_EQ(shown(bmp_layout(head_of(bmp_with(12, 4)))), "indexed");
    EXPECT_EQ(shown(bmp_layout(head_of(bmp_with(40, 24)))), "colour");
    EXPECT_EQ(shown(bmp_layout(head_of(bmp_with(124, 24)))), "refused: a BMP with a version 4 or 5 header");
}

TEST(ScanLayout, KnowsTheFiveFormatsByTheirSignatures) {
    struct row {
        std::string bytes;
        std::optional<scan_container> format;
    };
    const row rows[] = {
        {std::string("II*\0", 4), scan_container::tiff},   {std::string("MM\0*", 4), scan_container::tiff},
        {std::string("II+\0", 4), scan_container::tiff},   {png_with_colour_type(2), scan_container::png},
        {"\xff\xd8\xff\xe0", scan_container::jpeg},         {"GIF89a", scan_container::gif},
        {"GIF87a", scan_container::gif},                    {"BM", scan_container::bmp},
        {"P6\n23 7\n255\n", std::nullopt},                  {"", std::nullopt},
        {std::string("II*", 3), std::nullopt},              {"GIF88a", std::nullopt},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(container_of(head_of(r.bytes)), r.format) << r.bytes;
    }
}

}  // namespace
}  // namespace hdrmill
