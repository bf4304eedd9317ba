#include "kap/kap_file.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace hdrmill {

namespace {

// Large enough that the sink's cost per call vanishes, small enough to stay cheap to hold.
constexpr std::size_t piece_size = std::size_t{1} << 20;

// The most a row's number takes: 32 bits in 7-bit groups.
constexpr std::size_t longest_row_number = 5;

// The file's bytes on their way to the sink, gathered into pieces.
class piece_writer {
public:
    piece_writer(const byte_sink& sink, std::size_t capacity) : sink_(sink), piece_(capacity) {}

    /// The place for up to `bytes` (at most the capacity) more bytes; nothing when
    /// the sink failed. Hand the end of what was written there to `commit`.
    unsigned char* room(std::size_t bytes) {
        if (used_ + bytes > piece_.size() && !send()) {
            return nullptr;
        }
        return piece_.data() + used_;
    }
    void commit(const unsigned char* end) { used_ = static_cast<std::size_t>(end - piece_.data()); }

    bool put(std::string_view bytes) {
        while (!bytes.empty()) {
            if (used_ == piece_.size() && !send()) {
                return false;
            }
            const std::size_t part = std::min(bytes.size(), piece_.size() - used_);
            std::memcpy(piece_.data() + used_, bytes.data(), part);
            used_ += part;
            bytes.remove_prefix(part);
        }
        return true;
    }

    bool put_zeros(std::uint64_t count) {
        while (count > 0) {
            if (used_ == piece_.size() && !send()) {
                return false;
            }
            const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece_.size() - used_));
            std::memset(piece_.data() + used_, 0, part);
            used_ += part;
            count -= part;
        }
        return true;
    }

    /// Hands over what is gathered.
    bool send() {
        if (used_ > 0 && !sink_({reinterpret_cast<const char*>(piece_.data()), used_})) {
            return false;
        }
        sent_ += used_;
        used_ = 0;
        return true;
    }

    /// The file offset of the next byte.
    std::uint64_t offset() const { return sent_ + used_; }

private:
    const byte_sink& sink_;
    std::vector<unsigned char> piece_;
    std::size_t used_ = 0;
    std::uint64_t sent_ = 0;
};

// The smallest d with 2^d > colours: entry 0 can never be used.
unsigned depth_for(std::size_t colours) {
    unsigned depth = 1;
    while ((std::size_t{1} << depth) <= colours) {
        ++depth;
    }
    return depth;
}

unsigned base128_length(std::uint64_t n) {
    unsigned length = 1;
    while ((n >>= 7) != 0) {
        ++length;
    }
    return length;
}

// The row numbers of rows 1..rows together: each row from 128^(k-1) on takes a k-th byte.
std::uint64_t row_number_bytes(std::uint64_t rows) {
    std::uint64_t total = 0;
    for (std::uint64_t first = 1; first <= rows; first *= 128) {
        total += rows - first + 1;
    }
    return total;
}

// The bytes of one run of `pixels` pixels: the count (pixels - 1) has `shift` bits in
// the first byte and 7 in each further one.
unsigned run_length_bytes(std::uint64_t pixels, unsigned shift) {
    const auto bits = static_cast<unsigned>(std::bit_width(pixels - 1));
    return bits <= shift ? 1 : 1 + (bits - shift + 6) / 7;
}

unsigned char* put_row_number(unsigned char* out, std::uint32_t number) {
    for (unsigned k = base128_length(number) - 1; k > 0; --k) {
        *out++ = static_cast<unsigned char>(0x80U | ((number >> (7 * k)) & 0x7FU));
    }
    *out++ = static_cast<unsigned char>(number & 0x7FU);
    return out;
}

// `entry` is the palette entry already in place above the count's bits.
unsigned char* put_run(unsigned char* out, unsigned entry, std::uint64_t count, unsigned shift) {
    if (count < (std::uint64_t{1} << shift)) {
        *out++ = static_cast<unsigned char>(entry | count);
        return out;
    }
    auto extra = (static_cast<unsigned>(std::bit_width(count)) - shift + 6) / 7;
    *out++ = static_cast<unsigned char>(0x80U | entry | (count >> (7 * extra)));
    while (--extra > 0) {
        *out++ = static_cast<unsigned char>(0x80U | ((count >> (7 * extra)) & 0x7FU));
    }
    *out++ = static_cast<unsigned char>(count & 0x7FU);
    return out;
}

// Eight pixels as one number, the first in the lowest byte on every platform.
std::uint64_t eight_pixels(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t reversed = 0;
        for (int i = 0; i < 8; ++i, word >>= 8) {
            reversed = (reversed << 8) | (word & 0xFF);
        }
        word = reversed;
    }
    return word;
}

// The first pixel from `x` on that differs from `value`, or `width`: eight pixels a
// step, as most of a chart lies in long runs.
std::size_t run_end(const std::uint8_t* row, std::size_t x, std::size_t width, std::uint8_t value) {
    const std::uint64_t repeated = std::uint64_t{value} * 0x0101010101010101U;
    for (; x + 8 <= width; x += 8) {
        if (const std::uint64_t differs = eight_pixels(row + x) ^ repeated; differs != 0) {
            return x + static_cast<std::size_t>(std::countr_zero(differs) / 8);
        }
    }
    while (x < width && row[x] == value) {
        ++x;
    }
    return x;
}

