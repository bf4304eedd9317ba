#pragma once

#include <string_view>

namespace hdrmill {

// The trim set is exactly LF, CR, tab and blank. Vertical tab, form feed, NUL and
// non-breaking blanks are ordinary characters here: calibration files from other
// programs may carry them inside values, and they must survive untouched.

/// `text` without the trim-set characters at its end. A text made only of trim-set
/// characters gives the empty text, so the reader skips such a line exactly like an
/// empty one. The result views the same bytes as `text`.
std::string_view trim_right(std::string_view text);

/// `text` without the trim-set characters at both ends; those inside stay.
/// The result views the same bytes as `text`.
std::string_view trim_both(std::string_view text);

}  // namespace hdrmill
