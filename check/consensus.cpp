#include "check/consensus.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace hdrmill {

namespace {

// All triples while their number stays small, a fixed sample beyond.
constexpr std::size_t all_triples_up_to = 40;
constexpr std::size_t sampled_triples = 2000;
constexpr std::size_t scoring_points = 256;
constexpr std::size_t grown_candidates = 16;
constexpr int growing_rounds = 10;

// A small, fixed pseudo-random sequence, so that a check gives the same answer each run.
struct repeatable_sequence {
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    std::size_t below(std::size_t limit) {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return static_cast<std::size_t>(z % limit);
    }
};

struct candidate {
    pixel_map map;
    std::vector<bool> agrees;
    std::size_t count = 0;
    double shear = 0.0;
};

bool better(const candidate& a, const candidate& b) {
    return a.count != b.count ? a.count > b.count : a.shear < b.shear;
}

std::size_t mark_agreeing(const pixel_map& map, const std::vector<tie_point>& points, double tolerance,
                          std::vector<bool>& agrees) {
    agrees.assign(points.size(), false);
    std::size_t count = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (pixel_distance(map, points[i]) <= tolerance) {
            agrees[i] = true;
            ++count;
        }
    }
    return count;
}

// The same for a map fitted to the points marked in `fitted`: each of those is judged by
// where the others place it, so that a slip the fit absorbed shows in full, and each
// point with the margin the fitted points' own clicking error earns it.
std::size_t mark_agreeing(const fitted_map& fit, const std::vector<bool>& fitted,
                          const std::vector<tie_point>& points, double tolerance, std::vector<bool>& agrees) {
    agrees.assign(points.size(), false);
    std::size_t count = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (fit.agrees(points[i], fitted[i], tolerance)) {
            agrees[i] = true;
            ++count;
        }
    }
    return count;
}

// The indices of the points marked as agreeing.
std::vector<std::size_t> agreeing(const std::vector<bool>& agrees) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < agrees.size(); ++i) {
        if (agrees[i]) {
            chosen.push_back(i);
        }
    }
    return chosen;
}

// A set that swings between two sets without settling would be counted by points its
// own fit rejects: the points its fit does not agree with are dropped, and the rest
// refitted, until every point left agrees. Dropping only, so this ends.
void settle_by_dropping(const std::vector<tie_point>& points, double tolerance, candidate& grown) {
    while (grown.count >= 3) {
        const auto chosen = agreeing(grown.agrees);
        const auto refitted = fit_least_squares(points, chosen);
        if (!refitted) {
            return;
        }
        grown.map = refitted->map;
        bool dropped = false;
        for (const auto i : chosen) {
            if (!refitted->agrees(points[i], true, tolerance)) {
                grown.agrees[i] = false;
                --grown.count;
                dropped = true;
            }
        }
        if (!dropped) {
            return;
        }
    }
}

// Grows a map by refitting it over the points that agree with it until that set no
// longer changes. The set may shrink as well as grow: a point that a fit including it
// seemed to agree with leaves once it is judged by the others.
candidate grow(pixel_map map, const std::vector<tie_point>& points, double tolerance) {
    candidate grown;
    grown.map = map;
    grown.count = mark_agreeing(map, points, tolerance, grown.agrees);
    for (int round = 0; round < growing_rounds && grown.count >= 3; ++round) {
        const auto chosen = agreeing(grown.agrees);
        const auto refitted = fit_least_squares(points, chosen);
        if (!refitted) {
            break;
        }
        std::vector<bool> agrees;
        const auto count = mark_agreeing(*refitted, grown.agrees, points, tolerance, agrees);
        const bool settled = agrees == grown.agrees;
        grown.map = refitted->map;
        grown.agrees = std::move(agrees);
        grown.count = count;
        if (settled) {
            break;
        }
    }
    settle_by_dropping(points, tolerance, grown);
    grown.shear = grown.map.shear();
    return grown;
}

// Every triple, each grown: while there are few points.
std::vector<candidate> grow_every_triple(const std::vector<tie_point>& points, double tolerance) {
    std::vector<candidate> grown;
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            for (std::size_t k = j + 1; k < n; ++k) {
                if (const auto map = fit_exact(points[i], points[j], points[k])) {
                    grown.push_back(grow(*map, points, tolerance));
                }
            }
        }
    }
    return grown;
}

// A fixed sample of triples scored on an even spread of the points, and only the best
// few grown over all of them: the cost stays linear in the number of points.
std::vector<candidate> grow_sampled_triples(const std::vector<tie_point>& points, double tolerance) {
    const std::size_t n = points.size();
    std::vector<tie_point> spread;
    for (std::size_t i = 0; i < scoring_points; ++i) {
        spread.push_back(points[i * n / scoring_points]);
    }
    repeatable_sequence sequence;
    std::vector<candidate> scored;
    std::vector<bool> agrees;
    for (std::size_t t = 0; t < sampled_triples; ++t) {
        const auto i = sequence.below(n), j = sequence.below(n), k = sequence.below(n);
        if (i == j || j == k || i == k) {
            continue;
        }
        if (const auto map = fit_exact(points[i], points[j], points[k])) {
            candidate c;
            c.map = *map;
            c.count = mark_agreeing(*map, spread, tolerance, agrees);
            c.shear = map->shear();
            scored.push_back(std::move(c));
        }
    }
    const auto kept = std::min(grown_candidates, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + static_cast<std::ptrdiff_t>(kept), scored.end(), better);
    std::vector<candidate> grown;
    for (std::size_t c = 0; c < kept; ++c) {
        grown.push_back(grow(scored[c].map, points, tolerance));
    }
    return grown;
}

}  // namespace

std::optional<consensus> find_consensus(const std::vector<tie_point>& points, double tolerance) {
    const auto grown = points.size() <= all_triples_up_to ? grow_every_triple(points, tolerance)
                                                          : grow_sampled_triples(points, tolerance);
    if (grown.empty()) {
        return std::nullopt;
    }
    const auto best = std::min_element(grown.begin(), grown.end(), better);
    return consensus{best->map, best->agrees, best->count};
}

}  // namespace hdrmill
