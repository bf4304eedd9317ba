#include "header/template_lines.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "text/integer_text.hpp"

namespace hdrmill {

namespace {

void append_comma_pieces(input_buffer& record, std::string_view pieces) {
    for (std::size_t start = 0; start < pieces.size();) {
        const auto comma = pieces.find(',', start);
        const auto piece = pieces.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (piece.empty()) {
            return;
        }
        record.append_line(piece);
        if (comma == std::string_view::npos) {
            return;
        }
        start = comma + 1;
    }
}

}  // namespace

void write_template_lines(input_buffer& record, header_stream& header) {
    const std::string cr_text = record.lookup_value("CR");
    if (cr_text.empty()) {
        return;
    }
    std::int32_t additional = 1;
    const std::string_view text(cr_text);
    for (std::size_t start = 0; start <= text.size();) {
        auto end = text.find_first_of("\t\r\n", start);
        end = end == std::string_view::npos ? text.size() : end;
        const auto piece = text.substr(start, end - start);
        start = end + 1;

        if (piece.substr(0, 6) != "BSBHDR") {
            header << "! " << piece;
            header.end_line();
            continue;
        }
        auto directive = piece.substr(6);
        directive.remove_prefix(std::min(directive.find_first_not_of(' '), directive.size()));
        if (directive.empty()) {
            continue;
        }
        const auto tag = directive.substr(0, 4);
        if (tag == "KNP/" || tag == "BSB/") {
            append_comma_pieces(record, directive.substr(4));
        } else {
            record.append_line(numbered_key("ADD", additional) + "=" + std::string(directive));
            // Saturates instead of overflowing; no memory holds that many directives anyway.
            additional += additional < std::numeric_limits<std::int32_t>::max() ? 1 : 0;
        }
    }
}

}  // namespace hdrmill
