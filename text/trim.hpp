#pragma once

#include <string>

namespace hdrmill {

// The trim set is exactly LF, CR, tab and blank. Vertical tab, form feed, NUL and
// non-breaking blanks are ordinary characters here: calibration files from other
// programs may carry them inside values, and they must survive untouched.

/// Removes trim-set characters from the end of `text`, in place, and returns it.
/// A text made only of trim-set characters becomes empty, so the reader skips such a
/// line exactly like an empty one.
std::string& trim_right(std::string& text);

/// Removes trim-set characters from both ends of `text`, in place, and returns it.
/// Trim-set characters inside the text stay.
std::string& trim_both(std::string& text);

}  // namespace hdrmill
