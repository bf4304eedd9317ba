#include "palette/chart_palette.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "palette/cie_lab.hpp"

namespace hdrmill {
namespace {

// The choices below were measured on synthetic scans with bench/palette_quality.py;
// distances are in hundredths of CIE76 delta E.

// A pixel is flat when neither its left nor its upper neighbour differs from it by
// more than this in any channel: inside a tint, noise alone tells them apart; across
// an edge, the blur changes them by tens of levels a pixel. Tints are found by their
// flat pixels, so that the blends at edges (as many pixels, in all, as some tints)
// get no entries of their own.
constexpr int flat_step = 20;
// A colour is a tint when at least this share of the pixels around it are flat; the
// rest are blends at edges and thin strokes.
constexpr std::uint64_t tint_flat_percent = 50;
// A tint needs at least 1/mass_divisor of the pixels, flat and around its colour; a
// thin ink (magenta lines, a few buoys) 1/thin_mass_divisor of the pixels around it.
constexpr std::uint64_t mass_divisor = 20000;
constexpr std::uint64_t thin_mass_divisor = 100000;
// Two inks closer than this are taken for one ink and its noise: a flat tint's noise
// cloud spans a few delta E, while printed inks differ by ten and more. A thin ink
// shows in more shades (blurred to different depths), so two are one ink when closer
// than thin_separation.
constexpr std::int64_t ink_separation = 700;
constexpr std::int64_t thin_separation = 1500;
// A thin ink this near a blend of two inks taken is that blend.
constexpr std::int32_t blend_off = 500;
// The darkest 1/dark_divisor of the pixels stand for the strokes: they get an entry
// of their own even when few pixels are dark, unless a tint is within
// stroke_separation of them (a black wide enough to be flat, or, in a scan without
// strokes, the dark end of a tint's noise).
constexpr std::uint64_t dark_divisor = 2000;
constexpr std::int64_t stroke_separation = 2000;
// Only pixels this near an ink set its colour, so that blends do not pull inks apart.
constexpr std::int64_t core_radius = 600;
// A pixel keeps its left neighbour's entry when that is at most this much farther than
// the nearest: noise then flips no entries, and runs stay long.
constexpr std::int32_t keep_margin = 600;
// A pixel that is a blend of an ink and the strokes' ink, with at least this share
// (of blend_scale) of the strokes' ink, is a stroke: thin strokes blurred by the scan
// never reach their full darkness, yet must stay dark on the chart.
constexpr std::int64_t stroke_share = 450;
// A pixel this near an ink is that ink, whatever blend it may also lie on; farther,
// it is a blend only if that is nearer than the ink by blend_penalty (a blend has a
// share to fit, an ink nothing) and passes no tint by blend_clearance.
constexpr std::int64_t ink_noise = 400;
constexpr std::int32_t blend_penalty = 300;
constexpr std::int64_t blend_clearance = 1000;

// One colour of the scan (a histogram bin, or a palette entry) as the makings of an ink.
struct ink_candidate {
    colour mean;
    lab_colour lab;
    std::uint64_t count = 0;         // pixels
    std::uint64_t sampled = 0;       // of them, pixels whose channels are summed in `sum`
    std::uint64_t sum[3] = {0, 0, 0};
    std::uint64_t mass = 0;          // flat pixels of this colour and the colours around it
    std::uint64_t around = 0;        // all pixels of this colour and the colours around it
    std::uint64_t flat_percent = 0;  // share of flat pixels around it
    bool tint_peak = true;           // no colour around it has more flat pixels
    bool stroke_peak = true;         // no colour around it has more pixels
};

struct palette_entry {
    colour c;
    lab_colour lab;
};

std::uint32_t key_of(colour c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }

palette_entry entry_of(colour c) { return {c, to_lab(c)}; }

// Light to dark; colours of equal L* by r, g, b, highest first: a total order on
// distinct colours, so the order never depends on the sort algorithm.
bool lighter(const palette_entry& x, const palette_entry& y) {
    if (x.lab.l != y.lab.l) return x.lab.l > y.lab.l;
    return key_of(x.c) > key_of(y.c);
}

std::vector<palette_entry> ordered_entries(const std::vector<colour>& colours) {
    std::vector<palette_entry> entries;
    entries.reserve(colours.size());
    for (const colour& c : colours) entries.push_back(entry_of(c));
    std::sort(entries.begin(), entries.end(), lighter);
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const palette_entry& x, const palette_entry& y) { return x.c == y.c; }),
                  entries.end());
    return entries;
}

colour mean_colour(const std::uint64_t sum[3], std::uint64_t count) {
    auto channel = [&](int i) { return static_cast<std::uint8_t>((2 * sum[i] + count) / (2 * count)); };
    return {channel(0), channel(1), channel(2)};
}

std::int64_t square(std::int64_t x) { return x * x; }

// The L*a*b* of palette entries (1 to 256 of them), one array a channel, so that the
// distances from a colour to all of them come from one loop the compiler runs several
// entries at a time.
struct lab_points {
    std::vector<std::int32_t> l, a, b;

    explicit lab_points(const std::vector<palette_entry>& entries) {
        for (const palette_entry& e : entries) l.push_back(e.lab.l), a.push_back(e.lab.a), b.push_back(e.lab.b);
    }
    std::size_t size() const { return l.size(); }
};

// The nearest of `points` to `lab` and the next nearest, each the first of equals, with
// their distances squared; `second` is points.size() when there is one point. They are
// the least two of (distance squared, index), found without a branch on the distances:
// no predictor could guess them, and this runs twice for every colour of a scan.
struct nearest_two {
    std::size_t first = 0, second = 0;
    std::int64_t first_d = 0, second_d = 0;
};

// The least two keys of a chain of comparisons, without a branch on them.
struct least_two {
    std::uint64_t first, second;

    void add(std::uint64_t key) {
        second = std::min(second, std::max(first, key));
        first = std::min(first, key);
    }
    least_two merged(const least_two& other) const {
        return {std::min(first, other.first), std::min(std::max(first, other.first), std::min(second, other.second))};
    }
};

// The distances squared from `lab` to each of `points`, into `d`. Squared in 32 bits
// without a sign: channels within 0..10000 and -13000..13000, as every colour's are,
// put a distance squared below 1.5e9.
void distances_squared(const lab_points& points, const lab_colour& lab, std::array<std::uint32_t, 256>& d) {
    const std::int32_t* pl = points.l.data();
    const std::int32_t* pa = points.a.data();
    const std::int32_t* pb = points.b.data();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto dl = static_cast<std::uint32_t>(pl[i] - lab.l);
        const auto da = static_cast<std::uint32_t>(pa[i] - lab.a);
        const auto db = static_cast<std::uint32_t>(pb[i] - lab.b);
        d[i] = dl * dl + da * da + db * db;
    }
}