// One row: its number, its runs, the closing 0x00. At most width + 6 bytes, as no run
// takes more bytes than it has pixels. Nothing when a pixel is no palette index.
unsigned char* encode_row(const std::uint8_t* row, std::size_t width, std::uint32_t number, unsigned shift,
                          std::size_t colours, unsigned char* out) {
    out = put_row_number(out, number);
    for (std::size_t x = 0; x < width;) {
        const std::uint8_t index = row[x];
        if (index >= colours) {
            return nullptr;
        }
        // A one-pixel run is settled by a single comparison, so that in dithered
        // areas the next run need not wait for the search to finish.
        std::size_t end = x + 1;
        if (end < width && row[end] == index) {
            end = run_end(row, end + 1, width, index);
        }
        out = put_run(out, (index + 1U) << shift, end - x - 1, shift);
        x = end;
    }
    *out++ = 0;
    return out;
}

void append_palette(std::string& out, std::string_view key, const std::vector<colour>& colours) {
    unsigned entry = 1;
    for (const colour& c : colours) {
        out += key;
        out += std::to_string(entry++);
        for (const unsigned channel : {c.r, c.g, c.b}) {
            out += ',';
            out += std::to_string(channel);
        }
        out += "\r\n";
    }
}

// RGB/ is what GDAL reads and what OpenCPN falls back to, so it carries the day colours.
std::string palette_lines(unsigned depth, const chart_palettes& palettes) {
    std::string out = "IFM/";
    out += std::to_string(depth);
    out += "\r\n";
    append_palette(out, "RGB/", palettes.day);
    append_palette(out, "DAY/", palettes.day);
    append_palette(out, "DSK/", palettes.dusk);
    append_palette(out, "NGT/", palettes.night);
    return out;
}

bool fits_contract(std::string_view header_text, std::size_t palettes_at, const chart_palettes& palettes,
                   const scan_image& indexed) {
    const std::size_t colours = palettes.day.size();
    return indexed.type == scan_image::kind::indexed && indexed.width > 0 && indexed.height > 0 &&
           indexed.pixels.size() == std::uint64_t{indexed.width} * indexed.height && colours >= 1 &&
           colours <= kap_most_colours && palettes.dusk.size() == colours && palettes.night.size() == colours &&
           header_text.ends_with("\r\n") && header_text.find('\x1A') == std::string_view::npos &&
           palettes_at <= header_text.size() && (palettes_at == 0 || header_text[palettes_at - 1] == '\n');
}

bool put_big_endian(piece_writer& out, std::uint32_t n) {
    unsigned char* place = out.room(4);
    if (place == nullptr) {
        return false;
    }
    place[0] = static_cast<unsigned char>(n >> 24);
    place[1] = static_cast<unsigned char>(n >> 16);
    place[2] = static_cast<unsigned char>(n >> 8);
    place[3] = static_cast<unsigned char>(n);
    out.commit(place + 4);
    return true;
}

}  // namespace

kap_result write_kap(std::string_view header_text, std::size_t palettes_at, const chart_palettes& palettes,
                     const scan_image& indexed, const byte_sink& sink, std::uint64_t size_limit) {
    if (!fits_contract(header_text, palettes_at, palettes, indexed)) {
        return kap_result::unfit_input;
    }
    const std::size_t colours = palettes.day.size();
    const std::size_t width = indexed.width;
    const std::uint32_t height = indexed.height;
    const unsigned depth = depth_for(colours);
    const unsigned shift = 7 - depth;
    const std::string palette_text = palette_lines(depth, palettes);

    // `size` starts as the least the file can take, every row a single run, and grows
    // by what each row takes beyond that: it reaches the limit as soon as the file is
    // bound to, without a pass over the pixels first.
    const std::uint64_t end_marker_at = header_text.size() + palette_text.size();
    const std::uint64_t padded_size = std::max<std::uint64_t>(2000, 1024 * (end_marker_at / 1024 + 1));
    const std::uint64_t least_row = run_length_bytes(width, shift) + 1;
    std::uint64_t size = end_marker_at + 3 + row_number_bytes(height) + height * (least_row + 4) + 4;
    if (std::max(size, padded_size) >= size_limit) {
        return kap_result::too_large;
    }

    piece_writer out(sink, std::max(piece_size, width + 16));
    const char end_of_header[] = {'\x1A', '\0', static_cast<char>(depth)};
    if (!out.put(header_text.substr(0, palettes_at)) || !out.put(palette_text) ||
        !out.put(header_text.substr(palettes_at)) || !out.put({end_of_header, sizeof end_of_header})) {
        return kap_result::sink_failed;
    }

    std::vector<std::uint32_t> row_offsets;
    row_offsets.reserve(height);
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char* place = out.room(longest_row_number + width + 1);
        if (place == nullptr) {
            return kap_result::sink_failed;
        }
        const unsigned char* end = encode_row(indexed.row(y), width, y + 1, shift, colours, place);
        if (end == nullptr) {
            return kap_result::unfit_input;
        }
        size += static_cast<std::uint64_t>(end - place) - (base128_length(y + 1) + least_row);
        if (size >= size_limit) {
            return kap_result::too_large;
        }
        row_offsets.push_back(static_cast<std::uint32_t>(out.offset()));
        out.commit(end);
    }

    // The padding goes before the index: OpenCPN finds the index from the end of the file.
    if (!out.put_zeros(padded_size > size ? padded_size - size : 0)) {
        return kap_result::sink_failed;
    }
    const auto index_at = static_cast<std::uint32_t>(out.offset());
    for (const std::uint32_t offset : row_offsets) {
        if (!put_big_endian(out, offset)) {
            return kap_result::sink_failed;
        }
    }
    if (!put_big_endian(out, index_at) || !out.send()) {
        return kap_result::sink_failed;
    }
    return kap_result::written;
}

}  // namespace hdrmill
