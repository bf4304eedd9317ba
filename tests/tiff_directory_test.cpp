#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "scan/tiff_directory.hpp"

namespace hdrmill {
namespace {

using bytes = std::vector<std::uint8_t>;

byte_source from(const bytes& file) {
    return [&file](std::uint64_t offset, std::size_t size, std::uint8_t* out) {
        if (offset > file.size() || size > file.size() - offset) {
            return false;
        }
        std::memcpy(out, file.data() + offset, size);
        return true;
    };
}

// A classic directory at offset 8 with entries (tag, type, count, value-or-offset),
// little- or big-endian; `tail` follows the directory.
bytes classic(bool big_endian, const std::vector<std::array<std::uint32_t, 4>>& entries, const bytes& tail = {}) {
    bytes file;
    const auto put = [&](std::uint64_t v, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            file.push_back(static_cast<std::uint8_t>(v >> (8 * (big_endian ? size - 1 - i : i))));
        }
    };
    file.push_back(big_endian ? 'M' : 'I');
    file.push_back(big_endian ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    put(entries.size(), 2);
    for (const auto& e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
        if (e[1] == 3 && e[2] == 1) {
            put(e[3], 2);  // a short stands in the entry's first two bytes
            put(0, 2);
        } else {
            put(e[3], 4);
        }
    }
    put(0, 4);
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

TEST(TiffDirectory, ReadsTheFieldsTheLayoutIsDecidedByInEitherByteOrder) {
    for (const bool big_endian : {false, true}) {
        const auto file = classic(big_endian, {{262, 3, 1, 1}, {258, 3, 1, 16}, {277, 3, 1, 2}, {339, 3, 1, 1}, {256, 4, 1, 9}});
        const auto fields = parse_tiff_fields(from(file));
        ASSERT_TRUE(fields.has_value());
        EXPECT_EQ(fields->photometric, 1U);
        EXPECT_EQ(fields->bits, 16U);
        EXPECT_EQ(fields->samples, 2U);
        EXPECT_TRUE(fields->colour_map.empty());
    }
    // A field the file lacks keeps its default; photometric has none.
    const auto bare = parse_tiff_fields(from(classic(false, {{256, 4, 1, 9}})));
    ASSERT_TRUE(bare.has_value());
    EXPECT_FALSE(bare->photometric.has_value());
    EXPECT_EQ(bare->bits, 1U);
    EXPECT_EQ(bare->samples, 1U);
}

TEST(TiffDirectory, ReadsAColourMapStoredAfterTheDirectory) {
    // 1-bit indices: 6 shorts at offset 8 + 2 + 2 * 12 + 4 = 38.
    const auto file = classic(false, {{262, 3, 1, 3}, {320, 3, 6, 38}}, {1, 0, 2, 0, 3, 0, 4, 0, 0, 1, 6, 0});
    const auto fields = parse_tiff_fields(from(file));
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->colour_map, (std::vector<std::uint32_t>{1, 2, 3, 4, 256, 6}));
}

bytes truncated(bytes file, std::size_t size) {
    file.resize(size);
    return file;
}

TEST(TiffDirectory, GivesNothingForADamagedHeaderOrDirectory) {
    const bytes cases[] = {
        {},
        {'I', 'M', 42, 0, 8, 0, 0, 0},
        {'I', 'I', 41, 0, 8, 0, 0, 0},
        {'I', 'I', 42, 0, 200, 0, 0, 0},                   // the directory past the end
        classic(false, {}),                                // no entries
        classic(false, {{320, 3, 6, 9000}}),               // values past the end
        classic(false, {{262, 11, 1, 0}}),                 // a float photometric
        truncated(classic(false, {{262, 3, 1, 2}, {258, 3, 1, 8}}), 20),  // cut inside the directory
    };
    for (const auto& file : cases) {
        EXPECT_FALSE(parse_tiff_fields(from(file)).has_value()) << file.size() << " bytes";
    }
}

}  // namespace
}  // namespace hdrmill
