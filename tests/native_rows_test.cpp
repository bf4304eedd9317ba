#include <gtest/gtest.h>

#include <vector>

#include "scan/native_rows.hpp"
#include "scan/row_mapper.hpp"

namespace hdrmill {
namespace {

using bytes = std::vector<std::uint8_t>;

bytes plain(native_format format, const bytes& row, std::uint32_t width) {
    const auto& layout = layout_of(format);
    bytes out(std::size_t{width} * (one_byte_a_pixel(layout.type) ? 1 : 3) + 1, 0xEE);
    plain_row(layout, row.data(), width, out.data());
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the row";
    out.pop_back();
    return out;
}

TEST(NativeRows, WidensEachNativeFormatAsTheLinuxDecoderDoes) {
    struct row {
        native_format format;
        bytes native;
        std::uint32_t width;
        bytes expected;
    };
    const row rows[] = {
        {native_format::indexed4, {0x1F, 0x20}, 3, {1, 15, 2}},
        {native_format::grey1, {0b10100000}, 3, {255, 0, 255}},
        {native_format::grey2, {0b00011011}, 4, {0, 85, 170, 255}},
        {native_format::grey4, {0x3F}, 2, {51, 255}},
        {native_format::grey16, {0xFF, 0x7F, 0x80, 0x80}, 2, {127, 128}},  // little-endian, rounded
        {native_format::bgr24, {1, 2, 3, 4, 5, 6}, 2, {3, 2, 1, 6, 5, 4}},
        {native_format::rgb24, {1, 2, 3}, 1, {1, 2, 3}},
        {native_format::bgra32, {1, 2, 3, 99}, 1, {3, 2, 1}},
        {native_format::rgba32, {1, 2, 3, 99}, 1, {1, 2, 3}},
        {native_format::rgb48, {0x80, 0x00, 0x7F, 0x00, 0xFF, 0xFF}, 1, {0, 0, 255}},
        {native_format::bgr48, {0, 0x01, 0, 0x02, 0, 0x03}, 1, {3, 2, 1}},
        {native_format::pbgra64, {0, 0x01, 0, 0x02, 0, 0x03, 0, 0xFF}, 1, {3, 2, 1}},
        // 5 bits to the nearest level: 3 of 31 is 25 here, 24 by repeating the top bits.
        {native_format::bgr555, {0x03, 0x0C}, 1, {25, 0, 25}},
        {native_format::bgr565, {0xE0, 0x07}, 1, {0, 255, 0}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(plain(r.format, r.native, r.width), r.expected) << static_cast<int>(r.format);
    }
    EXPECT_EQ(bits_a_pixel(layout_of(native_format::rgba64)), 64U);
    EXPECT_EQ(bits_a_pixel(layout_of(native_format::indexed2)), 2U);
}

scan_image scan_of(scan_image::kind type, std::vector<colour> palette = {}) {
    scan_image scan;
    scan.type = type;
    scan.palette = std::move(palette);
    return scan;
}

bytes mapped(const row_mapper& mapper, const bytes& plain_row, std::uint32_t width, std::size_t out_bytes, bool ok) {
    bytes out(out_bytes, 0xEE);
    EXPECT_EQ(mapper.map(plain_row.data(), width, out.data()), ok);
    return out;
}

TEST(RowMapper, GivesEachKindOfScanItsBytesFromEveryKindOfRow) {
    using kind = scan_image::kind;
    const std::vector<colour> decoder = {{0, 0, 0}, {255, 255, 255}, {10, 20, 30}};
    const std::vector<colour> table = {{255, 255, 255}, {0, 0, 0}};  // min-is-white bilevel
    // Index rows into a palette scan: the indices as they stand.
    EXPECT_EQ(mapped(row_mapper(layout_class::indices, scan_of(kind::indexed, decoder), decoder), {2, 0}, 2, 2, true),
              (bytes{2, 0}));
    // Past the palette: refused.
    mapped(row_mapper(layout_class::indices, scan_of(kind::indexed, decoder), decoder), {3}, 1, 1, false);
    // Index rows into a colour scan: the decoder's colours.
    EXPECT_EQ(mapped(row_mapper(layout_class::indices, scan_of(kind::colour), decoder), {2}, 1, 3, true),
              (bytes{10, 20, 30}));
    // Grey rows of a bilevel scan the layout makes a palette scan: looked up by colour.
    EXPECT_EQ(mapped(row_mapper(layout_class::levels, scan_of(kind::indexed, table), {}), {0, 255}, 2, 2, true),
              (bytes{1, 0}));
    mapped(row_mapper(layout_class::levels, scan_of(kind::indexed, table), {}), {128}, 1, 1, false);
    // Grey rows into a grey scan, colour rows into grey, palette and colour scans.
    EXPECT_EQ(mapped(row_mapper(layout_class::levels, scan_of(kind::grey), {}), {7, 9}, 2, 2, true), (bytes{7, 9}));
    EXPECT_EQ(mapped(row_mapper(layout_class::samples, scan_of(kind::grey), {}), {7, 7, 7, 9, 9, 9}, 2, 2, true),
              (bytes{7, 9}));
    EXPECT_EQ(mapped(row_mapper(layout_class::samples, scan_of(kind::indexed, decoder), {}),
                     {10, 20, 30, 10, 20, 30, 0, 0, 0}, 3, 3, true),
              (bytes{2, 2, 0}));
    mapped(row_mapper(layout_class::samples, scan_of(kind::indexed, decoder), {}), {1, 2, 3}, 1, 1, false);
    EXPECT_EQ(mapped(row_mapper(layout_class::samples, scan_of(kind::colour), {}), {1, 2, 3}, 1, 3, true),
              (bytes{1, 2, 3}));
}

TEST(RowMapper, FindsAColourTwiceInAPaletteAtItsFirstIndex) {
    const palette_index index({{5, 5, 5}, {1, 2, 3}, {5, 5, 5}});
    EXPECT_EQ(index.find(0x050505), 0);
    EXPECT_EQ(index.find(0x010203), 1);
    EXPECT_EQ(index.find(0x010204), -1);
}

}  // namespace
}  // namespace hdrmill
