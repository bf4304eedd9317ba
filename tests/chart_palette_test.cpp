#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "palette/chart_palette.hpp"
#include "palette/cie_lab.hpp"

namespace hdrmill {
namespace {

using kind = scan_image::kind;

colour colour_at(const scan_image& scan, std::size_t i) {
    if (scan.type == kind::colour) return {scan.pixels[3 * i], scan.pixels[3 * i + 1], scan.pixels[3 * i + 2]};
    if (scan.type == kind::grey) return {scan.pixels[i], scan.pixels[i], scan.pixels[i]};
    return scan.pixels[i] < scan.palette.size() ? scan.palette[scan.pixels[i]] : colour{};
}

std::vector<colour> colours_of(const scan_image& scan) {
    std::vector<colour> out;
    for (std::size_t i = 0; i < std::size_t{scan.width} * scan.height; ++i) out.push_back(colour_at(scan, i));
    return out;
}

scan_image make_scan(kind type, std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& pixels,
                     std::vector<colour> palette = {}) {
    return {type, width, height, std::move(palette), pixels};
}

// The same pseudo-random numbers everywhere (the standard distributions are not).
struct random_numbers {
    std::uint32_t state;
    std::uint32_t next() {
        state = state * 1664525U + 1013904223U;
        return state >> 8;
    }
    // Roughly normal, about 4 levels either way.
    int noise() { return static_cast<int>(next() % 9 + next() % 9 + next() % 9) - 12; }
};

std::uint8_t level(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// A colour scan of tints in vertical bands, one dark line across them, blurred a
// little at the band edges and with scanner noise.
scan_image noisy_tints(const std::vector<colour>& tints, std::uint32_t size, std::uint32_t seed) {
    random_numbers random{seed};
    std::vector<std::uint8_t> pixels;
    const auto band = [&](std::uint32_t x) { return tints[x * tints.size() / size]; };
    for (std::uint32_t y = 0; y < size; ++y) {
        for (std::uint32_t x = 0; x < size; ++x) {
            colour c = band(x);
            if (x > 0 && band(x - 1) != c) c = {level((c.r + band(x - 1).r) / 2), level((c.g + band(x - 1).g) / 2),
                                                level((c.b + band(x - 1).b) / 2)};
            if (y == size / 2) c = {60, 58, 62};  // a thin stroke, blurred: never its full black
            const int shared = random.noise() / 2;
            for (const std::uint8_t v : {c.r, c.g, c.b}) pixels.push_back(level(v + shared + random.noise()));
        }
    }
    return make_scan(kind::colour, size, size, pixels);
}

const std::vector<colour> chart_tints = {{250, 248, 238}, {242, 219, 160}, {165, 209, 236}, {237, 195, 220}};

std::vector<std::uint8_t> sequence(std::size_t count, std::uint32_t step, std::uint32_t modulo) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<std::uint8_t>(i * step % modulo));
    return out;
}

std::vector<colour> ramp_palette() {
    std::vector<colour> palette;
    for (int i = 0; i < 256; ++i) palette.push_back({level(i), level(255 - i), level(i / 2)});
    return palette;
}

void expect_well_formed(const scan_image& scan, std::size_t limit, const std::string& name) {
    EXPECT_EQ(scan.type, kind::indexed) << name;
    ASSERT_EQ(scan.pixels.size(), std::size_t{scan.width} * scan.height) << name;
    EXPECT_LE(scan.palette.size(), limit) << name;
    std::vector<bool> used(scan.palette.size(), false);
    for (const std::uint8_t p : scan.pixels) {
        ASSERT_LT(p, scan.palette.size()) << name;
        used[p] = true;
    }
    for (std::size_t i = 0; i < used.size(); ++i) EXPECT_TRUE(used[i]) << name << ": entry " << i << " unused";
    for (std::size_t i = 1; i < scan.palette.size(); ++i) {
        EXPECT_GE(to_lab(scan.palette[i - 1]).l, to_lab(scan.palette[i]).l) << name << ": not light to dark at " << i;
    }
}

TEST(ReduceColours, KeepsTheColoursOfAScanOfFewColoursExactly) {
    std::vector<std::uint8_t> many_colours;  // 127 distinct colours
    for (std::size_t i = 0; i < 127 * 3; ++i) many_colours.push_back(static_cast<std::uint8_t>(i * 7 / 3));
    const struct {
        std::string name;
        scan_image scan;
        std::size_t limit;
        std::size_t colours;
    } rows[] = {
        {"palette, 5 of 256 entries used", make_scan(kind::indexed, 10, 3, sequence(30, 51, 255), ramp_palette()), 127, 5},
        {"1-bit", make_scan(kind::indexed, 4, 2, {0, 1, 1, 0, 1, 0, 0, 1}, {{255, 255, 255}, {0, 0, 0}}), 127, 2},
        {"two entries of one colour become one",
         make_scan(kind::indexed, 4, 1, {0, 1, 2, 1}, {{9, 9, 9}, {200, 10, 10}, {9, 9, 9}}), 127, 2},
        {"an index past the palette is black", make_scan(kind::indexed, 3, 1, {0, 5, 1}, {{1, 2, 3}, {0, 0, 0}}), 127, 2},
        {"grey, 50 levels", make_scan(kind::grey, 20, 10, sequence(200, 5, 250)), 127, 50},
        {"grey, 100 levels, limit 100", make_scan(kind::grey, 10, 10, sequence(100, 1, 100)), 100, 100},
        {"colour, 127 colours", make_scan(kind::colour, 127, 1, many_colours), 127, 127},
        {"colour, 3 colours at limit 3",
         make_scan(kind::colour, 3, 2, {1, 2, 3, 4, 5, 6, 1, 2, 3, 7, 8, 9, 7, 8, 9, 4, 5, 6}), 3, 3},
    };
    for (const auto& row : rows) {
        scan_image scan = row.scan;
        reduce_colours(scan, row.limit);
        expect_well_formed(scan, row.limit, row.name);
        EXPECT_EQ(scan.palette.size(), row.colours) << row.name;
        EXPECT_EQ(colours_of(scan), colours_of(row.scan)) << row.name;
    }
}

TEST(ReduceColours, GreyScanOfMoreLevelsGetsTheLevelsOfLeastError) {
    // Every level once: pairs of levels cost one level each; at 127 entries two runs
    // of three levels cost two each (125 + 2 * 2 = 129), the least possible.
    const struct {
        std::vector<std::uint8_t> levels;
        std::size_t limit;
        std::uint64_t error;
    } rows[] = {
        {sequence(256, 1, 256), 128, 128},
        {sequence(256, 1, 256), 127, 129},
        {sequence(256, 1, 256), 1, 16384},        // all as the median, 127
        {{0, 0, 0, 10, 20, 20, 20, 200}, 2, 60},  // 0..20 as 10, and 200
    };
    for (const auto& row : rows) {
        scan_image scan = make_scan(kind::grey, static_cast<std::uint32_t>(row.levels.size()), 1, row.levels);
        reduce_colours(scan, row.limit);
        expect_well_formed(scan, row.limit, "grey");
        std::uint64_t error = 0;
        for (std::size_t i = 0; i < row.levels.size(); ++i) {
            const colour c = scan.palette[scan.pixels[i]];
            EXPECT_TRUE(c.r == c.g && c.g == c.b);
            error += static_cast<std::uint64_t>(std::abs(c.r - row.levels[i]));
        }
        EXPECT_EQ(error, row.error) << "limit " << row.limit;
    }
}

TEST(ReduceColours, IndexedScanOfMoreColoursIsRemappedEntryByEntry) {
    // 256 entries: four inks, each in 64 slightly different shades, as a scan saved
    // with a full palette gives them; each ink fills a quarter of the scan.
    std::vector<colour> palette;
    for (std::size_t i = 0; i < 256; ++i) {
        const colour ink = chart_tints[i / 64];
        const auto shade = [&](std::size_t step) { return static_cast<int>(i / step % 4) - 2; };
        palette.push_back({level(ink.r + shade(1)), level(ink.g + shade(4)), level(ink.b + shade(16))});
    }
    random_numbers random{7};
    std::vector<std::uint8_t> pixels;
    for (std::uint32_t y = 0; y < 64; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) pixels.push_back(static_cast<std::uint8_t>((x / 32 + 2 * (y / 32)) * 64 + random.next() % 64));
    }
    scan_image scan = make_scan(kind::indexed, 64, 64, pixels, palette);
    reduce_colours(scan, 127);
    expect_well_formed(scan, 127, "indexed");
    EXPECT_EQ(scan.palette.size(), 4U);
    std::vector<int> entry_of(256, -1);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (entry_of[pixels[i]] < 0) entry_of[pixels[i]] = scan.pixels[i];
        EXPECT_EQ(entry_of[pixels[i]], scan.pixels[i]) << "index " << int{pixels[i]};
        EXPECT_LE(distance(to_lab(scan.palette[scan.pixels[i]]), to_lab(chart_tints[pixels[i] / 64])), 300);
    }
}

