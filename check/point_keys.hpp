#pragma once

#include <cstddef>
#include <vector>

#include "calibration/input_buffer.hpp"
#include "check/report.hpp"

namespace hdrmill {

/// Warnings for reference and border point keys (Cn, Bn) that the header will not carry
/// as the calibration seems to mean them: a key after a gap in the numbering (C4 when
/// C3 is absent or empty: the header stops at C2), a key that looks like one but is not
/// read (c3, "C3 " before the "=", C03), and a key given twice with different values
/// (the first wins). `reference_count` and `border_count` are the points the header
/// carries.
std::vector<finding> point_key_findings(const input_buffer& record, std::size_t reference_count,
                                        std::size_t border_count);

}  // namespace hdrmill
