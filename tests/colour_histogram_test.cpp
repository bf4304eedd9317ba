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

TEST(ColourHistogram, TwoHistogramsAddedUpAreOneOfAllTheirPixels) {
    // A large scan is counted in two halves on two threads: the halves' sum must be the
    // whole, also for a box that passes a spill only once they are added up.
    std::vector<std::uint8_t> paper, ink, red;
    for (int i = 0; i < 4096; ++i) paper.insert(paper.end(), {250, 248, 240}), ink.insert(ink.end(), {20, 22, 30});
    red.insert(red.end(), {200, 40, 40});
    colour_histogram whole, first, second;
    const std::uint64_t rounds = (std::uint64_t{1} << 24) / 4096 / 2 + 1;  // each half below a spill
    for (std::uint64_t i = 0; i < rounds; ++i) {
        whole.add(paper.data(), 4096), whole.add(paper.data(), 4096);
        first.add(paper.data(), 4096), second.add(paper.data(), 4096);
    }
    whole.add(ink.data(), 4096), first.add(ink.data(), 4096);  // a box in the first half only
    whole.add(red.data(), 1), second.add(red.data(), 1);       // in the second only
    first.add(second);
    const std::vector<weighted_colour> sum = first.colours(), all = whole.colours();
    ASSERT_EQ(sum.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(sum[i].count, all[i].count) << i;
        EXPECT_EQ(std::vector<std::uint64_t>(sum[i].sum, sum[i].sum + 3), std::vector<std::uint64_t>(all[i].sum, all[i].sum + 3)) << i;
        EXPECT_EQ(sum[i].mean, all[i].mean) << i;
    }
    EXPECT_EQ(first.boxes_met(), whole.boxes_met());
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
