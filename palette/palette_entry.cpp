#include "palette/palette_entry.hpp"

#include <algorithm>

namespace hdrmill {

palette_entry entry_of(colour c) { return {c, to_lab(c)}; }

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

}  // namespace hdrmill
