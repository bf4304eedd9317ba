#include "scan/scan_image.hpp"

#include <cstring>

namespace hdrmill {

void unpack_indices(const std::uint8_t* packed, unsigned bits, std::uint32_t width, std::uint8_t* out) {
    if (bits == 8) {
        std::memcpy(out, packed, width);
        return;
    }
    const unsigned per_byte = 8 / bits;
    const unsigned mask = (1U << bits) - 1;
    for (std::uint32_t x = 0; x < width; ++x) {
        const unsigned shift = 8 - bits * (x % per_byte + 1);
        out[x] = static_cast<std::uint8_t>((packed[x / per_byte] >> shift) & mask);
    }
}

bool reserve_pixels(scan_image& scan) {
    if (scan.row_bytes() == 0 || scan.height > scan.pixels.max_size() / scan.row_bytes()) {
        return false;
    }
    scan.pixels.reserve(scan.row_bytes() * scan.height);
    return true;
}

}  // namespace hdrmill