TEST(ReduceColours, NoisyTintsStayApartAndAThinStrokeDark) {
    // A grey tint lies on the way from paper to the stroke: its noise must not read as
    // strokes. The noise here is heavier than a scanner's (up to 12 levels a channel):
    // it takes entries of its own, but every pixel of a tint stays within its noise.
    std::vector<colour> tints = chart_tints;
    tints.push_back({150, 150, 150});
    const std::uint32_t size = 150, band = 30;
    scan_image scan = noisy_tints(tints, size, 1);
    reduce_colours(scan, 127);
    expect_well_formed(scan, 127, "tints");
    EXPECT_LE(scan.palette.size(), 24U);
    for (std::uint32_t t = 0; t < tints.size(); ++t) {
        // The inside of each band, the stroke's row left out: entries near the tint, the
        // commonest nearest.
        std::vector<std::size_t> count(scan.palette.size(), 0);
        std::size_t inside = 0;
        for (std::uint32_t y = 0; y < size; ++y) {
            for (std::uint32_t x = t * band + 2; x < (t + 1) * band - 2 && y != size / 2; ++x) {
                ++count[scan.pixels[y * size + x]];
                ASSERT_LE(distance(to_lab(scan.palette[scan.pixels[y * size + x]]), to_lab(tints[t])), 1000) << x << "," << y;
                ++inside;
            }
        }
        const auto most = static_cast<std::size_t>(std::max_element(count.begin(), count.end()) - count.begin());
        EXPECT_GE(count[most] * 100, inside * 40) << t;
        EXPECT_LE(distance(to_lab(scan.palette[most]), to_lab(tints[t])), 300) << t;
    }
    for (std::uint32_t x = 0; x < size; ++x) EXPECT_LE(to_lab(scan.palette[scan.pixels[size / 2 * size + x]]).l, 3000) << x;
}

