#include "scan/native_rows.hpp"

#include <algorithm>
#include <array>

#include "scan/scan_image.hpp"

namespace hdrmill {

namespace {

using layout_class::indices, layout_class::levels, layout_class::samples, layout_class::packed;

// In the order of native_format.
const native_layout layouts[] = {
    {indices, 1, 1, 0, 0, 0},  {indices, 2, 1, 0, 0, 0},  {indices, 4, 1, 0, 0, 0},  {indices, 8, 1, 0, 0, 0},
    {levels, 1, 1, 0, 0, 0},   {levels, 2, 1, 0, 0, 0},   {levels, 4, 1, 0, 0, 0},   {levels, 8, 1, 0, 0, 0},
    {levels, 16, 1, 0, 0, 0},
    {samples, 8, 3, 2, 1, 0},  {samples, 8, 3, 0, 1, 2},  {samples, 8, 4, 2, 1, 0},  {samples, 8, 4, 2, 1, 0},
    {samples, 8, 4, 2, 1, 0},  {samples, 8, 4, 0, 1, 2},  {samples, 8, 4, 0, 1, 2},  {samples, 8, 4, 0, 1, 2},
    {samples, 16, 3, 0, 1, 2}, {samples, 16, 3, 2, 1, 0}, {samples, 16, 4, 0, 1, 2}, {samples, 16, 4, 0, 1, 2},
    {samples, 16, 4, 0, 1, 2}, {samples, 16, 4, 2, 1, 0}, {samples, 16, 4, 2, 1, 0},
    {packed, 16, 1, 10, 5, 0}, {packed, 16, 1, 11, 5, 0},
};
static_assert(std::size(layouts) == static_cast<std::size_t>(native_format::bgr565) + 1);

using level_table = std::array<std::uint8_t, 256>;

/// The 8-bit level of each value of `bits` bits (1 to 8).
const level_table& levels_of(unsigned bits) {
    static const std::array<level_table, 9> tables = [] {
        std::array<level_table, 9> made{};
        for (unsigned b = 1; b < made.size(); ++b) {
            for (std::uint32_t v = 0; v < 256; ++v) {
                made[b][v] = level_of_sample(v, b);
            }
        }
        return made;
    }();
    return tables[bits];
}

std::uint16_t word_at(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

void plain_levels(const native_layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint8_t* out) {
    if (layout.bits == 16) {
        for (std::uint32_t x = 0; x < width; ++x) {
            out[x] = narrow_sample(word_at(row + 2 * std::size_t{x}));
        }
        return;
    }
    unpack_indices(row, layout.bits, width, out);
    if (layout.bits != 8) {
        const level_table& table = levels_of(layout.bits);
        std::transform(out, out + width, out, [&](std::uint8_t v) { return table[v]; });
    }
}

void plain_samples(const native_layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint8_t* out) {
    if (layout.bits == 8) {
        for (std::uint32_t x = 0; x < width; ++x, row += layout.samples, out += 3) {
            out[0] = row[layout.r];
            out[1] = row[layout.g];
            out[2] = row[layout.b];
        }
        return;
    }
    for (std::uint32_t x = 0; x < width; ++x, row += 2 * layout.samples, out += 3) {
        out[0] = narrow_sample(word_at(row + 2 * layout.r));
        out[1] = narrow_sample(word_at(row + 2 * layout.g));
        out[2] = narrow_sample(word_at(row + 2 * layout.b));
    }
}

void plain_packed(const native_layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint8_t* out) {
    const unsigned green_bits = layout.r - layout.g;
    const level_table& five = levels_of(5);
    const level_table& green = levels_of(green_bits);
    for (std::uint32_t x = 0; x < width; ++x, row += 2, out += 3) {
        const unsigned v = word_at(row);
        out[0] = five[(v >> layout.r) & 31U];
        out[1] = green[(v >> layout.g) & ((1U << green_bits) - 1)];
        out[2] = five[v & 31U];
    }
}

}  // namespace

const native_layout& layout_of(native_format format) { return layouts[static_cast<std::size_t>(format)]; }

std::size_t bits_a_pixel(const native_layout& layout) {
    return layout.type == layout_class::samples ? std::size_t{layout.bits} * layout.samples : layout.bits;
}

bool one_byte_a_pixel(layout_class type) { return type == layout_class::indices || type == layout_class::levels; }

void plain_row(const native_layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint8_t* out) {
    switch (layout.type) {
    case layout_class::indices:
        unpack_indices(row, layout.bits, width, out);
        return;
    case layout_class::levels:
        plain_levels(layout, row, width, out);
        return;
    case layout_class::samples:
        plain_samples(layout, row, width, out);
        return;
    case layout_class::packed:
        break;
    }
    plain_packed(layout, row, width, out);
}

}  // namespace hdrmill