nearest_two nearest_of(const lab_points& points, const lab_colour& lab) {
    const std::size_t n = points.size();
    std::array<std::uint32_t, 256> d;
    distances_squared(points, lab, d);
    // Four chains of comparisons, every fourth entry each, then merged: one chain would
    // wait on each comparison in turn.
    constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    std::array<least_two, 4> chain;
    chain.fill({none, none});
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (std::size_t k = 0; k < 4; ++k) chain[k].add(std::uint64_t{d[i + k]} << 8 | (i + k));
    }
    for (; i < n; ++i) chain[i % 4].add(std::uint64_t{d[i]} << 8 | i);
    const least_two least = chain[0].merged(chain[1]).merged(chain[2].merged(chain[3]));
    const std::uint64_t first = least.first, next = least.second;
    const std::size_t second = n > 1 ? static_cast<std::size_t>(next & 0xFF) : n;
    return {static_cast<std::size_t>(first & 0xFF), second, static_cast<std::int64_t>(first >> 8),
            static_cast<std::int64_t>(next >> 8)};
}

// The nearest of `points` to `lab` (the first of equals) when it is nearer than
// sqrt(`within`), else points.size(). Most colours of a scan are near no point: they
// are told by the least distance alone, which the compiler finds many at a time.
std::size_t nearest_within(const lab_points& points, const lab_colour& lab, std::uint32_t within) {
    const std::size_t n = points.size();
    std::array<std::uint32_t, 256> d;
    distances_squared(points, lab, d);
    std::uint32_t least = within;
    for (std::size_t i = 0; i < n; ++i) least = std::min(least, d[i]);
    if (least == within) return n;
    std::size_t i = 0;
    while (d[i] != least) ++i;
    return i;
}

// The mean colour of the darkest 1/dark_divisor of the pixels: what the strokes look
// like in this scan, however thin they are.
colour stroke_colour(const std::vector<ink_candidate>& candidates, std::uint64_t total) {
    std::vector<std::size_t> by_lightness(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) by_lightness[i] = i;
    const auto darker = [&](std::size_t x, std::size_t y) {
        if (candidates[x].lab.l != candidates[y].lab.l) return candidates[x].lab.l < candidates[y].lab.l;
        return key_of(candidates[x].mean) < key_of(candidates[y].mean);
    };
    std::uint64_t sum[3] = {0, 0, 0};
    std::uint64_t count = 0;
    const std::uint64_t share = std::max<std::uint64_t>(1, total / dark_divisor);
    std::uint64_t sampled = 0;
    // A few of the darkest colours make the share, as a rule: only as many are put in
    // order as are needed (a total order: the same ones whatever the sort).
    std::size_t sorted = 0;
    for (std::size_t i = 0; i < by_lightness.size() && count < share; ++i) {
        if (i == sorted) {
            sorted = std::min(by_lightness.size(), std::max<std::size_t>(16, 4 * sorted));
            std::partial_sort(by_lightness.begin() + static_cast<std::ptrdiff_t>(i),
                              by_lightness.begin() + static_cast<std::ptrdiff_t>(sorted), by_lightness.end(), darker);
        }
        const ink_candidate& c = candidates[by_lightness[i]];
        for (std::size_t k = 0; k < 3; ++k) sum[k] += c.sum[k];
        count += c.count;
        sampled += c.sampled;
    }
    return mean_colour(sum, sampled);
}

// Blends of two inks are made in linear light, as optics blend them; a blend is given
// by the share (0..blend_scale) of its second ink.
constexpr std::int64_t blend_scale = 1024;

// The share of `y` in the blend of `x` and `y` nearest to `c` (in linear light).
std::int64_t share_of(const linear_colour& c, const linear_colour& x, const linear_colour& y) {
    const std::int64_t w[3] = {std::int64_t{y.r} - x.r, std::int64_t{y.g} - x.g, std::int64_t{y.b} - x.b};
    const std::int64_t v[3] = {std::int64_t{c.r} - x.r, std::int64_t{c.g} - x.g, std::int64_t{c.b} - x.b};
    const std::int64_t ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    if (ww == 0) return 0;
    const std::int64_t vw = v[0] * w[0] + v[1] * w[1] + v[2] * w[2];
    return std::clamp<std::int64_t>(vw * blend_scale / ww, 0, blend_scale);
}

linear_colour blend_at(const linear_colour& x, const linear_colour& y, std::int64_t share) {
    const auto mix = [&](std::uint32_t a, std::uint32_t b) {
        return static_cast<std::uint32_t>((std::int64_t{a} * (blend_scale - share) + std::int64_t{b} * share) / blend_scale);
    };
    return {mix(x.r, y.r), mix(x.g, y.g), mix(x.b, y.b)};
}

// True when `c` lies within blend_off of a blend of `x` and `y`, strictly between them
// (in whole hundredths, as distance() gives them).
bool is_blend(const palette_entry& c, const palette_entry& x, const palette_entry& y) {
    const linear_colour lx = to_linear(x.c), ly = to_linear(y.c);
    const std::int64_t share = share_of(to_linear(c.c), lx, ly);
    return share > 0 && share < blend_scale &&
           distance_squared(c.lab, to_lab(blend_at(lx, ly, share))) < square(blend_off + 1);
}

struct chosen_inks {
    std::vector<colour> inks;
    std::vector<colour> tints;  // of `inks`, those chosen for their flat pixels
    bool has_stroke = false;
    colour stroke;              // one of `inks`, if has_stroke
};

// The peaks among a chart's colours that may be inks, heaviest first: the tints, peaks
// of the flat pixels' colours, and the thin inks, peaks of the remaining colours.
struct ink_peaks {
    std::vector<std::size_t> tints, thin;  // of the candidates
};

ink_peaks find_peaks(const std::vector<ink_candidate>& candidates, std::uint64_t total) {
    std::uint64_t heaviest = 0;
    for (const auto& c : candidates) heaviest = std::max(heaviest, c.mass);
    const std::uint64_t min_mass = std::min(std::max<std::uint64_t>(1, total / mass_divisor), heaviest);
    const std::uint64_t min_thin_mass = std::max<std::uint64_t>(1, total / thin_mass_divisor);
    const auto is_tint = [&](const ink_candidate& c) {
        return c.tint_peak && c.mass >= min_mass && c.flat_percent >= tint_flat_percent;
    };
    ink_peaks peaks;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (is_tint(candidates[i])) {
            peaks.tints.push_back(i);
        } else if (candidates[i].stroke_peak && candidates[i].around >= min_thin_mass) {
            peaks.thin.push_back(i);
        }
    }
    const auto heavier = [&](auto weight) {
        return [&, weight](std::size_t x, std::size_t y) {
            if (weight(candidates[x]) != weight(candidates[y])) return weight(candidates[x]) > weight(candidates[y]);
            return key_of(candidates[x].mean) < key_of(candidates[y].mean);
        };
    };
    std::sort(peaks.tints.begin(), peaks.tints.end(), heavier([](const ink_candidate& c) { return c.mass; }));
    std::sort(peaks.thin.begin(), peaks.thin.end(), heavier([](const ink_candidate& c) { return c.around; }));
    return peaks;
}

// The inks taken so far, in the order taken, with the distances between them.
struct ink_list {
    std::vector<palette_entry> inks;
    std::size_t first_thin = 0;  // where the thin inks start, once they do

    void take(const palette_entry& c) {
        apart_.emplace_back();
        for (const palette_entry& ink : inks) apart_.back().push_back(distance(ink.lab, c.lab));
        inks.push_back(c);
    }

