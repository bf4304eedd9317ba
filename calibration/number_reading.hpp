#pragma once

#include <string_view>

namespace hdrmill {

/// Reads the number at the start of `text` the way C's strtod does in the classic
/// "C" locale, whatever locale the process runs in: white space (blank, tab, LF, CR,
/// vertical tab, form feed) is skipped, then an optional sign, decimal digits with an
/// optional "." and an optional exponent are read as far as they form a number, and
/// whatever follows is ignored. "inf", "infinity" and "nan" (any letter case) read as
/// infinity and NaN. Text that does not begin with a number reads as 0.0, never as a
/// failure. A number beyond the range of a double reads as an infinity of its sign, one
/// too small to represent as 0 of its sign. Hexadecimal forms are not numbers here:
/// "0x1A" reads its leading 0 only.
double read_number(std::string_view text);

}  // namespace hdrmill
