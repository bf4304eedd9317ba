#include "scan/tiff_directory.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace hdrmill {

namespace {

// Tags of the first directory.
constexpr std::uint16_t image_width = 256;
constexpr std::uint16_t image_length = 257;
constexpr std::uint16_t bits_per_sample = 258;
constexpr std::uint16_t photometric_tag = 262;
constexpr std::uint16_t samples_per_pixel = 277;
constexpr std::uint16_t colour_map_tag = 320;
constexpr std::uint16_t sample_format_tag = 339;
// More than any field read here can hold: a colour map of 16-bit indices.
constexpr std::uint64_t most_values = 3 * 65536;
// More entries than any real directory has: a damaged count.
constexpr std::uint64_t most_entries = 4096;

class directory_reader {
public:
    directory_reader(const byte_source& source, bool big_endian, bool big_tiff)
        : source_(source), big_endian_(big_endian), big_tiff_(big_tiff) {}

    std::optional<std::uint64_t> number(std::uint64_t offset, std::size_t size) const {
        std::array<std::uint8_t, 8> bytes{};
        if (!source_(offset, size, bytes.data())) {
            return std::nullopt;
        }
        return value_of(bytes.data(), size);
    }

    std::uint64_t value_of(const std::uint8_t* bytes, std::size_t size) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value = value << 8 | bytes[big_endian_ ? i : size - 1 - i];
        }
        return value;
    }

    std::size_t offset_size() const { return big_tiff_ ? 8 : 4; }

    /// The values of the entry at `entry`: BYTE, SHORT or LONG; nothing otherwise.
    std::optional<std::vector<std::uint32_t>> values(std::uint64_t entry) const {
        const auto type = number(entry + 2, 2);
        const auto count = number(entry + 4, offset_size());
        const std::size_t width = !type ? 0 : *type == 1 ? 1 : *type == 3 ? 2 : *type == 4 ? 4 : 0;
        if (width == 0 || !count || *count == 0 || *count > most_values) {
            return std::nullopt;
        }
        std::uint64_t at = entry + 4 + offset_size();
        if (*count * width > offset_size()) {
            const auto pointer = number(at, offset_size());
            if (!pointer) {
                return std::nullopt;
            }
            at = *pointer;
        }
        std::vector<std::uint8_t> bytes(*count * width);
        if (!source_(at, bytes.size(), bytes.data())) {
            return std::nullopt;
        }
        std::vector<std::uint32_t> result(*count);
        for (std::size_t k = 0; k < result.size(); ++k) {
            result[k] = static_cast<std::uint32_t>(value_of(bytes.data() + k * width, width));
        }
        return result;
    }

private:
    const byte_source& source_;
    bool big_endian_;
    bool big_tiff_;
};

void take_field(tiff_fields& fields, std::uint16_t tag, const std::vector<std::uint32_t>& values) {
    switch (tag) {
    case image_width:
        fields.width = values.front();
        return;
    case image_length:
        fields.height = values.front();
        return;
    case photometric_tag:
        fields.photometric = values.front();
        return;
    case bits_per_sample:
        fields.bits = values.front();
        return;
    case samples_per_pixel:
        fields.samples = values.front();
        return;
    case sample_format_tag:
        fields.sample_format = values.front();
        return;
    case colour_map_tag:
        fields.colour_map = values;
        return;
    default:
        return;
    }
}

}  // namespace

std::optional<tiff_fields> parse_tiff_fields(const byte_source& source) {
    std::array<std::uint8_t, 4> head{};
    if (!source(0, head.size(), head.data()) || head[0] != head[1] || (head[0] != 'I' && head[0] != 'M')) {
        return std::nullopt;
    }
    const bool big_endian = head[0] == 'M';
    const directory_reader probe(source, big_endian, false);
    const auto version = probe.value_of(head.data() + 2, 2);
    if (version != 42 && version != 43) {
        return std::nullopt;
    }
    const directory_reader reader(source, big_endian, version == 43);
    const auto directory = reader.number(version == 43 ? 8 : 4, reader.offset_size());
    const std::size_t count_size = version == 43 ? 8 : 2;
    const std::size_t entry_size = version == 43 ? 20 : 12;
    const auto entries = directory ? reader.number(*directory, count_size) : std::nullopt;
    if (!entries || *entries == 0 || *entries > most_entries) {
        return std::nullopt;
    }
    tiff_fields fields;
    for (std::uint64_t k = 0; k < *entries; ++k) {
        const std::uint64_t entry = *directory + count_size + k * entry_size;
        const auto tag = reader.number(entry, 2);
        if (!tag) {
            return std::nullopt;
        }
        const bool wanted = *tag == image_width || *tag == image_length || *tag == photometric_tag || *tag == bits_per_sample || *tag == samples_per_pixel ||
                            *tag == sample_format_tag || *tag == colour_map_tag;
        if (!wanted) {
            continue;
        }
        const auto values = reader.values(entry);
        if (!values) {
            return std::nullopt;
        }
        take_field(fields, static_cast<std::uint16_t>(*tag), *values);
    }
    return fields;
}

std::optional<tiff_fields> read_tiff_fields(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    const byte_source source = [file](std::uint64_t offset, std::size_t size, std::uint8_t* out) {
#ifdef _WIN32
        const bool placed = offset <= INT64_MAX && _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
        const bool placed = offset <= INT64_MAX && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
        return placed && std::fread(out, 1, size, file) == size;
    };
    auto fields = parse_tiff_fields(source);
    std::fclose(file);
    return fields;
}

}  // namespace hdrmill