    // Takes c, while fewer than `room` inks are taken, unless it is near an ink taken
    // or (a thin ink) a blend of two.
    void consider(const palette_entry& c, bool tint, std::size_t room) {
        if (inks.size() >= room) return;
        bool taken = false;
        for (std::size_t i = 0; i < inks.size(); ++i) {
            const std::int64_t separation = tint || i < first_thin ? ink_separation : thin_separation;
            taken = taken || distance_squared(inks[i].lab, c.lab) < square(separation);
        }
        if (!taken && !tint) {
            off_.clear();
            for (const palette_entry& ink : inks) off_.push_back(distance(c.lab, ink.lab));
        }
        for (std::size_t x = 0; x < inks.size() && !taken && !tint; ++x) {
            for (std::size_t y = x + 1; y < inks.size() && !taken; ++y) {
                // A blend in linear light bends off the straight way in L*a*b* by an
                // eighth of its length at most: far off that way, no need to look closer.
                if (off_[x] + off_[y] > apart_[y][x] + 4 * blend_off) continue;
                taken = is_blend(c, inks[x], inks[y]);
            }
        }
        if (!taken) take(c);
    }

private:
    std::vector<std::vector<std::int32_t>> apart_;  // apart_[y][x]: distance of inks x < y
    std::vector<std::int32_t> off_;                 // of the colour considered, from each ink
};

// Of `inks`, the one nearest the strokes' dark colour within stroke_separation;
// inks.size() for none.
std::size_t ink_of_strokes(const std::vector<palette_entry>& inks, const palette_entry& dark) {
    std::size_t stroke = inks.size();
    std::int64_t least = square(stroke_separation);
    for (std::size_t i = 0; i < inks.size(); ++i) {
        const std::int64_t d = distance_squared(inks[i].lab, dark.lab);
        if (d < least) least = d, stroke = i;
    }
    return stroke;
}

// Each ink moved to the mean of the colours near it: only they set its colour, so
// blends pull no ink. The strokes' own entry (`own_stroke`, inks.size() for none) keeps
// its colour: it is what the darkest strokes look like.
std::vector<colour> settled_inks(const std::vector<palette_entry>& inks, const std::vector<ink_candidate>& candidates,
                                 std::size_t own_stroke) {
    std::vector<std::array<std::uint64_t, 4>> core(inks.size());
    const lab_points ink_points(inks);
    for (const auto& c : candidates) {
        const std::size_t i = nearest_within(ink_points, c.lab, static_cast<std::uint32_t>(square(core_radius)));
        if (i == inks.size()) continue;
        for (std::size_t k = 0; k < 3; ++k) core[i][k] += c.sum[k];
        core[i][3] += c.sampled;
    }
    std::vector<colour> settled;
    for (std::size_t i = 0; i < inks.size(); ++i) {
        settled.push_back(core[i][3] == 0 || i == own_stroke ? inks[i].c : mean_colour(core[i].data(), core[i][3]));
    }
    return settled;
}

// Picks the inks of a chart from its colours (`candidates` not empty): the tints, the
// peaks of the flat pixels' colours, from the heaviest down; the strokes' dark colour,
// unless a tint is near it (that tint then stands for the strokes); then the thin inks
// (magenta lines, coloured lettering), the peaks of the remaining colours, unless they
// are blends of two inks taken. Each is skipped when it is near an ink taken. Then
// each ink but the strokes' own moves to the mean of the pixels near it.
chosen_inks choose_inks(const std::vector<ink_candidate>& candidates, std::size_t limit) {
    std::uint64_t total = 0;
    for (const auto& c : candidates) total += c.count;
    const ink_peaks peaks = find_peaks(candidates, total);
    ink_list taken;
    // The strokes have the first claim on a place, a single entry excepted.
    const std::size_t room_for_tints = limit == 1 ? 1 : limit - 1;
    for (std::size_t i : peaks.tints) taken.consider({candidates[i].mean, candidates[i].lab}, true, room_for_tints);

    // The strokes: their own entry, or the tint they are near (a black so wide that it
    // is flat, or, in a scan without strokes, the darkest tint's noise).
    const palette_entry dark = entry_of(stroke_colour(candidates, total));
    const std::size_t stroke = ink_of_strokes(taken.inks, dark);
    const std::size_t tint_count = taken.inks.size();
    if (stroke == tint_count && (limit > 1 || taken.inks.empty())) taken.take(dark);
    taken.first_thin = taken.inks.size();
    for (std::size_t i : peaks.thin) taken.consider({candidates[i].mean, candidates[i].lab}, false, limit);

    const bool own_stroke = taken.first_thin > tint_count;
    chosen_inks chosen;
    chosen.inks = settled_inks(taken.inks, candidates, own_stroke ? tint_count : taken.inks.size());
    chosen.tints.assign(chosen.inks.begin(), chosen.inks.begin() + static_cast<std::ptrdiff_t>(tint_count));
    chosen.has_stroke = stroke < chosen.inks.size();
    if (chosen.has_stroke) chosen.stroke = chosen.inks[stroke];
    return chosen;
}

// 1 when two levels are at most flat_step apart, in bytes alone, so that the compiler
// can test a row many bytes at a time.
std::uint8_t near_byte(std::uint8_t x, std::uint8_t y) {
    const auto apart = static_cast<std::uint8_t>(x > y ? x - y : y - x);
    return static_cast<std::uint8_t>(apart <= flat_step ? 1 : 0);
}

bool near_colour(const std::uint8_t* p, const std::uint8_t* q) {
    return (near_byte(p[0], q[0]) & near_byte(p[1], q[1]) & near_byte(p[2], q[2])) != 0;
}

// ---- one byte a pixel: indexed and grey scans ----

// Splits the present grey levels into `limit` runs of neighbouring levels, each shown
// as its weighted median, with the least summed error in levels (dynamic programming
// over the histogram; integer costs, ties to the earliest split).
std::array<std::uint8_t, 256> grey_levels(const std::array<std::uint64_t, 256>& counts, std::size_t limit) {
    std::vector<std::uint8_t> level;
    for (std::size_t v = 0; v < 256; ++v) {
        if (counts[v] > 0) level.push_back(static_cast<std::uint8_t>(v));
    }
    const std::size_t n = level.size();
    std::vector<std::uint64_t> count_before(n + 1, 0), sum_before(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        count_before[i + 1] = count_before[i] + counts[level[i]];
        sum_before[i + 1] = sum_before[i] + counts[level[i]] * level[i];
    }
    // cost[i * n + j] and median[i * n + j]: levels i..j as one entry.
    std::vector<std::uint64_t> cost(n * n, 0);
    std::vector<std::uint8_t> median(n * n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t m = i;
        for (std::size_t j = i; j < n; ++j) {
            const std::uint64_t half = (count_before[j + 1] - count_before[i] + 1) / 2;
            while (count_before[m + 1] - count_before[i] < half) ++m;
            const std::uint64_t below = count_before[m + 1] - count_before[i];
            const std::uint64_t above = count_before[j + 1] - count_before[m + 1];
            cost[i * n + j] = level[m] * below - (sum_before[m + 1] - sum_before[i]) +
                              (sum_before[j + 1] - sum_before[m + 1]) - level[m] * above;
            median[i * n + j] = level[m];
        }
    }
    // best[j]: least cost of levels 0..j in g + 1 entries; first[g * n + j]: where the
    // last of them starts.
    const std::size_t groups = std::min(limit, n);
    std::vector<std::uint64_t> best(n), next(n);
    std::vector<std::uint16_t> first(groups * n, 0);
    for (std::size_t j = 0; j < n; ++j) best[j] = cost[j];
    for (std::size_t g = 1; g < groups; ++g) {
        for (std::size_t j = 0; j < n; ++j) {
            std::uint64_t least = cost[j];
            std::size_t start = 0;
            for (std::size_t i = 1; i <= j; ++i) {
                const std::uint64_t c = best[i - 1] + cost[i * n + j];
                if (c < least) least = c, start = i;
            }
            next[j] = least;
            first[g * n + j] = static_cast<std::uint16_t>(start);
        }
        std::swap(best, next);
    }
    std::array<std::uint8_t, 256> shown{};
    std::size_t end = n;
    for (std::size_t g = groups; g-- > 0 && end > 0;) {
        const std::size_t start = g == 0 ? 0 : first[g * n + end - 1];
        for (std::size_t i = start; i < end; ++i) shown[level[i]] = median[start * n + end - 1];
        end = start;
    }
    return shown;
}

