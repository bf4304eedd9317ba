#include "palette/choose_inks.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "palette/nearest_entry.hpp"
#include "palette/palette_entry.hpp"

namespace hdrmill {
namespace {

// Distances are in hundredths of CIE76 delta E; the values were measured with
// bench/palette_quality.py on photographs and scans of printed maps.

// A chart's inks, tints and paper shades fit in this many entries with room to spare;
// fewer entries make longer runs and a smaller chart.
constexpr std::size_t usual_inks = 24;

// A colour this far from every ink gets an ink of its own (beyond usual_inks, up to the
// limit), if it has enough pixels to be a mark rather than scanner noise.
constexpr std::int64_t distinct_off = 1500;

// Colours this near an ink are its noise (a scanner's, the paper's grain): they get no
// ink of their own, even among the usual ones.
constexpr std::int64_t noise_off = 500;

// Lloyd's rounds after each time inks are added: the centres settle within a few.
constexpr int settle_rounds = 8;
constexpr int most_additions = 4;

// A colour weighs the square root of its pixels: a small red sign of a few dozen pixels
// then counts against the paper's million, and gets an ink of its own rather than being
// lost in the nearest dark one. Scaled by 4 so that small counts keep some resolution.
std::int64_t weight_of(std::uint64_t count) {
    return square_root_floor(static_cast<std::int64_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 40) * 16));
}

struct ink_search {
    const std::vector<weighted_colour>& colours;
    std::vector<std::int64_t> weight;
    std::uint64_t fewest_pixels = 0;  // of a colour that may add an ink beyond usual_inks
    std::vector<lab_colour> centres;
    std::vector<std::size_t> member;  // of each colour, its centre
    std::vector<std::int64_t> upper, lower;  // assign()'s bounds, for the centres bounds_for
    std::vector<lab_colour> bounds_for;
    bool bounded = false;

