#pragma once

#include "calibration/input_buffer.hpp"
#include "header/header_stream.hpp"

namespace hdrmill {

/// Writes "OST/1", one REF record per reference point C1, C2, ..., the CPH record,
/// one PLY record per border point B1, B2, ... and the DTM record. Both point lists
/// end at the first absent or empty key. From "OST/1" on, reals go out with 9
/// significant digits. Longitudes above 180 are brought back by 360, once.
void write_reference_records(const input_buffer& record, header_stream& header);

}  // namespace hdrmill