// The colour each byte value stands for: its palette entry, or its grey level (the
// levels of least error when there are more than `limit`).
std::array<colour, 256> colours_of_values(const scan_image& scan, const std::array<std::uint64_t, 256>& counts,
                                          std::size_t limit) {
    std::size_t present = 0;
    for (const auto c : counts) present += c > 0;
    std::array<colour, 256> colour_of{};
    if (scan.type == scan_image::kind::grey && present > limit) {
        const auto shown = grey_levels(counts, limit);
        for (std::size_t v = 0; v < 256; ++v) colour_of[v] = {shown[v], shown[v], shown[v]};
        return colour_of;
    }
    for (std::size_t v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        if (scan.type == scan_image::kind::grey) {
            colour_of[v] = {level, level, level};
        } else if (v < scan.palette.size()) {
            colour_of[v] = scan.palette[v];
        }
    }
    return colour_of;
}

// The colours used, merged where two values stand for one, with their counts.
struct used_colours {
    std::vector<ink_candidate> colours;
    std::array<std::size_t, 256> of_value{};  // of each value used, its colour
};

used_colours merge_used(const std::array<std::uint64_t, 256>& counts, const std::array<colour, 256>& colour_of) {
    used_colours used;
    for (std::size_t v = 0; v < 256; ++v) {
        if (counts[v] == 0) continue;
        const colour c = colour_of[v];
        auto same = std::find_if(used.colours.begin(), used.colours.end(),
                                 [&](const ink_candidate& u) { return u.mean == c; });
        if (same == used.colours.end()) {
            used.colours.push_back({c, to_lab(c), 0, 0, {0, 0, 0}, 0, 0, 0, true, true});
            same = used.colours.end() - 1;
        }
        used.of_value[v] = static_cast<std::size_t>(same - used.colours.begin());
        same->count += counts[v];
        same->sampled += counts[v];
        same->around += counts[v];
        same->sum[0] += std::uint64_t{c.r} * counts[v];
        same->sum[1] += std::uint64_t{c.g} * counts[v];
        same->sum[2] += std::uint64_t{c.b} * counts[v];
    }
    return used;
}

// A second look at the pixels, for the flat ones: dithered or blended entries then
// weigh little, as in a colour scan. Every used colour is its own peak.
void weigh_flat_pixels(const scan_image& scan, const std::array<colour, 256>& colour_of, used_colours& used) {
    const std::uint32_t w = scan.width;
    for (std::uint32_t y = 0; y < scan.height; ++y) {
        const std::uint8_t* row = scan.row(y);
        const std::uint8_t* up = y > 0 ? row - w : row;
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t left = row[x > 0 ? x - 1 : 0];
            const std::uint8_t rgb[3] = {colour_of[row[x]].r, colour_of[row[x]].g, colour_of[row[x]].b};
            const std::uint8_t rgb_left[3] = {colour_of[left].r, colour_of[left].g, colour_of[left].b};
            const std::uint8_t rgb_up[3] = {colour_of[up[x]].r, colour_of[up[x]].g, colour_of[up[x]].b};
            used.colours[used.of_value[row[x]]].mass += near_colour(rgb, rgb_left) && near_colour(rgb, rgb_up);
        }
    }
    for (auto& u : used.colours) u.flat_percent = u.mass * 100 / u.count;
}

void reduce_one_byte(scan_image& scan, std::size_t limit) {
    std::array<std::uint64_t, 256> counts{};
    for (const std::uint8_t p : scan.pixels) ++counts[p];
    const std::array<colour, 256> colour_of = colours_of_values(scan, counts, limit);
    used_colours used = merge_used(counts, colour_of);
    const bool kept = used.colours.size() <= limit;
    std::vector<colour> chosen;
    if (kept) {
        for (const auto& u : used.colours) chosen.push_back(u.mean);
    } else {
        weigh_flat_pixels(scan, colour_of, used);
        chosen = choose_inks(used.colours, limit).inks;
    }
    const std::vector<palette_entry> entries = ordered_entries(chosen);

    // Each value to its entry (its own colour when the colours are kept, since two
    // colours may share an L*a*b* in hundredths); entries no value reaches are dropped.
    std::array<std::size_t, 256> entry_of_value{};
    std::vector<bool> reached(entries.size(), false);
    const lab_points points(entries);
    for (std::size_t v = 0; v < 256; ++v) {
        if (counts[v] == 0) continue;
        if (kept) {
            const auto same = [&](const palette_entry& e) { return e.c == colour_of[v]; };
            entry_of_value[v] =
                static_cast<std::size_t>(std::find_if(entries.begin(), entries.end(), same) - entries.begin());
        } else {
            entry_of_value[v] = nearest_of(points, used.colours[used.of_value[v]].lab).first;
        }
        reached[entry_of_value[v]] = true;
    }
    std::vector<std::size_t> renumbered(entries.size());
    scan.palette.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        renumbered[i] = scan.palette.size();
        if (reached[i]) scan.palette.push_back(entries[i].c);
    }
    std::array<std::uint8_t, 256> table{};
    for (std::size_t v = 0; v < 256; ++v) table[v] = static_cast<std::uint8_t>(renumbered[entry_of_value[v]]);
    for (auto& p : scan.pixels) p = table[p];
    scan.type = scan_image::kind::indexed;
}

// ---- three bytes a pixel: colour scans ----

// Up to `limit` distinct colours and their entries: open addressing, 512 slots.
struct small_colour_set {
    static constexpr std::size_t slots = 512;
    std::array<std::uint32_t, slots> keys{};  // colour key + 1, 0 for an empty slot
    std::array<std::uint8_t, slots> entry{};
    std::size_t size = 0;

    std::size_t slot_of(std::uint32_t key) const {
        std::size_t s = ((key * 2654435761U) >> 23) & (slots - 1);
        while (keys[s] != 0 && keys[s] != key + 1) s = (s + 1) & (slots - 1);
        return s;
    }
};