TEST(ReduceColours, EveryEntryIsUsedAndTheLimitHolds) {
    const scan_image noisy = noisy_tints(chart_tints, 64, 2);
    const scan_image grey = make_scan(kind::grey, 256, 1, sequence(256, 1, 256));
    const scan_image indexed = make_scan(kind::indexed, 256, 1, sequence(256, 1, 256), ramp_palette());
    const struct {
        const scan_image& scan;
        std::size_t limit;
    } rows[] = {{noisy, 1}, {noisy, 2}, {noisy, 3}, {noisy, 127}, {noisy, 0},    {noisy, 1000},
                {grey, 1},  {grey, 3},  {grey, 256}, {indexed, 1}, {indexed, 2}, {indexed, 16}};
    for (const auto& row : rows) {
        scan_image scan = row.scan;
        const std::uint8_t* buffer = scan.pixels.data();
        reduce_colours(scan, row.limit);
        const std::string name = "limit " + std::to_string(row.limit);
        expect_well_formed(scan, std::clamp<std::size_t>(row.limit, 1, 256), name);
        EXPECT_EQ(scan.pixels.data(), buffer) << name << ": the buffer was reallocated";
    }
}

TEST(ReduceColours, EqualRowsGetEqualIndicesWhateverTheScanSize) {
    // The indices are written over the pixels, two rows at a time: a row that overran
    // pixels not yet read would map differently from its copies.
    const std::uint32_t size = 150;
    const scan_image source = noisy_tints(chart_tints, size, 4);
    for (const std::uint32_t width : {20U, 64U, size}) {
        for (const std::uint32_t height : {1U, 2U, 3U, 4U, 5U, 6U}) {
            const auto row = source.pixels.begin() + 3 * size * 40;
            std::vector<std::uint8_t> pixels;
            for (std::uint32_t y = 0; y < height; ++y) pixels.insert(pixels.end(), row, row + 3 * width);
            scan_image scan = make_scan(kind::colour, width, height, pixels);
            reduce_colours(scan, 16);  // fewer than the row's colours: a colour scan's reduction
            const std::string name = std::to_string(width) + " x " + std::to_string(height);
            expect_well_formed(scan, 16, name);
            for (std::uint32_t y = 1; y < height; ++y) {
                EXPECT_TRUE(std::equal(scan.pixels.begin(), scan.pixels.begin() + width, scan.pixels.begin() + y * width))
                    << name << ": row " << y;
            }
        }
    }
}

TEST(ReduceColours, ScanComesOutTheSameAfterAnother) {
    // The tables are kept from scan to scan: one left with another scan's colours would
    // map this one otherwise the second time.
    const scan_image source = noisy_tints(chart_tints, 60, 5);
    scan_image first = source, second = source;
    reduce_colours(first, 127);
    scan_image other = noisy_tints({{20, 200, 40}, {250, 250, 250}, {200, 30, 30}, {30, 30, 220}}, 120, 6);
    reduce_colours(other, 127);
    reduce_colours(second, 127);
    EXPECT_EQ(colours_of(first), colours_of(second));
    EXPECT_EQ(first.pixels, second.pixels);
}

TEST(ReduceColours, EmptyScanGetsAnEmptyPalette) {
    for (const kind type : {kind::colour, kind::grey, kind::indexed}) {
        scan_image scan = make_scan(type, 0, 0, {});
        reduce_colours(scan, 127);
        EXPECT_EQ(scan.type, kind::indexed);
        EXPECT_TRUE(scan.palette.empty());
        EXPECT_TRUE(scan.pixels.empty());
    }
}

TEST(ReduceColours, SameScanGivesTheseBytes) {
    // A hash of palette and indices, written out: another compiler or platform that
    // chose even one other entry would show here.
    scan_image scan = noisy_tints(chart_tints, 200, 3);
    reduce_colours(scan, 127);
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    const auto add = [&](std::uint8_t byte) { hash = (hash ^ byte) * 1099511628211ULL; };
    for (const colour& c : scan.palette) add(c.r), add(c.g), add(c.b);
    for (const std::uint8_t p : scan.pixels) add(p);
    EXPECT_EQ(scan.palette.size(), 24U);
    EXPECT_EQ(hash, 770137434898773540ULL);
}

}  // namespace
}  // namespace hdrmill
