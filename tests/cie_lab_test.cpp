#include <gtest/gtest.h>

#include "palette/cie_lab.hpp"

namespace hdrmill {
namespace {

TEST(CieLab, AgreesWithTheCieFormulasWithinATwentiethOfAUnit) {
    // Expected: the CIE formulas in double precision, in hundredths.
    const struct {
        colour c;
        lab_colour lab;
    } rows[] = {
        {{255, 255, 255}, {10000, 0, 0}}, {{0, 0, 0}, {0, 0, 0}},           {{1, 1, 1}, {27, 0, 0}},
        {{128, 128, 128}, {5359, 0, 0}},  {{255, 0, 0}, {5324, 8009, 6720}}, {{0, 255, 0}, {8773, -8618, 8318}},
        {{0, 0, 255}, {3230, 7919, -10786}}, {{250, 248, 238}, {9748, -105, 503}}, {{196, 38, 150}, {4608, 6889, -2351}},
    };
    for (const auto& row : rows) {
        const lab_colour lab = to_lab(row.c);
        EXPECT_NEAR(lab.l, row.lab.l, 5) << int{row.c.r} << " " << int{row.c.g} << " " << int{row.c.b};
        EXPECT_NEAR(lab.a, row.lab.a, 5) << int{row.c.r} << " " << int{row.c.g} << " " << int{row.c.b};
        EXPECT_NEAR(lab.b, row.lab.b, 5) << int{row.c.r} << " " << int{row.c.g} << " " << int{row.c.b};
    }
}

TEST(CieLab, WhiteAndEveryGreyAreExactlyNeutral) {
    EXPECT_EQ(to_lab(colour{255, 255, 255}), (lab_colour{10000, 0, 0}));
    for (int v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        const lab_colour lab = to_lab(colour{level, level, level});
        EXPECT_EQ(lab.a, 0) << v;
        EXPECT_EQ(lab.b, 0) << v;
    }
}

}  // namespace
}  // namespace hdrmill