std::uint32_t key_at(const std::uint8_t* p) { return key_of({p[0], p[1], p[2]}); }

colour colour_of_key(std::uint32_t key) {
    return {static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key)};
}

// Gathers the distinct colours of the scan; false as soon as there are more than
// `limit`, which for a noisy scan happens within a few pixels.
bool gather_few_colours(const std::vector<std::uint8_t>& pixels, std::size_t limit, small_colour_set& set) {
    std::uint32_t last = 0xFFFFFFFF;
    for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
        const std::uint32_t key = key_at(&pixels[i]);
        if (key == last) continue;
        last = key;
        const std::size_t s = set.slot_of(key);
        if (set.keys[s] == 0) {
            if (set.size == limit) return false;
            set.keys[s] = key + 1;
            ++set.size;
        }
    }
    return true;
}

void reduce_few_colours(scan_image& scan, small_colour_set& set) {
    std::vector<colour> colours;
    for (const std::uint32_t k : set.keys) {
        if (k == 0) continue;
        colours.push_back(colour_of_key(k - 1));
    }
    const std::vector<palette_entry> entries = ordered_entries(colours);
    scan.palette.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        set.entry[set.slot_of(key_of(entries[i].c))] = static_cast<std::uint8_t>(i);
        scan.palette.push_back(entries[i].c);
    }
    std::uint8_t* p = scan.pixels.data();
    const std::size_t n = scan.pixels.size() / 3;
    std::uint32_t last = 0xFFFFFFFF;
    std::uint8_t last_entry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t key = key_at(p + 3 * i);
        if (key != last) {
            last = key;
            last_entry = set.entry[set.slot_of(key)];
        }
        p[i] = last_entry;  // byte i never overtakes the unread bytes at 3i and on
    }
}

constexpr unsigned bin_shift = 3;  // 5 bits a channel: 32768 bins
constexpr std::size_t bin_count = 32768;
constexpr std::uint32_t sample_rows = 4;

// A pixel's bin as the sum of one table entry a channel: fewer steps than shifting and
// masking each channel, on the two passes over the pixels.
struct bin_keys {
    std::array<std::uint32_t, 256> r{}, g{}, b{};

    constexpr bin_keys() {
        for (std::uint32_t v = 0; v < 256; ++v) {
            r[v] = (v >> bin_shift) << 10;
            g[v] = (v >> bin_shift) << 5;
            b[v] = v >> bin_shift;
        }
    }
};
constexpr bin_keys bin_key;

std::size_t bin_of(const std::uint8_t* p) { return bin_key.r[p[0]] + bin_key.g[p[1]] + bin_key.b[p[2]]; }

// What the neighbours of a bin weigh: its pixels, of them those on the sampled rows,
// and of those the flat ones.
struct bin_weights {
    std::uint64_t count, sampled, flat;
};

// The bins laid out with a border of empty ones, 34 levels a channel, so that every
// bin has its 26 neighbours at the same offsets.
constexpr std::size_t grid_side = 34;
constexpr std::size_t grid_cells = grid_side * grid_side * grid_side;

std::size_t grid_of(std::size_t bin) {
    return ((bin >> 10) + 1) * grid_side * grid_side + (((bin >> 5) & 31) + 1) * grid_side + (bin & 31) + 1;
}

// The grid offsets of a bin's neighbours: the 13 before it in bin order, the 13 after.
struct neighbour_offsets {
    std::array<std::ptrdiff_t, 13> before{}, after{};

    constexpr neighbour_offsets() {
        std::size_t b = 0, a = 0;
        for (std::ptrdiff_t dr = -1; dr <= 1; ++dr) {
            for (std::ptrdiff_t dg = -1; dg <= 1; ++dg) {
                for (std::ptrdiff_t db = -1; db <= 1; ++db) {
                    constexpr auto side = static_cast<std::ptrdiff_t>(grid_side);
                    const std::ptrdiff_t offset = (dr * side + dg) * side + db;
                    if (offset < 0) before[b++] = offset;
                    if (offset > 0) after[a++] = offset;
                }
            }
        }
    }
};
constexpr neighbour_offsets neighbours;

// A noisy tint spreads over a few bins: its weight is that of its peak and the 26
// bins around it. A bin is beaten by a neighbour of more (flat) pixels, or of as many
// and before it: of two equal neighbours the first is the peak. Tested with | and not
// ||: branches on counts would be guesses. `weight` holds the bins' weights in
// candidate order, and zeros after them for an empty bin; `at` (grid_cells entries)
// is scratch, for the candidate of each bin in the grid.
void weigh_neighbours(const std::vector<std::uint16_t>& bins, const std::vector<bin_weights>& weight,
                      std::vector<ink_candidate>& candidates, std::vector<std::uint32_t>& at) {
    const std::size_t found = bins.size();
    std::fill(at.begin(), at.end(), static_cast<std::uint32_t>(found));
    for (std::size_t k = 0; k < found; ++k) at[grid_of(bins[k])] = static_cast<std::uint32_t>(k);
    for (std::size_t k = 0; k < found; ++k) {
        const std::uint32_t* centre = at.data() + grid_of(bins[k]);
        const bin_weights own = weight[k];
        std::uint64_t flat = own.flat, sampled = own.sampled, around = own.count;
        bool tint_beaten = false, stroke_beaten = false;
        for (const std::ptrdiff_t offset : neighbours.before) {
            const bin_weights& other = weight[centre[offset]];
            flat += other.flat;
            sampled += other.sampled;
            around += other.count;
            tint_beaten |= other.flat >= own.flat;
            stroke_beaten |= other.count >= own.count;
        }
        for (const std::ptrdiff_t offset : neighbours.after) {
            const bin_weights& other = weight[centre[offset]];
            flat += other.flat;
            sampled += other.sampled;
            around += other.count;
            tint_beaten |= other.flat > own.flat;
            stroke_beaten |= other.count > own.count;
        }
        ink_candidate& c = candidates[k];
        c.mass = flat * sample_rows;
        c.flat_percent = sampled == 0 ? 0 : flat * 100 / sampled;
        c.tint_peak = !tint_beaten;
        c.stroke_peak = !stroke_beaten;
        c.around = around;
    }
}

// The colours of a scan, one candidate for each bin its pixels fall in, in bin order.
struct scan_colours {
    std::vector<ink_candidate> candidates;
    std::vector<std::uint16_t> bins;    // the bin of each candidate
    std::vector<std::uint16_t> by_bin;  // bin_count entries of scratch, for a table by bin
};

// What one pass over a scan's pixels gathers, at 5 bits a channel: each bin's pixel
// count and, from every sample_rows-th row (from the second on), its flat pixels and the
// sums of its channels (for the exact mean colour). The flat test costs more than the
// count: a quarter of the rows tells tints from blends as well as all of them do.
//
// A chart's scan fills a few thousand of the 32768 bins, a small scan's about as many
// as a large one's: what the scan's size does not pay for is kept small, and a step
// over all the bins is a plain loop the compiler can run many bins at a time. Counts
// are 32 bits, added up into the sampled bins every 2^32 - 1 pixels at most; the
// sampled rows' pixels and sums go to a packed list of the bins they meet.
struct bin_tally {
    struct sampled_bin {
        std::uint64_t count, sampled, flat, r, g, b;
    };
    static constexpr std::uint16_t none = 0xFFFF;
    std::vector<std::uint16_t> slot = std::vector<std::uint16_t>(bin_count, none);  // of the bin in `sampled`
    std::vector<sampled_bin> sampled;
    // Sized for the grid of bins it becomes when the counts have been read.
    std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(grid_cells, 0);

