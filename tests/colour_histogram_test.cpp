#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "palette/colour_histogram.hpp"

namespace hdrmill {
namespace {

TEST(ColourHistogram, CountsAndSumsHoldPastWhatACellKeepsIn32Bits) {
    // A cell keeps 32-bit sums and spills them every 2^24 pixels: a scan's paper has
    // hundreds of millions. Two colours of one cell, the second past a spill.
    std::vector<std::uint8_t> light, dark;
    for (int i = 0; i < 4096; ++i) light.insert(light.end(), {255, 254, 253}), dark.insert(dark.end(), {252, 252, 252});
    colour_histogram histogram;
    const std::uint64_t rounds = (std::uint64_t{1} << 24) / 4096 + 3;
    for (std::uint64_t i = 0; i < rounds; ++i) histogram.add(light.data(), 4096);
    histogram.add(dark.data(), 4096);
    ASSERT_EQ(histogram.cells_met().size(), 1U);
    const weighted_colour c = histogram.colour_of(histogram.cells_met()[0]);
    EXPECT_EQ(c.count, (rounds + 1) * 4096);
    EXPECT_EQ(c.sum[0], rounds * 4096 * 255 + 4096 * 252);
    EXPECT_EQ(c.sum[2], rounds * 4096 * 253 + 4096 * 252);
    EXPECT_EQ(histogram.coarse().at(0).count, (rounds + 1) * 4096);

    histogram.clear();
    histogram.add(dark.data(), 1);
    EXPECT_EQ(histogram.colour_of(histogram.cells_met().at(0)).count, 1U);
}

}  // namespace
}  // namespace hdrmill
