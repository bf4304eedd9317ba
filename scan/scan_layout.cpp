#include "scan/scan_layout.hpp"

#include <algorithm>
#include <cstring>

namespace hdrmill {

namespace {

bool starts_with(const file_head& head, const char* signature, std::size_t length) {
    return head.size >= length && std::memcmp(head.bytes.data(), signature, length) == 0;
}

std::uint32_t little_endian(const file_head& head, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) {
        value = value << 8 | head.bytes[at + i];
    }
    return value;
}

scan_layout taken_as(scan_image::kind type) { return {type, {}, {}, 0, 0}; }

scan_layout refused(std::string layout) { return {std::nullopt, {}, std::move(layout), 0, 0}; }

std::string tiff_photometric_name(std::uint32_t photometric) {
    switch (photometric) {
    case 4:
        return "a transparency mask TIFF";
    case 5:
        return "a CMYK TIFF";
    case 8:
    case 9:
    case 10:
        return "a CIELab TIFF";
    default:
        return "a TIFF of photometric interpretation " + std::to_string(photometric);
    }
}

scan_layout grey_tiff_layout(const tiff_fields& fields, bool min_is_white) {
    if (fields.samples > 2) {
        return refused("a grey TIFF of " + std::to_string(fields.samples) + " samples a pixel");
    }
    if (fields.bits > 16) {
        return refused("a grey TIFF of " + std::to_string(fields.bits) + "-bit samples");
    }
    if (fields.bits == 1 || min_is_white) {
        if (fields.bits > 8) {
            return refused("a min-is-white TIFF of " + std::to_string(fields.bits) + "-bit samples");
        }
        return {scan_image::kind::indexed, grey_table(fields.bits, min_is_white), {}, 0, 0};
    }
    return taken_as(scan_image::kind::grey);
}

}  // namespace

std::optional<scan_container> container_of(const file_head& head) {
    if (starts_with(head, "II*\0", 4) || starts_with(head, "MM\0*", 4) || starts_with(head, "II+\0", 4) ||
        starts_with(head, "MM\0+", 4)) {
        return scan_container::tiff;
    }
    if (starts_with(head, "\x89PNG\r\n\x1a\n", 8)) {
        return scan_container::png;
    }
    if (starts_with(head, "\xff\xd8\xff", 3)) {
        return scan_container::jpeg;
    }
    if (starts_with(head, "GIF87a", 6) || starts_with(head, "GIF89a", 6)) {
        return scan_container::gif;
    }
    if (starts_with(head, "BM", 2)) {
        return scan_container::bmp;
    }
    return std::nullopt;
}

namespace {

scan_layout tiff_layout_alone(const tiff_fields& fields);

}  // namespace

scan_layout tiff_layout(const tiff_fields& fields) {
    auto layout = tiff_layout_alone(fields);
    layout.width = fields.width;
    layout.height = fields.height;
    return layout;
}

namespace {

scan_layout tiff_layout_alone(const tiff_fields& fields) {
    if (!fields.photometric || fields.bits == 0 || fields.samples == 0) {
        return refused("a TIFF without its photometric interpretation");
    }
    // Signed bytes are taken as they are stored; no other signed or float samples are.
    if (fields.sample_format != 1 && !(fields.sample_format == 2 && fields.bits == 8)) {
        return refused(fields.sample_format == 3 ? "a TIFF of floating-point samples" : "a TIFF of signed samples");
    }
    switch (*fields.photometric) {
    case 0:
    case 1:
        return grey_tiff_layout(fields, *fields.photometric == 0);
    case 2:
    case 6:
        if (fields.samples < 3) {
            return refused("an RGB TIFF without its three samples");
        }
        if (fields.bits != 8 && fields.bits != 16) {
            return refused("an RGB TIFF of " + std::to_string(fields.bits) + "-bit samples");
        }
        return taken_as(scan_image::kind::colour);
    case 3:
        if (fields.bits > 8 || fields.samples != 1) {
            return refused("a palette TIFF of " + std::to_string(fields.bits) + "-bit indices");
        }
        if (fields.colour_map.size() != std::size_t{3} << fields.bits) {
            return refused("a palette TIFF without its colour map");
        }
        return {scan_image::kind::indexed, colour_map_palette(fields.colour_map, fields.bits), {}, 0, 0};
    default:
        return refused(tiff_photometric_name(*fields.photometric));
    }
}

}  // namespace

scan_layout png_layout(const file_head& head) {
    if (head.size < 26 || std::memcmp(head.bytes.data() + 12, "IHDR", 4) != 0) {
        return refused("a PNG without its header");
    }
    switch (head.bytes[25]) {
    case 0:
    case 4:
        return taken_as(scan_image::kind::grey);
    case 3:
        return taken_as(scan_image::kind::indexed);
    case 2:
    case 6:
        return taken_as(scan_image::kind::colour);
    default:
        return refused("a PNG of colour type " + std::to_string(head.bytes[25]));
    }
}

scan_layout jpeg_layout(unsigned components) {
    if (components == 1) {
        return taken_as(scan_image::kind::grey);
    }
    if (components == 3) {
        return taken_as(scan_image::kind::colour);
    }
    return refused(components == 4 ? "a CMYK JPEG" : "a JPEG of " + std::to_string(components) + " components");
}

scan_layout gif_layout() { return taken_as(scan_image::kind::indexed); }

scan_layout bmp_layout(const file_head& head) {
    if (head.size < 30) {
        return refused("a BMP without its header");
    }
    const std::uint32_t header_size = little_endian(head, 14, 4);
    if (header_size > 64) {
        return refused("a BMP with a version 4 or 5 header");
    }
    const std::uint32_t bits = little_endian(head, header_size == 12 ? 24 : 28, 2);
    return taken_as(bits <= 8 ? scan_image::kind::indexed : scan_image::kind::colour);
}

std::vector<colour> colour_map_palette(const std::vector<std::uint32_t>& map, unsigned bits) {
    const std::size_t entries = std::size_t{1} << bits;
    const bool eight_bit = std::all_of(map.begin(), map.end(), [](std::uint32_t v) { return v < 256; });
    const auto level = [&](std::uint32_t v) {
        return eight_bit ? static_cast<std::uint8_t>(v) : narrow_sample(static_cast<std::uint16_t>(std::min(v, 65535U)));
    };
    std::vector<colour> palette(entries);
    for (std::size_t k = 0; k < entries; ++k) {
        palette[k] = {level(map[k]), level(map[entries + k]), level(map[2 * entries + k])};
    }
    return palette;
}

std::vector<colour> grey_table(unsigned bits, bool min_is_white) {
    const std::uint32_t top = (1U << bits) - 1;
    std::vector<colour> table(top + 1);
    for (std::uint32_t k = 0; k <= top; ++k) {
        const auto l = static_cast<std::uint8_t>((min_is_white ? top - k : k) * 255 / top);
        table[k] = {l, l, l};
    }
    return table;
}

}  // namespace hdrmill