    bin_tally() { sampled.reserve(4096); }

    sampled_bin& sampled_of(std::size_t bin) {
        if (slot[bin] == none) {
            slot[bin] = static_cast<std::uint16_t>(sampled.size());
            sampled.push_back({0, 0, 0, 0, 0, 0});
        }
        return sampled[slot[bin]];
    }

    // Moves the counts into the sampled bins, before they can overflow.
    void add_up_counts() {
        for (std::size_t bin = 0; bin < bin_count; ++bin) {
            if (counts[bin] == 0) continue;
            sampled_of(bin).count += counts[bin];
            counts[bin] = 0;
        }
    }
};

// Pixel i's bin goes to bytes 2i and 2i + 1 of the scan's buffer, which the pixel's own
// bytes (3i on) and the rest of the scan lie after.
void keep_bin(std::uint8_t* to, std::size_t bin) {
    const auto two_bytes = static_cast<std::uint16_t>(bin);
    std::memcpy(to, &two_bytes, 2);
}

void keep_row_bins(std::uint8_t* pixels, std::size_t stride) {
    std::uint8_t* to = pixels;
    for (const std::uint8_t* p = pixels; p != pixels + stride; p += 3, to += 2) keep_bin(to, bin_of(p));
}

// A row that is not sampled: its pixels counted and their bins kept, two pixels a step
// (half the loop's own work, on most of the pixels).
void count_row(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t* to, std::uint32_t* counts) {
    for (; end - p >= 6; p += 6, to += 4) {
        const std::size_t bin = bin_of(p), next = bin_of(p + 3);
        ++counts[bin];
        ++counts[next];
        keep_bin(to, bin);
        keep_bin(to + 2, next);
    }
    if (p != end) {
        const std::size_t bin = bin_of(p);
        ++counts[bin];
        keep_bin(to, bin);
    }
}

// Which pixels of the row at `p` (below the row `p - stride`) are flat: near[3i] is 1
// when each channel of pixel i is near that of its left neighbour (the first pixel's is
// itself) and of the one above. Tested a byte at a time first, then the three bytes of
// each pixel together, in loops the compiler runs many bytes at a time.
void mark_flat_pixels(const std::uint8_t* p, std::size_t stride, std::vector<std::uint8_t>& near) {
    const std::uint8_t* up = p - stride;
    for (std::size_t i = 0; i < 3; ++i) near[i] = near_byte(p[i], up[i]);
    for (std::size_t i = 3; i < stride; ++i) near[i] = near_byte(p[i], p[i - 3]) & near_byte(p[i], up[i]);
    for (std::size_t i = 0; i + 2 < stride; ++i) near[i] = near[i] & near[i + 1] & near[i + 2];
}

// A sampled row: its pixels counted in their slots, with their flat pixels (as
// mark_flat_pixels left them in `near`) and sums, and their bins kept.
void tally_sampled_row(const std::uint8_t* p, std::size_t stride, std::uint8_t* to,
                       const std::vector<std::uint8_t>& near, bin_tally& tally) {
    const std::uint8_t* end = p + stride;
    for (const std::uint8_t* flat = near.data(); p != end; p += 3, flat += 3, to += 2) {
        const std::size_t bin = bin_of(p);
        keep_bin(to, bin);
        bin_tally::sampled_bin& into = tally.sampled_of(bin);
        ++into.sampled;
        into.flat += *flat;
        into.r += p[0];
        into.g += p[1];
        into.b += p[2];
    }
}

// The pass over the pixels. It leaves each pixel's bin in the scan's buffer, in place
// of its colour (pixel i at bytes 2i and 2i + 1, in the machine's order): the pass that
// maps the pixels reads the bin there rather than working it out again. From the third
// row on the bins stay clear of the row above, which the next row's flat test still
// reads; of the rows before, only the first one's bins would not: they wait for the
// second row's test.
bin_tally tally_bins(scan_image& scan) {
    bin_tally tally;
    std::vector<std::uint8_t> near(std::size_t{scan.width} * 3);
    const std::uint32_t band_rows = std::max<std::uint32_t>(1, 0xFFFFFFFFU / scan.width);
    const std::size_t stride = std::size_t{scan.width} * 3;
    std::uint8_t* const pixels = scan.pixels.data();
    for (std::uint32_t y = 0; y < scan.height; ++y) {
        const std::uint8_t* p = pixels + y * stride;
        std::uint8_t* to = pixels + std::size_t{y} * scan.width * 2;
        if (y == 0) {
            for (const std::uint8_t* end = p + stride; p != end; p += 3) ++tally.counts[bin_of(p)];
        } else if (y % sample_rows != 1) {
            count_row(p, p + stride, to, tally.counts.data());
        } else {
            mark_flat_pixels(p, stride, near);
            if (y == 1) keep_row_bins(pixels, stride);
            tally_sampled_row(p, stride, to, near, tally);
        }
        if ((y + 1) % band_rows == 0 && y + 1 < scan.height) tally.add_up_counts();
    }
    if (scan.height == 1) keep_row_bins(pixels, stride);
    return tally;
}

// The bins met, in order: those counted since the last band, and those with a slot
// (met on a sampled row, or in a band before). Bins come in lines of 32 (one red and
// green level, all blues); most lines are empty, and are told so by one test.
std::vector<std::uint16_t> bins_met(const bin_tally& tally) {
    const auto& counts = tally.counts;
    const auto& slot = tally.slot;
    const auto met = [&](std::size_t i) {
        return static_cast<unsigned>(counts[i] != 0) | static_cast<unsigned>(slot[i] != bin_tally::none);
    };
    std::size_t found = 0;
    for (std::size_t i = 0; i < bin_count; ++i) found += met(i);
    std::vector<std::uint16_t> bins(found + 32);  // room for a line's last writes
    found = 0;
    for (std::size_t line = 0; line < bin_count; line += 32) {
        std::uint32_t counted = 0;
        std::uint16_t unslotted = bin_tally::none;
        for (std::size_t i = line; i < line + 32; ++i) counted |= counts[i], unslotted &= slot[i];
        if (counted == 0 && unslotted == bin_tally::none) continue;
        for (std::size_t i = line; i < line + 32; ++i) {
            bins[found] = static_cast<std::uint16_t>(i);
            found += met(i);
        }
    }
    bins.resize(found);
    return bins;
}

