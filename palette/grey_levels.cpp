#include "palette/grey_levels.hpp"

#include <algorithm>
#include <vector>

namespace hdrmill {

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

}  // namespace hdrmill
