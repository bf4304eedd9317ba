#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "palette/cie_lab.hpp"
#include "palette/night_palette.hpp"

namespace hdrmill {
namespace {

int brightness(const colour& c) { return std::max({c.r, c.g, c.b}); }

// paper, land, shallow water, magenta, red, green, black strokes with a cast
const std::vector<colour> chart_day = {{250, 248, 238}, {242, 219, 160}, {165, 209, 236}, {209, 116, 173},
                                       {210, 45, 55},   {40, 150, 75},   {24, 22, 30}};

TEST(NightPalette, NoEntryBrighterThanAQuarterOfTheDaysBrightestAtNightOrAHalfAtDusk) {
    const std::vector<std::vector<colour>> days = {
        chart_day,
        {{255, 255, 255}, {0, 0, 0}},
        {{200, 10, 10}, {10, 200, 10}, {100, 100, 100}},  // brightest 200: ceilings 50 and 100
        {{3, 3, 3}},
        {{0, 0, 0}},
    };
    for (const auto& day : days) {
        int brightest = 0;
        for (const auto& c : day) brightest = std::max(brightest, brightness(c));
        const auto night = night_palette(day);
        const auto dusk = dusk_palette(day);
        ASSERT_EQ(night.size(), day.size());
        ASSERT_EQ(dusk.size(), day.size());
        for (std::size_t i = 0; i < day.size(); ++i) {
            EXPECT_LE(brightness(night[i]), brightest / 4) << i;
            EXPECT_LE(brightness(dusk[i]), brightest / 2) << i;
        }
    }
}

TEST(NightPalette, PaperGoesDarkAndTheLighterByDayIsNeverTheBrighterAtNight) {
    const auto night = night_palette(chart_day);
    EXPECT_LE(brightness(night[0]), 2);            // paper: dark, not grey
    EXPECT_GE(brightness(night[6]), 255 / 4 - 9);  // strokes: near the ceiling
    for (std::size_t i = 0; i < chart_day.size(); ++i) {
        for (std::size_t j = 0; j < chart_day.size(); ++j) {
            if (to_lab(chart_day[i]).l > to_lab(chart_day[j]).l) {
                EXPECT_LE(brightness(night[i]), brightness(night[j])) << i << " " << j;
            }
        }
    }
}

TEST(NightPalette, MarksKeepTheirHueAndStayApart) {
    const std::vector<colour> marks = {{210, 45, 55}, {40, 150, 75}, {209, 116, 173}, {24, 62, 140}};
    // Dim colours lie close in L*a*b*: 5 delta E apart at night is plain to see.
    const struct {
        std::vector<colour> dark;
        std::int32_t apart;
    } rows[] = {{night_palette(marks), 500}, {dusk_palette(marks), 1000}};
    for (const auto& [dark, apart] : rows) {
        for (std::size_t i = 0; i < marks.size(); ++i) {
            // The channels keep their order, so the hue stays.
            const auto order = [](const colour& c) { return std::vector<bool>{c.r >= c.g, c.g >= c.b, c.r >= c.b}; };
            EXPECT_EQ(order(dark[i]), order(marks[i])) << i;
            for (std::size_t j = i + 1; j < marks.size(); ++j) {
                EXPECT_GE(distance(to_lab(dark[i]), to_lab(dark[j])), apart) << i << " " << j;
            }
        }
    }
}

TEST(NightPalette, GivesTheseBytes) {
    // Written out so that a change, or a platform giving other bytes, shows.
    const std::vector<colour> night = {{1, 1, 1}, {7, 6, 5}, {9, 10, 11}, {24, 13, 20}, {32, 7, 8}, {7, 27, 14}, {55, 54, 57}};
    const std::vector<colour> dusk = {{3, 3, 3},    {14, 13, 9},  {17, 20, 22},   {48, 27, 40},
                                      {66, 14, 17}, {15, 56, 28}, {110, 109, 115}};
    EXPECT_EQ(night_palette(chart_day), night);
    EXPECT_EQ(dusk_palette(chart_day), dusk);
}

}  // namespace
}  // namespace hdrmill
