#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "palette/colour_histogram.hpp"

namespace hdrmill {
namespace {

TEST(ColourHistogram, CountsAndSumsHoldPastWhatABoxKeepsIn32Bits) {
    // A box keeps 32-bit sums and spills them every 2^24 pixels: a scan's paper has
    // hundreds of millions. Two colours of one box, the second past a spill.
    std::vector<std::uint8_t> light, dark;
    for (int i = 0; i < 4096; ++i) light.insert(light.end(), {255, 254, 253}), dark.insert(dark.end(), {249, 248, 249});
    colour_histogram histogram;
    const std::uint64_t rounds = (std::uint64_t{1} << 24) / 4096 + 3;
    for (std::uint64_t i = 0; i < rounds; ++i) histogram.add(light.data(), 4096);
    histogram.add(dark.data(), 4096);
    const std::vector<weighted_colour> colours = histogram.colours();
    ASSERT_EQ(colours.size(), 1U);
    EXPECT_EQ(colours[0].count, (rounds + 1) * 4096);
    EXPECT_EQ(colours[0].sum[0], rounds * 4096 * 255 + 4096 * 249);
    EXPECT_EQ(colours[0].sum[2], rounds * 4096 * 253 + 4096 * 249);

    histogram.clear();
    histogram.add(dark.data(), 1);
    ASSERT_EQ(histogram.colours().size(), 1U);
    EXPECT_EQ(histogram.colours()[0].count, 1U);
}

TEST(ColourHistogram, ColoursComeInBoxOrderWithTheMeanOfTheirPixels) {
    // Met in the reverse of box order; a box's colour is its pixels' mean (rounded to
    // nearest), not the box's middle: (0, 0, 8) and (0, 0, 15) share box 1.
    const std::vector<std::uint8_t> pixels = {200, 40, 40, 0, 0, 8, 0, 0, 15, 7, 7, 7};
    colour_histogram histogram;
    histogram.add(pixels.data(), 4);
    const std::vector<weighted_colour> colours = histogram.colours();
    EXPECT_EQ(histogram.boxes_met(), (std::vector<std::uint32_t>{0, 1, (25U << 10) | (5U << 5) | 5U}));
    ASSERT_EQ(colours.size(), 3U);
    EXPECT_EQ(colours[0].mean, (colour{7, 7, 7}));
    EXPECT_EQ(colours[1].mean, (colour{0, 0, 12}));
    EXPECT_EQ(colours[1].count, 2U);
    EXPECT_EQ(colours[1].lab, to_lab(colour{0, 0, 12}));
    EXPECT_EQ(colours[2].mean, (colour{200, 40, 40}));
}

}  // namespace
}  // namespace hdrmill