    // Farthest-first: the next centre is the colour of greatest weight times distance
    // squared from the centres so far, first of equals. Up to usual_inks are taken
    // while any colour is more than noise_off from them; beyond, only a colour
    // distinct_off away with fewest_pixels or more.
    void add_centres(std::size_t limit) {
        const std::size_t n = colours.size();
        std::vector<std::int64_t> off(n, std::numeric_limits<std::int64_t>::max());
        // Each colour is with its nearest centre since settle().
        for (std::size_t i = 0; i < n && !centres.empty(); ++i) off[i] = distance_squared(colours[i].lab, centres[member[i]]);
        if (centres.empty()) {
            std::size_t heaviest = 0;
            for (std::size_t i = 1; i < n; ++i) heaviest = weight[i] > weight[heaviest] ? i : heaviest;
            add(heaviest, off);
        }
        while (centres.size() < limit) {
            const bool usual = centres.size() < usual_inks;
            std::size_t best = n;
            std::int64_t best_score = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const bool may = usual ? off[i] > noise_off * noise_off : off[i] > distinct_off * distinct_off && colours[i].count >= fewest_pixels;
                // Scores stay below 2^63: weights below 2^22, distances squared below 2^31.
                const std::int64_t score = may ? weight[i] * off[i] : 0;
                if (score > best_score) best = i, best_score = score;
            }
            if (best == n) break;
            add(best, off);
        }
    }

    void add(std::size_t i, std::vector<std::int64_t>& off) {
        const lab_colour c = colours[i].lab;
        centres.push_back(c);
        for (std::size_t j = 0; j < colours.size(); ++j) off[j] = std::min(off[j], distance_squared(colours[j].lab, c));
    }

    // Lloyd's rounds: each colour to its nearest centre, each centre to the weighted
    // mean L*a*b* of its colours (rounded down); a centre left without colours goes.
    void settle() {
        bounded = false;  // the centres are new
        bool settled = false;
        for (int round = 0; round < settle_rounds && !settled; ++round) {
            assign();
            std::vector<std::int64_t> sum(3 * centres.size(), 0), total(centres.size(), 0);
            for (std::size_t i = 0; i < colours.size(); ++i) {
                const std::size_t k = member[i];
                const std::int64_t w = weight[i];
                sum[3 * k] += w * colours[i].lab.l, sum[3 * k + 1] += w * colours[i].lab.a;
                sum[3 * k + 2] += w * colours[i].lab.b, total[k] += w;
            }
            std::vector<lab_colour> moved;
            for (std::size_t k = 0; k < centres.size(); ++k) {
                if (total[k] == 0) continue;
                const auto mean = [&](std::size_t c) { return static_cast<std::int32_t>(floor_div(sum[3 * k + c], total[k])); };
                moved.push_back({mean(0), mean(1), mean(2)});
            }
            settled = moved == centres;  // and each colour is with its nearest already
            bounded = bounded && moved.size() == centres.size();
            centres = std::move(moved);
        }
        if (!settled) assign();
    }

    // Each colour to its nearest centre (first of equals). Most colours stay with theirs
    // from round to round, and bounds tell which (Hamerly's): `upper` lies above a
    // colour's distance to its centre, `lower` at or below its distance to any other, in
    // hundredths of delta E; as the centres move each bound moves by as much the other
    // way. Where upper < lower the colour's centre is strictly the nearest: the same
    // assignment as measuring every distance, ties included.
    void assign() {
        const lab_points points(centres);
        if (!bounded) {
            member.resize(colours.size());
            upper.resize(colours.size());
            lower.resize(colours.size());
            for (std::size_t i = 0; i < colours.size(); ++i) measure(points, i);
            bounded = true;
            bounds_for = centres;
            return;
        }
        std::vector<std::int64_t> drift(centres.size());
        std::int64_t most_drift = 0;
        for (std::size_t k = 0; k < centres.size(); ++k) {
            const std::int64_t d = distance_squared(bounds_for[k], centres[k]);
            drift[k] = d == 0 ? 0 : square_root_floor(d) + 1;
            most_drift = std::max(most_drift, drift[k]);
        }
        for (std::size_t i = 0; i < colours.size(); ++i) {
            upper[i] += drift[member[i]];
            lower[i] -= most_drift;
            if (upper[i] < lower[i]) continue;
            upper[i] = square_root_floor(distance_squared(colours[i].lab, centres[member[i]])) + 1;
            if (upper[i] < lower[i]) continue;
            measure(points, i);
        }
        bounds_for = centres;
    }

    // Colour i's nearest centre, measured against all, and its bounds.
    void measure(const lab_points& points, std::size_t i) {
        std::uint64_t least = ~std::uint64_t{0}, next = ~std::uint64_t{0};
        const lab_colour& c = colours[i].lab;
        for (std::size_t k = 0; k < points.size(); ++k) {
            const std::int64_t dl = points.l[k] - c.l, da = points.a[k] - c.a, db = points.b[k] - c.b;
            const auto key = (static_cast<std::uint64_t>(dl * dl + da * da + db * db) << 8) | k;
            next = std::min(next, std::max(key, least));  // without branches: the loop runs several at a time
            least = std::min(key, least);
        }
        member[i] = static_cast<std::size_t>(least & 0xFF);
        upper[i] = square_root_floor(static_cast<std::int64_t>(least >> 8)) + 1;
        lower[i] = next == ~std::uint64_t{0} ? std::numeric_limits<std::int32_t>::max()
                                             : square_root_floor(static_cast<std::int64_t>(next >> 8));
    }

    static std::int64_t floor_div(std::int64_t n, std::int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }

    // Each centre as the mean colour of the pixels of its colours.
    std::vector<colour> inks() const {
        std::vector<std::uint64_t> sum(3 * centres.size(), 0), count(centres.size(), 0);
        for (std::size_t i = 0; i < colours.size(); ++i) {
            const std::size_t k = member[i];
            for (std::size_t c = 0; c < 3; ++c) sum[3 * k + c] += colours[i].sum[c];
            count[k] += colours[i].count;
        }
        std::vector<colour> out;
        for (std::size_t k = 0; k < centres.size(); ++k) {
            if (count[k] == 0) continue;
            const colour c = mean_colour(&sum[3 * k], count[k]);
            if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
        }
        return out;
    }
};

}  // namespace

std::vector<colour> choose_inks(const std::vector<weighted_colour>& colours, std::size_t limit) {
    ink_search search{colours, {}, 0, {}, {}, {}, {}, {}, false};
    std::uint64_t total = 0;
    for (const weighted_colour& c : colours) {
        search.weight.push_back(weight_of(c.count));
        total += c.count;
    }
    // A small mark has a few dozen pixels, over a few colours; scanner noise far from
    // every ink scatters over many colours of one or two pixels each.
    search.fewest_pixels = std::max<std::uint64_t>(8, total >> 18);
    limit = std::max<std::size_t>(limit, 1);
    for (int addition = 0; addition < most_additions; ++addition) {
        const std::size_t before = search.centres.size();
        search.add_centres(limit);
        if (addition > 0 && search.centres.size() == before) break;
        search.settle();
    }
    return search.inks();
}

}  // namespace hdrmill
