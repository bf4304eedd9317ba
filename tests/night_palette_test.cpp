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
    // The whole range: the paper (lightest) at 0, the strokes (darkest) at the ceiling.
    EXPECT_EQ(brightness(night[0]), 0);
    EXPECT_EQ(brightness(night[6]), 250 / 4);
    EXPECT_EQ(brightness(dusk_palette(chart_day)[6]), 250 / 2);
    for (std::size_t i = 0; i < chart_day.size(); ++i) {
        for (std::size_t j = 0; j < chart_day.size(); ++j) {
            if (to_lab(chart_day[i]).l > to_lab(chart_day[j]).l) {
                EXPECT_LE(brightness(night[i]), brightness(night[j])) << i << " " << j;
            }
        }
    }
}

TEST(NightPalette, MarksKeepTheirHueAndStayApartAndFromBlack) {
    // paper, red, green, magenta, blue, black
    const std::vector<colour> day = {{246, 240, 225}, {210, 45, 55}, {40, 150, 75}, {209, 116, 173}, {24, 62, 140},
                                     {20, 20, 24}};
    // Dim colours lie close in L*a*b*: 5 delta E apart at night is plain to see.
    const struct {
        std::vector<colour> dark;
        std::int32_t apart;
    } rows[] = {{night_palette(day), 500}, {dusk_palette(day), 1000}};
    for (const auto& [dark, apart] : rows) {
        for (std::size_t i = 1; i + 1 < day.size(); ++i) {
            // The channels keep their order, so the hue stays.
            const auto order = [](const colour& c) { return std::vector<bool>{c.r >= c.g, c.g >= c.b, c.r >= c.b}; };
            EXPECT_EQ(order(dark[i]), order(day[i])) << i;
            for (std::size_t j = i + 1; j < day.size(); ++j) {
                EXPECT_GE(distance(to_lab(dark[i]), to_lab(dark[j])), apart) << i << " " << j;
            }
        }
    }
}

TEST(NightPalette, GivesTheseBytes) {
    // Written out so that a change, or a platform giving other bytes, shows.
    const std::vector<colour> night = {{0, 0, 0}, {6, 5, 4}, {8, 9, 10}, {25, 14, 21}, {35, 8, 9}, {8, 29, 15}, {60, 59, 62}};
    const std::vector<colour> dusk = {{0, 0, 0},    {13, 12, 9},  {17, 20, 22},   {51, 28, 42},
                                      {70, 15, 18}, {16, 59, 30}, {120, 118, 125}};
    EXPECT_EQ(night_palette(chart_day), night);
    EXPECT_EQ(dusk_palette(chart_day), dusk);
}

}  // namespace
}  // namespace hdrmill
