#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <string>
#include <vector>

#include "palette/colour_histogram.hpp"
#include "palette/pixel_mapping.hpp"

namespace hdrmill {
namespace {

// A colour scan drawn with one letter a pixel.
struct picture {
    std::vector<std::string> rows;
    scan_image scan() const {
        scan_image s;
        s.type = scan_image::kind::colour;
        s.width = static_cast<std::uint32_t>(rows[0].size());
        s.height = static_cast<std::uint32_t>(rows.size());
        for (const auto& row : rows) {
            for (const char ch : row) {
                const colour c = ch == '.' ? colour{240, 235, 220}    // paper
                                 : ch == ',' ? colour{228, 226, 214}  // a paper grain, 5 delta E off
                                 : ch == 'r' ? colour{200, 40, 40}    // red
                                 : ch == 'b' ? colour{40, 60, 150}    // blue
                                             : colour{30, 30, 30};    // black
                s.pixels.insert(s.pixels.end(), {c.r, c.g, c.b});
            }
        }
        return s;
    }
};

// The letters of the entries the pixels map to, with entries paper, grain, red, blue, black.
std::vector<std::string> mapped(const picture& p) {
    const std::vector<palette_entry> entries = {entry_of({240, 235, 220}), entry_of({228, 226, 214}),
                                                entry_of({200, 40, 40}), entry_of({40, 60, 150}), entry_of({30, 30, 30})};
    scan_image scan = p.scan();
    colour_histogram histogram;
    histogram.add(scan.pixels.data(), std::size_t{scan.width} * scan.height);
    box_mapping mapping;
    map_boxes(histogram, histogram.colours(), entries, mapping);
    map_pixels(scan, entries, mapping);
    std::vector<std::string> out;
    for (std::uint32_t y = 0; y < scan.height; ++y) {
        std::string row;
        for (std::uint32_t x = 0; x < scan.width; ++x) row += ".,rbk"[scan.pixels[std::size_t{y} * scan.width + x]];
        out.push_back(row);
    }
    return out;
}

TEST(PixelMapping, GrainTakesItsNeighboursEntryAndMarksStayWhole) {
    const struct {
        const char* name;
        std::vector<std::string> in, out;
    } rows[] = {
        {"grain on paper goes, at the edges too",
         {"..,...", ".,..,.", "......", "...,.."},
         {"......", "......", "......", "......"}},
        {"one red pixel, a thin black line and a blue dot stay",
         {"......", ".r....", "kkkkkk", "....b."},
         {"......", ".r....", "kkkkkk", "....b."}},
        {"a grain patch of its own stays",
         {"......", ".,,,..", ".,,,..", ".,,,.."},
         {"......", "..,...", ".,,,..", ".,,,.."}},
        {"marks within long runs of paper, taken eight pixels at a time",
         {"..................", "..r.........,.....", "..................", "..........b......r", ".................."},
         {"..................", "..r...............", "..................", "..........b......r", ".................."}},
        {"one row: two neighbours never agree", {".,..r."}, {".,..r."}},
        {"one column", {"."}, {"."}},
    };
    for (const auto& row : rows) EXPECT_EQ(mapped({row.in}), row.out) << row.name;
}

TEST(PixelMapping, PixelTakesTheEntryNearestItsBoxsMeanColour) {
    // Levels 64 to 71 share a box. One row, so that no neighbours vote: a pixel nearest
    // 71 by its own colour goes with its box to 64, and the other way round.
    const std::vector<palette_entry> entries = {entry_of({64, 64, 64}), entry_of({71, 71, 71}), entry_of({79, 79, 79})};
    const struct {
        std::vector<std::uint8_t> levels;
        std::vector<std::uint8_t> out;
    } rows[] = {
        {{64, 64, 70, 64, 79}, {0, 0, 0, 0, 2}},  // the box's mean 65.5, shown as 66
        {{70, 70, 64, 70, 79}, {1, 1, 1, 1, 2}},  // 68.5, shown as 69
    };
    for (const auto& row : rows) {
        scan_image scan;
        scan.type = scan_image::kind::colour;
        scan.width = static_cast<std::uint32_t>(row.levels.size());
        scan.height = 1;
        for (const std::uint8_t v : row.levels) scan.pixels.insert(scan.pixels.end(), {v, v, v});
        colour_histogram histogram;
        histogram.add(scan.pixels.data(), scan.width);
        box_mapping mapping;
        map_boxes(histogram, histogram.colours(), entries, mapping);
        map_pixels(scan, entries, mapping);
        EXPECT_EQ(std::vector<std::uint8_t>(scan.pixels.begin(), scan.pixels.begin() + scan.width), row.out);
    }
}

TEST(PixelMapping, TwoHalvesOnTwoThreadsGiveTheBytesOfOne) {
    // A large scan is mapped in an upper and a lower half at once: the rows where they
    // meet see their neighbours across the cut, and each half's indices land in place.
    // Noisy paper, grain, red, blue and black, mixed so that most pixels are voted on.
    const std::vector<palette_entry> entries = {entry_of({240, 235, 220}), entry_of({228, 226, 214}),
                                                entry_of({200, 40, 40}), entry_of({40, 60, 150}), entry_of({30, 30, 30})};
    const colour inks[] = {{240, 235, 220}, {228, 226, 214}, {200, 40, 40}, {40, 60, 150}, {30, 30, 30}, {215, 120, 110}};
    for (const auto& [width, height] : {std::pair{1U, 4U}, {2U, 5U}, {17U, 9U}, {40U, 33U}, {9U, 64U}}) {
        scan_image one;
        one.type = scan_image::kind::colour;
        one.width = width, one.height = height;
        std::uint32_t state = 12345;
        for (std::uint32_t i = 0; i < width * height; ++i) {
            state = state * 1103515245U + 12345U;
            const colour c = inks[(state >> 16) % 6];
            const auto noisy = [&](std::uint8_t v) { return static_cast<std::uint8_t>(std::clamp(v + static_cast<int>((state >> 8) % 9) - 4, 0, 255)); };
            one.pixels.insert(one.pixels.end(), {noisy(c.r), noisy(c.g), noisy(c.b)});
        }
        scan_image two = one;
        colour_histogram histogram;
        histogram.add(one.pixels.data(), std::size_t{width} * height);
        box_mapping mapping;
        map_boxes(histogram, histogram.colours(), entries, mapping);
        const auto reached_one = map_pixels(one, entries, mapping, false);
        const auto reached_two = map_pixels(two, entries, mapping, true);
        const std::size_t n = std::size_t{width} * height;
        EXPECT_EQ(std::vector<std::uint8_t>(one.pixels.begin(), one.pixels.begin() + static_cast<std::ptrdiff_t>(n)),
                  std::vector<std::uint8_t>(two.pixels.begin(), two.pixels.begin() + static_cast<std::ptrdiff_t>(n)))
            << width << " x " << height;
        EXPECT_EQ(reached_one, reached_two) << width << " x " << height;
    }
}

}  // namespace
}  // namespace hdrmill
