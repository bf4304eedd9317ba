#include "tests/kap_reader.hpp"

#include <algorithm>

namespace hdrmill {

namespace {

// Why the chart is refused; thrown, as every check ends the reading the same way.
struct refusal {
    std::string why;
};

[[noreturn]] void refuse(std::string why) { throw refusal{std::move(why)}; }

std::string number(std::uint64_t n) { return std::to_string(n); }

// Splits the text before 0x1A into records as OpenCPN reads them.
std::vector<std::string> header_records(std::string_view header) {
    if (!header.ends_with("\r\n")) {
        refuse("the last header line does not end with CR LF before 0x1A");
    }
    std::vector<std::string> records;
    for (std::size_t at = 0; at < header.size();) {
        const std::size_t end = header.find("\r\n", at);
        const std::string_view line = header.substr(at, end - at);
        at = end + 2;
        if (line.find_first_of("\r\n") != std::string_view::npos) {
            refuse("a CR or LF alone in header line \"" + std::string(line) + "\"");
        }
        if (line.empty()) {
            refuse("a blank header line");
        }
        if (line.front() == ' ') {
            if (records.empty()) {
                refuse("a continuation line before any record");
            }
            const std::size_t text = line.find_first_not_of(' ');
            records.back() += ',';
            records.back() += line.substr(text == std::string_view::npos ? line.size() : text);
        } else {
            records.emplace_back(line);
        }
        if (records.back().size() >= 999) {
            refuse("a header record of " + number(records.back().size()) + " characters (GDAL stops at 999)");
        }
    }
    return records;
}

// A decimal number at `at` in `text`, moving `at` past it.
std::uint64_t read_decimal(std::string_view text, std::size_t& at, std::string_view what) {
    const std::size_t start = at;
    std::uint64_t n = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 12) {
        n = n * 10 + static_cast<std::uint64_t>(text[at++] - '0');
    }
    if (at == start || (at < text.size() && text[at] >= '0' && text[at] <= '9')) {
        refuse("no number for " + std::string(what) + " in \"" + std::string(text) + "\"");
    }
    return n;
}

void expect_char(std::string_view text, std::size_t& at, char c) {
    if (at >= text.size() || text[at] != c) {
        refuse(std::string("'") + c + "' missing in \"" + std::string(text) + "\"");
    }
    ++at;
}

void read_raster_size(const std::vector<std::string>& records, kap_chart& chart) {
    for (const std::string& record : records) {
        if (!record.starts_with("BSB/")) {
            continue;
        }
        std::size_t at = record.find("RA=");
        while (at != std::string::npos && at != 4 && record[at - 1] != ',') {
            at = record.find("RA=", at + 1);
        }
        if (at == std::string::npos) {
            break;
        }
        at += 3;
        const std::uint64_t width = read_decimal(record, at, "RA= width");
        expect_char(record, at, ',');
        const std::uint64_t height = read_decimal(record, at, "RA= height");
        if (width == 0 || height == 0 || width > UINT32_MAX || height > UINT32_MAX) {
            refuse("RA= gives no usable raster size: " + record);
        }
        chart.width = static_cast<std::uint32_t>(width);
        chart.height = static_cast<std::uint32_t>(height);
        return;
    }
    refuse("no BSB/ record with RA=");
}

// OpenCPN puts palette line i at slot i as the lines come: numbered 1..N in order.
void read_palettes(const std::vector<std::string>& records, kap_chart& chart) {
    const std::pair<std::string_view, std::vector<colour>*> palettes[] = {
        {"RGB/", &chart.rgb}, {"DAY/", &chart.day}, {"DSK/", &chart.dusk}, {"NGT/", &chart.night}};
    for (const std::string& record : records) {
        for (const auto& [key, palette] : palettes) {
            if (!record.starts_with(key)) {
                continue;
            }
            std::size_t at = 4;
            const std::uint64_t entry = read_decimal(record, at, "the palette entry");
            if (entry != palette->size() + 1) {
                refuse("palette entry out of order or missing before: " + record);
            }
            std::uint64_t channels[3];
            for (std::uint64_t& channel : channels) {
                expect_char(record, at, ',');
                channel = read_decimal(record, at, "a colour channel");
                if (channel > 255) {
                    refuse("a colour channel above 255: " + record);
                }
            }
            if (at != record.size()) {
                refuse("more than r,g,b in palette line: " + record);
            }
            palette->push_back({static_cast<std::uint8_t>(channels[0]), static_cast<std::uint8_t>(channels[1]),
                                static_cast<std::uint8_t>(channels[2])});
        }
    }
    if (chart.rgb.empty()) {
        refuse("no RGB/ palette");
    }
    for (const auto& [key, palette] : palettes) {
        if (!palette->empty() && palette->size() != chart.rgb.size()) {
            refuse(std::string(key) + " has " + number(palette->size()) + " entries, RGB/ has " +
                   number(chart.rgb.size()));
        }
    }
}

std::uint64_t big_endian_at(std::string_view file, std::uint64_t at) {
    std::uint64_t n = 0;
    for (int i = 0; i < 4; ++i) {
        n = n * 256 + static_cast<unsigned char>(file[at + static_cast<std::uint64_t>(i)]);
    }
    return n;
}

// The rows in sequence, each where the index says it starts.
void read_rows(std::string_view file, std::uint64_t rows_at, const std::vector<std::uint64_t>& offsets,
               kap_chart& chart) {
    const unsigned shift = 7 - chart.depth;
    const unsigned entry_mask = ((1U << chart.depth) - 1) << shift;
    const unsigned count_mask = (1U << shift) - 1;
    std::uint64_t at = rows_at;
    const auto next = [&](std::uint32_t row) {
        if (at >= chart.index_at) {
            refuse("row " + number(row) + " runs into the row index");
        }
        return static_cast<unsigned char>(file[at++]);
    };
    chart.pixels.reserve(std::uint64_t{chart.width} * chart.height);
    for (std::uint32_t row = 1; row <= chart.height; ++row) {
        if (offsets[row - 1] != at) {
            refuse("row " + number(row) + " starts at " + number(at) + ", the index says " +
                   number(offsets[row - 1]));
        }
        std::uint64_t row_number = 0;
        unsigned char byte = 0;
        int length = 0;
        do {
            byte = next(row);
            row_number = row_number * 128 + (byte & 0x7FU);
        } while ((byte & 0x80U) != 0 && ++length < 5);
        if (row_number != row) {
            refuse("row " + number(row) + " is numbered " + number(row_number));
        }
        std::uint64_t pixels = 0;
        while ((byte = next(row)) != 0) {
            const unsigned entry = (byte & entry_mask) >> shift;
            std::uint64_t count = byte & count_mask;
            while ((byte & 0x80U) != 0 && count <= chart.width) {
                byte = next(row);
                count = count * 128 + (byte & 0x7FU);
            }
            if (entry == 0 || entry > chart.rgb.size()) {
                refuse("row " + number(row) + " uses palette entry " + number(entry) + " of " +
                       number(chart.rgb.size()));
            }
            if (pixels + count + 1 > chart.width) {
                refuse("row " + number(row) + " is longer than " + number(chart.width) + " pixels");
            }
            chart.pixels.insert(chart.pixels.end(), count + 1, static_cast<std::uint8_t>(entry - 1));
            pixels += count + 1;
        }
        if (pixels != chart.width) {
            refuse("row " + number(row) + " has " + number(pixels) + " pixels, not " + number(chart.width));
        }
    }
    chart.rows_end = at;
}

kap_chart read_chart(std::string_view file) {
    const std::uint64_t size = file.size();
    if (size >= (std::uint64_t{1} << 31)) {
        refuse("2 GiB or larger");
    }
    if (file.substr(0, 998).find("BSB/") == std::string_view::npos) {
        refuse("\"BSB/\" does not start within the first 995 bytes");
    }
    const std::size_t raster_size_at = file.find("RA=");
    if (raster_size_at == std::string_view::npos || raster_size_at + 3 > 1024) {
        refuse("\"RA=\" not within the first 1,024 bytes");
    }
    const std::size_t marker = file.find('\x1A');
    if (marker == std::string_view::npos || marker + 3 > size) {
        refuse("no end of header (0x1A 0x00 and the depth)");
    }
    kap_chart chart;
    chart.records = header_records(file.substr(0, marker));
    read_raster_size(chart.records, chart);
    read_palettes(chart.records, chart);
    if (file[marker + 1] != '\0') {
        refuse("0x1A not followed by 0x00");
    }
    chart.depth = static_cast<unsigned char>(file[marker + 2]);
    if (chart.depth < 1 || chart.depth > 7) {
        refuse("colour depth " + number(chart.depth) + " is not 1..7");
    }
    const std::uint64_t least_size = std::max<std::uint64_t>(2000, 1024 * (marker / 1024 + 1));
    if (size < least_size) {
        refuse(number(size) + " bytes; the header needs a file of at least " + number(least_size));
    }
    if (big_endian_at(file, size - 4) == 0) {
        refuse("the last 4 bytes are zero");
    }

    // OpenCPN takes the index from exactly this place and ignores the final pointer.
    const std::uint64_t index_bytes = 4 * (std::uint64_t{chart.height} + 1);
    if (index_bytes > size - (marker + 3)) {
        refuse("no room for the index of " + number(chart.height) + " rows");
    }
    chart.index_at = size - index_bytes;
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t at = chart.index_at; at < size - 4; at += 4) {
        offsets.push_back(big_endian_at(file, at));
        if (offsets.back() >= size) {
            refuse("row index entry " + number(offsets.size()) + " lies past the end of the file");
        }
        if (offsets.size() > 1 && offsets.back() < offsets[offsets.size() - 2]) {
            refuse("row index entry " + number(offsets.size()) + " goes backwards");
        }
    }
    if (big_endian_at(file, size - 4) != chart.index_at) {
        refuse("the last 4 bytes point to " + number(big_endian_at(file, size - 4)) + ", the index is at " +
               number(chart.index_at));
    }

    read_rows(file, marker + 3, offsets, chart);
    const std::string_view padding = file.substr(chart.rows_end, chart.index_at - chart.rows_end);
    if (padding.find_first_not_of('\0') != std::string_view::npos) {
        refuse("bytes other than zero between the last row and the index");
    }
    return chart;
}

}  // namespace

kap_reading read_kap(std::string_view file) {
    try {
        return {read_chart(file), {}};
    } catch (const refusal& r) {
        return {std::nullopt, r.why};
    }
}

}  // namespace hdrmill
