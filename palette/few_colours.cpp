#include "palette/few_colours.hpp"

#include <array>
#include <cstdint>
#include <vector>

#include "palette/palette_entry.hpp"

namespace hdrmill {
namespace {

// Up to 256 distinct colours and their entries: open addressing, 512 slots.
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

bool gather(const std::vector<std::uint8_t>& pixels, std::size_t limit, small_colour_set& set) {
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

}  // namespace

bool keep_few_colours(scan_image& scan, std::size_t limit) {
    small_colour_set set;
    if (limit > 256 || !gather(scan.pixels, limit, set)) return false;
    std::vector<colour> colours;
    for (const std::uint32_t k : set.keys) {
        if (k != 0) colours.push_back(colour_of_key(k - 1));
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
    scan.pixels.resize(n);
    scan.type = scan_image::kind::indexed;
    return true;
}

}  // namespace hdrmill