// The scan's colours, one candidate for each bin its pixels fall in, in bin order.
scan_colours colour_histogram(scan_image& scan) {
    bin_tally tally = tally_bins(scan);
    std::vector<std::uint16_t> bins = bins_met(tally);
    const std::size_t found = bins.size();
    // A bin without a slot reads the zero one after the others.
    const std::size_t zero_slot = tally.sampled.size();
    tally.sampled.push_back({0, 0, 0, 0, 0, 0});
    scan_colours out;
    out.candidates.resize(found);
    // The weights of the bins in candidate order, and an empty bin's after them.
    std::vector<bin_weights> weight(found + 1, {0, 0, 0});
    for (std::size_t k = 0; k < found; ++k) {
        const std::size_t i = bins[k];
        const bin_tally::sampled_bin& bin = tally.sampled[std::min<std::size_t>(tally.slot[i], zero_slot)];
        ink_candidate& c = out.candidates[k];
        c.count = bin.count + bin.sampled + tally.counts[i];
        // A bin with no pixel on the sampled rows has its pixels counted as its centre.
        const bool centred = bin.sampled == 0;
        const auto centre = [&](std::size_t shift) {
            return ((((i >> shift) & 31) << bin_shift) + (1U << (bin_shift - 1))) * c.count;
        };
        c.sampled = centred ? c.count : bin.sampled;
        c.sum[0] = centred ? centre(10) : bin.r;
        c.sum[1] = centred ? centre(5) : bin.g;
        c.sum[2] = centred ? centre(0) : bin.b;
        c.mean = mean_colour(c.sum, c.sampled);
        c.lab = to_lab(c.mean);
        weight[k] = {c.count, bin.sampled, bin.flat};
    }
    weigh_neighbours(bins, weight, out.candidates, tally.counts);
    out.bins = std::move(bins);
    out.by_bin = std::move(tally.slot);
    return out;
}

// The entry of each of the scan's colours, and the entry a pixel of that colour may
// keep instead if its left neighbour has it. A colour is its nearest entry, unless it
// is farther than ink_noise from it and nearer to a blend of some entry with the
// strokes' entry (`stroke`, entries.size() for none): then it goes to the strokes if
// their share reaches stroke_share, else to the other entry (the edge of a tint).
//
// The colours are the scan's candidates, the mean colours of its bins: a few thousand,
// however small the scan, so their work is what a small scan pays for. Every test is
// made on squared distances where it can be, and a blend is looked at only where it
// can come nearer than the colour's ink.
class mapping_table {
public:
    mapping_table(const std::vector<palette_entry>& entries, std::size_t stroke, const std::vector<colour>& tints)
        : entries_(entries), points_(entries), stroke_(stroke) {
        const linear_colour dark = to_linear(entries[std::min(stroke, entries.size() - 1)].c);
        std::vector<std::size_t> tint_entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (std::find(tints.begin(), tints.end(), entries[i].c) != tints.end()) tint_entries.push_back(i);
            curve c;
            c.linear = to_linear(entries[i].c);
            const std::int64_t w[3] = {std::int64_t{dark.r} - c.linear.r, std::int64_t{dark.g} - c.linear.g,
                                       std::int64_t{dark.b} - c.linear.b};
            c.towards_stroke = {w[0], w[1], w[2]};
            c.length_squared = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
            c.low = c.high = entries[i].lab;
            for (std::size_t k = 0; k <= curve_steps && stroke < entries.size(); ++k) {
                const lab_colour lab = to_lab(blend_at(c.linear, dark, static_cast<std::int64_t>(k) * step));
                c.points[k] = lab;
                c.low = {std::min(c.low.l, lab.l), std::min(c.low.a, lab.a), std::min(c.low.b, lab.b)};
                c.high = {std::max(c.high.l, lab.l), std::max(c.high.a, lab.a), std::max(c.high.b, lab.b)};
            }
            curves_.push_back(c);
        }
        // The tints a way passes near enough to matter: none farther from the box
        // around it than blend_clearance.
        for (std::size_t i = 0; i < curves_.size(); ++i) {
            for (const std::size_t j : tint_entries) {
                if (j != i && off_box(entries[j].lab, curves_[i]) < square(blend_clearance)) {
                    curves_[i].tints.push_back(static_cast<std::uint8_t>(j));
                }
            }
        }
    }

    // The value (best entry | keep entry << 8) of each of `candidates`, into
    // value_of_bin at its bin. A few dozen colours at a time, step by step: the
    // nearest entries of each, then the distances to them (a square root each, whose
    // wait would hold up every test after it), then the rest.
    void fill(const std::vector<ink_candidate>& candidates, const std::vector<std::uint16_t>& bins,
              std::vector<std::uint16_t>& value_of_bin) {
        constexpr std::size_t batch = 64;
        std::array<nearest_two, batch> near;
        std::array<std::int32_t, batch> ink_off;
        for (std::size_t start = 0; start < candidates.size(); start += batch) {
            const std::size_t count = std::min(batch, candidates.size() - start);
            for (std::size_t k = 0; k < count; ++k) near[k] = nearest_of(points_, candidates[start + k].lab);
            for (std::size_t k = 0; k < count; ++k) ink_off[k] = square_root_floor(near[k].first_d);
            for (std::size_t k = 0; k < count; ++k) {
                const ink_candidate& c = candidates[start + k];
                value_of_bin[bins[start + k]] = value_of(c.mean, c.lab, near[k], ink_off[k]);
            }
        }
    }

