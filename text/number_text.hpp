#pragma once

#include <cstdint>
#include <optional>
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

// The strict forms, for text that must be a number and nothing else: the -t tolerance,
// WI and HE, and every field the check looks at. Blanks and tabs around the text are
// allowed; a "+" sign is allowed wherever a "-" is, as `read_number` allows it, so
// "+100" is a number everywhere or nowhere.

/// `text`, all of it, as a finite number in the form `read_number` reads (sign,
/// digits, ".", exponent); nothing when anything else is in it, when it is empty, or
/// when it is infinite or NaN ("inf", "nan", "1e400").
std::optional<double> read_exact_number(std::string_view text);

/// The whole of `text` as a count: an optional "+" and decimal digits only, at most
/// 2147483647 (what chart readers hold in an int); nothing otherwise. "3e3" and
/// "3000.0" are numbers but no counts: a reader taking the digits would see 3 or 3000.
std::optional<std::int32_t> read_count(std::string_view text);

}  // namespace hdrmill
