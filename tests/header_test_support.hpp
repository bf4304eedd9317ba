#pragma once

#include <initializer_list>
#include <string>

#include "calibration/input_buffer.hpp"

namespace hdrmill::testing {

/// A chart record of the given stored lines.
inline input_buffer chart_of(std::initializer_list<std::string> lines) {
    input_buffer record;
    for (const auto& line : lines) {
        record.append_line(line);
    }
    return record;
}

}  // namespace hdrmill::testing
