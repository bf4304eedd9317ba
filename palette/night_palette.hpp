#pragma once

#include <vector>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// The dusk (DSK/) and night (NGT/) palettes of a chart's day palette: as many entries
/// as `day`, in its order, so that every index means the same mark in all three.
///
/// As on the night tables of electronic charts, the paper goes dark and the marks stay
/// dim, rather than the whole chart being dimmed to a grey glare. The whole allowed
/// range is used: the lightest day entry (the paper) goes to 0, the darkest (the
/// strokes) to the ceiling, and an entry between them in proportion to its day
/// lightness (CIE L*) between theirs. An entry keeps its day hue and saturation (its
/// channels keep their ratios) in proportion to its day chroma, up to C* 30, so that
/// red, green, blue, yellow and magenta marks stay apart, while near-greys (black
/// strokes with a scanner's cast) become plain grey instead of having their cast
/// magnified.
///
/// "Brightness" is the largest of an entry's three channels: the level the display
/// drives its brightest sub-pixel to. With B the brightness of the brightest day
/// entry, the ceiling is B / 4 at night and B / 2 at dusk (rounded down): no entry is
/// brighter. An entry of day lightness L has brightness
/// ceiling * (lightest - L) / (lightest - darkest) (rounded down), so of two entries
/// the lighter by day is never the brighter at night. A palette of one lightness goes
/// to 0 if it is lighter than L* 50, else to the ceiling.
///
/// Integer arithmetic only: the same palette gives the same bytes everywhere.
std::vector<colour> dusk_palette(const std::vector<colour>& day);
std::vector<colour> night_palette(const std::vector<colour>& day);

}  // namespace hdrmill
