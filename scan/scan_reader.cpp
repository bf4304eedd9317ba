#include "scan/scan_reader.hpp"

#include <utility>

#include "scan/tiff_directory.hpp"

namespace hdrmill {

namespace {

// 600000000 as 600,000,000: the messages print counts as the README does.
std::string grouped(std::uint64_t n) {
    const auto digits = std::to_string(n);
    std::string text;
    for (std::size_t at = 0; at < digits.size(); ++at) {
        if (at > 0 && (digits.size() - at) % 3 == 0) {
            text += ',';
        }
        text += digits[at];
    }
    return text;
}

}  // namespace

scan_reading read_scan(const std::string& path) {
    auto opening = open_scan(path);
    if (!opening.scan) {
        return {std::nullopt, std::move(opening.refusal)};
    }
    return decode_scan(*opening.scan);
}

scan_layout layout_before_decoding(scan_container format, const file_head& head, const std::string& path) {
    switch (format) {
    case scan_container::tiff: {
        const auto fields = read_tiff_fields(path);
        return fields ? tiff_layout(*fields) : scan_layout{};
    }
    case scan_container::png:
        return png_layout(head);
    case scan_container::gif:
        return gif_layout();
    case scan_container::bmp:
        return bmp_layout(head);
    case scan_container::jpeg:
        break;
    }
    return {};
}

namespace scan_refusal {

std::string layout(const std::string& named) {
    return named + ", a layout not read (palette, grey and RGB scans are)";
}

std::string size(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) {
        return damaged;
    }
    if (width > most_scan_pixels / height) {
        return grouped(width) + " x " + grouped(height) + " pixels, more than the " + grouped(most_scan_pixels) +
               " a chart is made from";
    }
    return {};
}

}  // namespace scan_refusal

}  // namespace hdrmill
