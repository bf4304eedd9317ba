#include "palette/pixel_mapping.hpp"

#include <bit>
#include <cstddef>
#include <cstring>
#include <new>

#include "palette/nearest_entry.hpp"
#include "platform/background_thread.hpp"

namespace hdrmill {
namespace {

// A pixel this near (hundredths of delta E) the entry most of its neighbours have takes
// it: a paper grain or a tint's noise is nearer, a printed mark on that tint farther.
constexpr std::int64_t neighbour_reach = 1200;

// A pixel's neighbours agree on an entry when at least this many of the 8 have it.
// Half, not more: along the edge of a tint a noisy pixel has the tint on one side.
constexpr unsigned agreeing = 4;

constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL, ones = 0x0101010101010101ULL;

// 1 in each byte where `a` and `b` have equal bytes, 0 in the others: the bytes of a ^ b
// that are zero, found without a branch or a carry from one byte into the next.
std::uint64_t equal_bytes(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t t = a ^ b;
    return (~(((t & low7) + low7) | t | low7)) >> 7;
}

// How many of the 8 bytes of `n` are `v` (one multiply adds the bytes up into the top one).
unsigned count_of(std::uint64_t n, std::uint8_t v) {
    return static_cast<unsigned>((equal_bytes(n, ones * v) * ones) >> 56);
}

std::uint64_t eight_bytes(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// The entry at least `agreeing` of the 8 neighbours in `n` share (one a byte), the first
// met (two can tie at 4 of 8), or 256 when none. Such an entry is among the first five.
unsigned majority_of(std::uint64_t n) {
    for (unsigned i = 0; i + agreeing <= 8; ++i) {
        const auto v = static_cast<std::uint8_t>(n >> (8 * i));
        if (count_of(n, v) >= agreeing) return v;
    }
    return 256;
}

// The same for `present` (fewer than 8) neighbours, at the scan's edge.
unsigned majority_of(const std::uint8_t* n, unsigned present) {
    for (unsigned i = 0; i + agreeing <= present; ++i) {
        unsigned same = 0;
        for (unsigned j = i; j < present; ++j) same += n[j] == n[i];
        if (same >= agreeing) return n[i];
    }
    return 256;
}

struct row_mapper {
    std::uint8_t* pixels;  // the colours, read
    std::uint8_t* indices; // row y's at indices + (y - first) * width
    std::uint32_t first;   // the first row of the band mapped
    std::uint32_t width, height;
    const std::vector<palette_entry>& entries;
    const box_mapping& mapping;
    std::vector<std::uint8_t> ring;  // the boxes' entries of 3 rows, by row % 3
    std::array<bool, 256> reached{};

    std::uint8_t* raw(std::uint32_t y) { return ring.data() + std::size_t{y % 3} * width; }

    void map_row(std::uint32_t y) {
        const std::uint8_t* p = pixels + std::size_t{y} * width * 3;
        std::uint8_t* to = raw(y);
        for (std::uint32_t x = 0; x < width; ++x, p += 3) to[x] = mapping.entry[colour_histogram::box_of(p)];
    }

    // Pixel x of row y, whose box's entry is `own`, when its neighbours agree on `most`
    // (256 when they do not).
    std::uint8_t settled(std::uint32_t y, std::uint32_t x, std::uint8_t own, unsigned most) {
        if (most == 256 || most == own) return own;
        const std::uint8_t* p = pixels + (std::size_t{y} * width + x) * 3;
        const lab_colour& lab = mapping.lab[colour_histogram::box_of(p)];
        return distance_squared(lab, entries[most].lab) <= neighbour_reach * neighbour_reach ? static_cast<std::uint8_t>(most)
                                                                                            : own;
    }

    // Any pixel, its neighbours looked for inside the scan.
    std::uint8_t at_edge(std::uint32_t y, std::uint32_t x) {
        std::uint8_t n[8];
        unsigned present = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            const std::int64_t ny = std::int64_t{y} + dy;
            if (ny < 0 || ny >= height) continue;
            const std::uint8_t* row = raw(static_cast<std::uint32_t>(ny));
            for (int dx = -1; dx <= 1; ++dx) {
                const std::int64_t nx = std::int64_t{x} + dx;
                if ((dx == 0 && dy == 0) || nx < 0 || nx >= width) continue;
                n[present++] = row[nx];
            }
        }
        return settled(y, x, raw(y)[x], majority_of(n, present));
    }

    // The neighbours of pixel x of an inner row, not at either end: in order, one a byte
    // from the lowest.
    static std::uint64_t neighbours(std::uint32_t x, const std::uint8_t* up, const std::uint8_t* mid,
                                    const std::uint8_t* down) {
        return std::uint64_t{up[x - 1]} | std::uint64_t{up[x]} << 8 | std::uint64_t{up[x + 1]} << 16 |
               std::uint64_t{mid[x - 1]} << 24 | std::uint64_t{mid[x + 1]} << 32 | std::uint64_t{down[x - 1]} << 40 |
               std::uint64_t{down[x]} << 48 | std::uint64_t{down[x + 1]} << 56;
    }

    // Pixel x of an inner row, not at either end.
    std::uint8_t inner(std::uint32_t y, std::uint32_t x, const std::uint8_t* up, const std::uint8_t* mid,
                       const std::uint8_t* down) {
        const std::uint64_t n = neighbours(x, up, mid, down);
        const std::uint8_t own = mid[x];
        return count_of(n, own) >= agreeing ? own : settled(y, x, own, majority_of(n));
    }

    // Row y into bytes y * width on, over colours already read: the bytes written for
    // pixel x lie below its colour (at 3 * (y * width + x)), eight at once from x too on
    // an inner row (y * width + x + 7 < 3 * (y * width + x) there).
    void settle_row(std::uint32_t y) {
        std::uint8_t* out = indices + std::size_t{y - first} * width;
        if (y == 0 || y + 1 == height) {
            for (std::uint32_t x = 0; x < width; ++x) mark(out[x] = at_edge(y, x));
            return;
        }
        const std::uint8_t *up = raw(y - 1), *mid = raw(y), *down = raw(y + 1);
        mark(out[0] = at_edge(y, 0));
        std::uint32_t x = 1;
        for (; x + 9 <= width; x += 8) {
            // Each byte of `kept` says whether that pixel's neighbours agree with it.
            std::uint8_t kept[8];
            const std::uint64_t agree = agreeing_eight(up, mid, down, x);
            std::memcpy(out + x, mid + x, 8);
            if (agree == ones * 0x80) {  // all eight keep theirs: most of a chart
                const std::uint64_t own = eight_bytes(mid + x);
                if (own == ones * mid[x]) {
                    mark(mid[x]);
                } else {
                    for (std::uint32_t i = 0; i < 8; ++i) mark(mid[x + i]);
                }
                continue;
            }
            std::memcpy(kept, &agree, 8);
            unsigned looked_at = 0;  // bit i: pixel x + i, its neighbours disagree with it
            for (unsigned i = 0; i < 8; ++i) looked_at |= unsigned{kept[i] == 0} << i;
            for (; looked_at != 0; looked_at &= looked_at - 1) {
                const auto i = static_cast<std::uint32_t>(std::countr_zero(looked_at));
                // Known to disagree: its own entry is not counted again.
                out[x + i] = settled(y, x + i, mid[x + i], majority_of(neighbours(x + i, up, mid, down)));
            }
            for (std::uint32_t i = 0; i < 8; ++i) mark(out[x + i]);
        }
        for (; x + 1 < width; ++x) mark(out[x] = inner(y, x, up, mid, down));
        if (width > 1) mark(out[width - 1] = at_edge(y, width - 1));
    }

    // Pixels x to x + 7 of an inner row (bytes x - 1 to x + 8 of the three rows are
    // inside them) at once, each in its own byte: 0x80 where at least `agreeing` of its
    // neighbours have its entry (it keeps it: most of a chart), 0 where not. Memory order
    // throughout, so that byte i is pixel x + i whatever the machine's byte order.
    static std::uint64_t agreeing_eight(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down,
                                        std::uint32_t x) {
        const std::uint64_t own = eight_bytes(mid + x);
        std::uint64_t same = equal_bytes(eight_bytes(mid + x - 1), own) + equal_bytes(eight_bytes(mid + x + 1), own);
        for (const std::uint8_t* row : {up, down}) {
            same += equal_bytes(eight_bytes(row + x - 1), own) + equal_bytes(eight_bytes(row + x), own) +
                    equal_bytes(eight_bytes(row + x + 1), own);
        }
        // Each byte of `same` is 0 to 8: adding 128 - agreeing sets its top bit from
        // `agreeing` on, and carries into no other byte.
        return (same + ones * (128 - agreeing)) & (ones * 0x80);
    }

    void mark(std::uint8_t entry) { reached[entry] = true; }
};

}  // namespace

void map_boxes(const colour_histogram& histogram, const std::vector<weighted_colour>& colours,
               const std::vector<palette_entry>& entries, box_mapping& mapping) {
    const lab_points points(entries);
    const std::vector<std::uint32_t>& boxes = histogram.boxes_met();
    for (std::size_t i = 0; i < colours.size(); ++i) {
        mapping.lab[boxes[i]] = colours[i].lab;
        mapping.entry[boxes[i]] = static_cast<std::uint8_t>(nearest_of(points, colours[i].lab).index);
    }
}

namespace {

// Rows first to last - 1 into `out`, their neighbours from the rows around them.
std::array<bool, 256> map_band(scan_image& scan, const std::vector<palette_entry>& entries, const box_mapping& mapping,
                               std::uint32_t first, std::uint32_t last, std::uint8_t* out) {
    row_mapper mapper{scan.pixels.data(), out, first, scan.width, scan.height, entries, mapping, {}, {}};
    mapper.ring.resize(std::size_t{scan.width} * 3);
    if (first > 0) mapper.map_row(first - 1);
    mapper.map_row(first);
    for (std::uint32_t y = first; y < last; ++y) {
        if (y + 1 < scan.height) mapper.map_row(y + 1);
        mapper.settle_row(y);
    }
    return mapper.reached;
}

}  // namespace

std::array<bool, 256> map_pixels(scan_image& scan, const std::vector<palette_entry>& entries,
                                 const box_mapping& mapping, bool in_two) {
    if (scan.width == 0 || scan.height == 0) return {};
    std::uint8_t* pixels = scan.pixels.data();
    if (!in_two || scan.height < 4) return map_band(scan, entries, mapping, 0, scan.height, pixels);
    // The upper half is written in place, below colours it has read already; the lower
    // half's colours lie where those indices go, so it is written aside until both are done.
    const std::uint32_t half = scan.height / 2;
    std::vector<std::uint8_t> lower;
    try {
        lower.resize(std::size_t{scan.height - half} * scan.width);
    } catch (const std::bad_alloc&) {
        return map_band(scan, entries, mapping, 0, scan.height, pixels);  // no room for it: one band
    }
    std::array<bool, 256> upper_reached{}, lower_reached{};
    run_both([&] { lower_reached = map_band(scan, entries, mapping, half, scan.height, lower.data()); },
             [&] { upper_reached = map_band(scan, entries, mapping, 0, half, pixels); });
    std::memcpy(pixels + std::size_t{half} * scan.width, lower.data(), lower.size());
    for (std::size_t i = 0; i < upper_reached.size(); ++i) upper_reached[i] = upper_reached[i] || lower_reached[i];
    return upper_reached;
}

}  // namespace hdrmill