private:
    // best entry | keep entry << 8, for colour `c` of L*a*b* `lab`, whose nearest
    // entries are `near`, the nearest ink_off away.
    std::uint16_t value_of(const colour& c, const lab_colour& lab, const nearest_two& near, std::int32_t ink_off) {
        const std::size_t n = entries_.size();
        std::size_t best = near.first;
        const std::int64_t best_d = near.first_d;
        // The second is kept when at most keep_margin farther (in whole hundredths, as
        // distance() gives them): floor(sqrt(second_d)) <= ink_off + keep_margin.
        std::size_t keep = best;
        if (near.second < n && near.second_d < square(ink_off + keep_margin + 1)) keep = near.second;
        if (stroke_ < n && best != stroke_ && best_d > square(ink_noise)) {
            // Blends with the strokes darken an entry: only entries lighter than the
            // colour (a leading run, the entries being ordered light to dark) can give
            // one through it, and only those whose way passes within `least` of it
            // (the blend lies in the box around the way) can give a nearer one.
            const std::size_t ink = best;
            std::int64_t least = ink_off - blend_penalty;  // positive: ink_off > ink_noise
            std::size_t passing = 0;
            for (std::size_t i = 0; i < n && entries_[i].lab.l > lab.l; ++i) {
                off_[i] = off_box(lab, curves_[i]);
                near_[passing] = static_cast<std::uint8_t>(i);
                passing += i != stroke_ && off_[i] < square(least) ? 1U : 0U;
            }
            const linear_colour linear = to_linear(c);
            for (std::size_t k = 0; k < passing; ++k) {
                const std::size_t i = near_[k];
                if (off_[i] >= square(least)) continue;  // a nearer blend has been found since
                const curve& way = curves_[i];
                // share_of(linear, this entry, the strokes' entry), its ends (0 and
                // blend_scale: no blend) told apart before dividing.
                const std::int64_t vw = (std::int64_t{linear.r} - way.linear.r) * way.towards_stroke[0] +
                                        (std::int64_t{linear.g} - way.linear.g) * way.towards_stroke[1] +
                                        (std::int64_t{linear.b} - way.linear.b) * way.towards_stroke[2];
                if (vw * blend_scale < way.length_squared || vw >= way.length_squared) continue;
                const std::int64_t share = vw * blend_scale / way.length_squared;
                const auto step_index = static_cast<std::size_t>(share / step);
                const std::int64_t f = share % step;
                const lab_colour& p = way.points[step_index];
                const lab_colour& q = way.points[std::min(step_index + 1, curve_steps)];
                const auto along = [&](std::int32_t from, std::int32_t to) {
                    return static_cast<std::int32_t>(from + (std::int64_t{to} - from) * f / step);
                };
                const lab_colour blend{along(p.l, q.l), along(p.a, q.a), along(p.b, q.b)};
                const std::int64_t off_squared = distance_squared(lab, blend);
                if (off_squared >= square(least) || passes_an_ink(blend, i)) continue;
                const std::int32_t off = square_root_floor(off_squared);
                least = off;
                best = share >= stroke_share ? stroke_ : i;
                // Inside a tint, a noisy pixel that happens to look like a blend keeps
                // the tint of its left neighbour.
                keep = ink_off - off <= blend_penalty + keep_margin ? ink : best;
            }
        }
        return static_cast<std::uint16_t>(best | (keep << 8));
    }

    static constexpr std::size_t curve_steps = 32;
    static constexpr std::int64_t step = blend_scale / curve_steps;

    // The way from an entry to the strokes' entry, in linear light and in L*a*b*.
    struct curve {
        linear_colour linear;
        std::array<std::int64_t, 3> towards_stroke;  // the strokes' entry less this one, linear
        std::int64_t length_squared = 0;
        std::array<lab_colour, curve_steps + 1> points;
        lab_colour low, high;  // the box around `points`, hence around the whole way
        std::vector<std::uint8_t> tints;  // the tints (but this entry) near the box
    };

    // The distance squared of `lab` from the box around `way`.
    static std::int64_t off_box(const lab_colour& lab, const curve& way) {
        const auto outside = [](std::int32_t v, std::int32_t low, std::int32_t high) {
            return std::int64_t{std::max(std::max(low - v, v - high), 0)};
        };
        return square(outside(lab.l, way.low.l, way.high.l)) + square(outside(lab.a, way.low.a, way.high.a)) +
               square(outside(lab.b, way.low.b, way.high.b));
    }

    // True when the blend of entry `from` with the strokes' passes this near a tint (a
    // grey tint on the way from paper to black, say): the pixels there are the tint's,
    // however their noise lies along the blend.
    bool passes_an_ink(const lab_colour& blend, std::size_t from) const {
        for (const std::size_t j : curves_[from].tints) {
            if (distance_squared(entries_[j].lab, blend) < square(blend_clearance)) return true;
        }
        return false;
    }

    const std::vector<palette_entry>& entries_;
    lab_points points_;
    std::size_t stroke_;
    std::vector<curve> curves_;
    // Scratch for value_of(): squared distances from the boxes, by entry, and the
    // entries a blend may come through.
    std::array<std::int64_t, 256> off_{};
    std::array<std::uint8_t, 256> near_{};
};

void reduce_many_colours(scan_image& scan, std::size_t limit) {
    scan_colours colours = colour_histogram(scan);
    const chosen_inks inks = choose_inks(colours.candidates, limit);
    const std::vector<palette_entry> entries = ordered_entries(inks.inks);
    std::size_t stroke = 0;  // entries.size() for none
    while (stroke < entries.size() && !(inks.has_stroke && entries[stroke].c == inks.stroke)) ++stroke;
    // Every pixel's bin has a candidate: the value of each (best | keep << 8), by bin.
    std::vector<std::uint16_t>& value_of_bin = colours.by_bin;
    {
        mapping_table table(entries, stroke, inks.tints);
        table.fill(colours.candidates, colours.bins, value_of_bin);
    }
    std::array<bool, 256> reached{};
    // Held in locals: the index bytes written here could alias any other byte, which
    // would make the compiler read the vectors' pointers again for each pixel.
    const std::uint16_t* value_of = value_of_bin.data();
    const std::uint32_t width = scan.width, height = scan.height;
    std::uint8_t* p = scan.pixels.data();
    // Pixel i to its entry, given its left neighbour's (`previous`, 256 for none), from
    // its bin (bytes 2i and 2i + 1, as colour_histogram left it). Index byte i never
    // overtakes the unread bins at 2i and on.
    const auto map = [&](std::size_t i, unsigned& previous) {
        std::uint16_t bin = 0;
        std::memcpy(&bin, p + 2 * i, 2);
        const unsigned value = value_of[bin];
        // keep == previous ? keep : best, without a branch (g++ makes one of the plain
        // ?: here): where a tint's noise meets a blend no predictor can guess it.
        const unsigned keep = value >> 8U;
        const unsigned entry = (value >> (static_cast<unsigned>(keep == previous) << 3U)) & 0xFFU;
        p[i] = static_cast<std::uint8_t>(entry);
        reached[entry] = true;
        previous = entry;
    };
    // Each pixel waits for its left neighbour's entry: two rows at a time keep two
    // such chains going. Rows y and y + 1 together from y = 1 on, where the second
    // row's index bytes stay clear of the first row's unread bins (for y = 0 they
    // would not).
    const auto row_start = [&](std::uint32_t y) { return std::size_t{y} * width; };
    for (unsigned previous = 256, x = 0; x < width; ++x) map(x, previous);
    std::uint32_t y = 1;
    for (; y + 1 < height; y += 2) {
        unsigned previous = 256, below = 256;
        for (std::size_t i = row_start(y), end = i + width; i < end; ++i) {
            map(i, previous);
            map(i + width, below);
        }
    }
    if (y < height) {
        unsigned previous = 256;
        for (std::size_t i = row_start(y), end = i + width; i < end; ++i) map(i, previous);
    }
    const std::size_t out = std::size_t{width} * height;
    // An entry no pixel reached is dropped, and the indices after it move down.
    std::array<std::uint8_t, 256> renumbered{};
    scan.palette.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        renumbered[i] = static_cast<std::uint8_t>(scan.palette.size());
        if (reached[i]) scan.palette.push_back(entries[i].c);
    }
    if (scan.palette.size() != entries.size()) {
        for (std::size_t i = 0; i < out; ++i) p[i] = renumbered[p[i]];
    }
}

}  // namespace

void reduce_colours(scan_image& scan, std::size_t limit) {
    limit = std::clamp<std::size_t>(limit, 1, 256);
    if (scan.width == 0 || scan.height == 0) {
        scan.palette.clear();
        scan.pixels.clear();
        scan.type = scan_image::kind::indexed;
        return;
    }
    if (scan.type != scan_image::kind::colour) {
        reduce_one_byte(scan, limit);
        return;
    }
    small_colour_set few;
    if (gather_few_colours(scan.pixels, limit, few)) {
        reduce_few_colours(scan, few);
    } else {
        reduce_many_colours(scan, limit);
    }
    scan.pixels.resize(std::size_t{scan.width} * scan.height);
    scan.type = scan_image::kind::indexed;
}

}  // namespace hdrmill
