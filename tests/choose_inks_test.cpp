#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "palette/choose_inks.hpp"
#include "palette/cie_lab.hpp"

namespace hdrmill {
namespace {

weighted_colour pixels_of(colour c, std::uint64_t count) {
    return {c, to_lab(c), count, {c.r * count, c.g * count, c.b * count}};
}

// The distance from `c` to the nearest of `inks`, in hundredths of delta E.
std::int32_t off_inks(const std::vector<colour>& inks, colour c) {
    std::int32_t least = 1 << 30;
    for (const colour& ink : inks) least = std::min(least, distance(to_lab(ink), to_lab(c)));
    return least;
}

// A photographed map's paper: a million pixels in a cloud of shades a few delta E wide.
std::vector<weighted_colour> paper_cloud() {
    std::vector<weighted_colour> colours;
    for (int dr = -8; dr <= 8; dr += 4) {
        for (int dg = -8; dg <= 8; dg += 4) {
            for (int db = -8; db <= 8; db += 4) {
                const auto at = [](int v) { return static_cast<std::uint8_t>(v); };
                const int far = std::abs(dr) + std::abs(dg) + std::abs(db);
                colours.push_back(pixels_of({at(236 + dr), at(226 + dg), at(204 + db)}, far == 0 ? 200000U : 40000U / static_cast<unsigned>(far)));
            }
        }
    }
    return colours;
}

TEST(ChooseInks, SmallMarksOfTheirOwnHueGetInksBesideAHeavyPaper) {
    std::vector<weighted_colour> colours = paper_cloud();
    const colour red{196, 52, 48}, green{70, 140, 80}, blue{60, 90, 170}, black{30, 28, 32};
    colours.push_back(pixels_of(red, 40));
    colours.push_back(pixels_of(green, 30));
    colours.push_back(pixels_of(blue, 60));
    colours.push_back(pixels_of(black, 20000));
    const std::vector<colour> inks = choose_inks(colours, 127);
    for (const colour c : {red, green, blue, black}) EXPECT_LE(off_inks(inks, c), 300) << int{c.r};
    EXPECT_LE(inks.size(), 24U);
}

// A map already full of inks and tints (64, well apart: more than the usual 24): a
// small mark of a colour far from them all still gets an ink of its own, added beyond.
TEST(ChooseInks, ASmallMarkGetsAnInkBeyondTheUsualOnes) {
    std::vector<weighted_colour> colours;
    const std::uint8_t levels[] = {20, 100, 180, 250};
    for (const auto r : levels) {
        for (const auto g : levels) {
            for (const auto b : levels) colours.push_back(pixels_of({r, g, b}, 100000));
        }
    }
    const colour mark{0, 48, 88};
    colours.push_back(pixels_of(mark, 40));
    EXPECT_LE(off_inks(choose_inks(colours, 127), mark), 300);
}

TEST(ChooseInks, FewColoursGetOneInkEachAndTheLimitHolds) {
    const std::vector<weighted_colour> few = {pixels_of({250, 250, 240}, 5000), pixels_of({200, 30, 40}, 7),
                                              pixels_of({20, 20, 20}, 900), pixels_of({90, 160, 220}, 100)};
    std::vector<colour> inks = choose_inks(few, 127);
    ASSERT_EQ(inks.size(), 4U);
    for (const auto& c : few) EXPECT_NE(std::find(inks.begin(), inks.end(), c.mean), inks.end());

    // One ink: the mean of all the pixels.
    const std::vector<weighted_colour> two = {pixels_of({200, 0, 0}, 3), pixels_of({0, 0, 100}, 1)};
    EXPECT_EQ(choose_inks(two, 1), (std::vector<colour>{{150, 0, 25}}));

    std::vector<weighted_colour> many;
    for (unsigned i = 0; i < 512; ++i) {
        const auto level = [&](unsigned shift) { return static_cast<std::uint8_t>((i >> shift & 7U) * 36); };
        many.push_back(pixels_of({level(0), level(3), level(6)}, 1 + i % 13));
    }
    for (const std::size_t limit : {1U, 2U, 16U, 127U}) EXPECT_LE(choose_inks(many, limit).size(), limit);
    EXPECT_EQ(choose_inks(many, 127), choose_inks(many, 127));
}

}  // namespace
}  // namespace hdrmill
