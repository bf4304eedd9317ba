#pragma once

#include <initializer_list>
#include <string>

#include "calibration/input_buffer.hpp"
#include "header/header_stream.hpp"

namespace hdrmill::testing {

/// A chart record of the given stored lines.
inline input_buffer chart_of(std::initializer_list<std::string> lines) {
    input_buffer record;
    for (const auto& line : lines) {
        record.append_line(line);
    }
    return record;
}

/// A header stream that keeps what it is given, CR LF included.
struct memory_header {
    std::string bytes;
    header_stream stream{[this](std::string_view line) {
        bytes.append(line);
        return true;
    }};
};

}  // namespace hdrmill::testing
