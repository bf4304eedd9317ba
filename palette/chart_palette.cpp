#include "palette/chart_palette.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "palette/choose_inks.hpp"
#include "palette/colour_histogram.hpp"
#include "palette/few_colours.hpp"
#include "palette/grey_levels.hpp"
#include "palette/nearest_entry.hpp"
#include "palette/palette_entry.hpp"
#include "palette/pixel_mapping.hpp"
#include "platform/background_thread.hpp"

namespace hdrmill {
namespace {

// ---- one byte a pixel: indexed and grey scans ----

// The colour each byte value stands for: its palette entry (black past the palette), or
// its grey level (the levels of least error when there are more than `limit`).
std::array<colour, 256> colours_of_values(const scan_image& scan, const std::array<std::uint64_t, 256>& counts,
                                          std::size_t limit) {
    std::size_t present = 0;
    for (const auto c : counts) present += c > 0;
    std::array<colour, 256> colour_of{};
    const bool grey = scan.type == scan_image::kind::grey;
    const std::array<std::uint8_t, 256> shown = grey && present > limit ? grey_levels(counts, limit) : std::array<std::uint8_t, 256>{};
    for (std::size_t v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        if (grey) {
            const std::uint8_t g = present > limit ? shown[v] : level;
            colour_of[v] = {g, g, g};
        } else if (v < scan.palette.size()) {
            colour_of[v] = scan.palette[v];
        }
    }
    return colour_of;
}

// The colours the values used stand for, each once, with their pixels.
std::vector<weighted_colour> used_colours(const std::array<std::uint64_t, 256>& counts,
                                          const std::array<colour, 256>& colour_of) {
    std::vector<weighted_colour> used;
    for (std::size_t v = 0; v < 256; ++v) {
        if (counts[v] == 0) continue;
        const colour c = colour_of[v];
        auto same = std::find_if(used.begin(), used.end(), [&](const weighted_colour& u) { return u.mean == c; });
        if (same == used.end()) {
            used.push_back({c, to_lab(c), 0, {0, 0, 0}});
            same = used.end() - 1;
        }
        same->count += counts[v];
        same->sum[0] += std::uint64_t{c.r} * counts[v];
        same->sum[1] += std::uint64_t{c.g} * counts[v];
        same->sum[2] += std::uint64_t{c.b} * counts[v];
    }
    return used;
}

// Each value's entry: its own colour's when the colours are kept (two colours may share
// an L*a*b* in hundredths), else its nearest.
std::array<std::size_t, 256> entries_of_values(const std::array<std::uint64_t, 256>& counts,
                                               const std::array<colour, 256>& colour_of,
                                               const std::vector<palette_entry>& entries, bool kept) {
    std::array<std::size_t, 256> entry_of_value{};
    const lab_points points(entries);
    for (std::size_t v = 0; v < 256; ++v) {
        if (counts[v] == 0) continue;
        if (kept) {
            const auto same = [&](const palette_entry& e) { return e.c == colour_of[v]; };
            entry_of_value[v] = static_cast<std::size_t>(std::find_if(entries.begin(), entries.end(), same) - entries.begin());
        } else {
            entry_of_value[v] = nearest_of(points, to_lab(colour_of[v])).index;
        }
    }
    return entry_of_value;
}

void reduce_one_byte(scan_image& scan, std::size_t limit) {
    std::array<std::uint64_t, 256> counts{};
    for (const std::uint8_t p : scan.pixels) ++counts[p];
    const std::array<colour, 256> colour_of = colours_of_values(scan, counts, limit);
    const std::vector<weighted_colour> used = used_colours(counts, colour_of);
    const bool kept = used.size() <= limit;
    std::vector<colour> chosen;
    if (kept) {
        for (const auto& u : used) chosen.push_back(u.mean);
    } else {
        chosen = choose_inks(used, limit);
    }
    const std::vector<palette_entry> entries = ordered_entries(chosen);
    const std::array<std::size_t, 256> entry_of_value = entries_of_values(counts, colour_of, entries, kept);
    std::array<bool, 256> reached{};
    for (std::size_t v = 0; v < 256; ++v) reached[entry_of_value[v]] |= counts[v] > 0;
    // Entries no value reaches are dropped.
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

// The tables of a colour scan, kept for the next one (a calibration may list hundreds of
// small scans): their pages are touched once a run, and each scan clears only the boxes
// it met. Scans are reduced on several threads at once: each takes a set no other is
// using and gives it back when done. (No thread_local: Windows' threads free those
// when they end, after the C library may have.)
struct colour_tables {
    colour_histogram histogram;
    box_mapping mapping;
};

class kept_tables {
public:
    std::unique_ptr<colour_tables> take() {
        const std::lock_guard lock(mutex_);
        if (free_.empty()) {
            return std::make_unique<colour_tables>();
        }
        auto tables = std::move(free_.back());
        free_.pop_back();
        return tables;
    }
    void give_back(std::unique_ptr<colour_tables> tables) {
        const std::lock_guard lock(mutex_);
        free_.push_back(std::move(tables));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<colour_tables>> free_;
};

struct borrowed_tables {
    std::unique_ptr<colour_tables> tables;
    borrowed_tables() : tables(kept().take()) {}
    ~borrowed_tables() { kept().give_back(std::move(tables)); }
    borrowed_tables(const borrowed_tables&) = delete;
    borrowed_tables& operator=(const borrowed_tables&) = delete;

    static kept_tables& kept() {
        static kept_tables sets;
        return sets;
    }
};

// A scan of this many pixels or more is counted and mapped in two halves, on two threads
// at once: the thread's start and the half kept aside cost less than a millisecond.
constexpr std::size_t pixels_in_two = 4'000'000;

// The scan's pixels counted into `histogram`: the second half into a histogram of its
// own on another thread, then added (the same totals).
void count_colours(const scan_image& scan, colour_histogram& histogram, bool in_two) {
    const std::uint8_t* p = scan.pixels.data();
    const std::size_t pixels = std::size_t{scan.width} * scan.height;
    histogram.clear();  // of the scan before, also when that one failed half way
    if (!in_two) {
        histogram.add(p, pixels);
        return;
    }
    const borrowed_tables second;
    colour_histogram& other = second.tables->histogram;
    other.clear();
    const std::size_t half = pixels / 2;
    run_both([&] { other.add(p + 3 * half, pixels - half); }, [&] { histogram.add(p, half); });
    histogram.add(other);
}

void reduce_many_colours(scan_image& scan, std::size_t limit) {
    const borrowed_tables borrowed;
    colour_tables& t = *borrowed.tables;
    const std::size_t out = std::size_t{scan.width} * scan.height;
    const bool in_two = out >= pixels_in_two;
    count_colours(scan, t.histogram, in_two);
    const std::vector<weighted_colour> colours = t.histogram.colours();
    const std::vector<palette_entry> entries = ordered_entries(choose_inks(colours, limit));
    map_boxes(t.histogram, colours, entries, t.mapping);
    const std::array<bool, 256> reached = map_pixels(scan, entries, t.mapping, in_two);
    // An entry no pixel reached is dropped, and the indices after it move down.
    std::array<std::uint8_t, 256> renumbered{};
    scan.palette.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        renumbered[i] = static_cast<std::uint8_t>(scan.palette.size());
        if (reached[i]) scan.palette.push_back(entries[i].c);
    }
    std::uint8_t* p = scan.pixels.data();
    if (scan.palette.size() != entries.size()) {
        for (std::size_t i = 0; i < out; ++i) p[i] = renumbered[p[i]];
    }
    scan.pixels.resize(out);
    scan.type = scan_image::kind::indexed;
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
    } else if (!keep_few_colours(scan, limit)) {
        reduce_many_colours(scan, limit);
    }
}

}  // namespace hdrmill
