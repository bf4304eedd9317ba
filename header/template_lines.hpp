#pragma once

#include "calibration/input_buffer.hpp"
#include "header/header_stream.hpp"

namespace hdrmill {

/// Turns the chart's CR text into header content. The text is cut at every tab, CR
/// and LF into pieces (not trimmed; two separators in a row give an empty piece).
/// A piece beginning with "BSBHDR" is a template line: after the tag and the blanks
/// that follow it, "KNP/" or "BSB/" appends each comma piece of the rest to the record
/// as a stored line, up to the first empty piece; any other directive is appended as
/// ADD1=..., ADD2=..., numbered from 1 for each chart; a template line with no
/// directive yields nothing. Every other piece is written as "! " and the piece.
///
/// Appended lines stand behind the chart's own, so they only supply keys the chart
/// itself lacks.
void write_template_lines(input_buffer& record, header_stream& header);

}  // namespace hdrmill
