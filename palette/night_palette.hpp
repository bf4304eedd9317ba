#pragma once

#include <vector>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// The dusk (DSK/) and night (NGT/) palettes of a chart's day palette: as many entries
/// as `day`, in its order, so that every index means the same mark in all three.
///
/// As on the night tables of electronic charts, the paper goes dark and the marks stay
/// dim, rather than the whole chart being dimmed to a grey glare: an entry's brightness
/// at night falls as its day lightness (CIE L*) rises, from the ceiling for black to
/// nearly nothing for white paper. An entry keeps its day hue and saturation (its
/// channels keep their ratios) in proportion to its day chroma, so that red, green and
/// magenta marks stay apart, while near-greys (black strokes with a scanner's cast)
/// become plain grey instead of having their cast magnified.
///
/// "Brightness" is the largest of an entry's three channels: the level the display
/// drives its brightest sub-pixel to. With B the brightness of the brightest day
/// entry, every night entry has a brightness of at most B / 4 and every dusk entry at
/// most B / 2 (rounded down); an entry of day lightness L* has exactly
/// ceiling * (100 - L*) / 100 (rounded down), so of two entries the lighter by day is
/// never the brighter at night.
///
/// Integer arithmetic only: the same palette gives the same bytes everywhere.
std::vector<colour> dusk_palette(const std::vector<colour>& day);
std::vector<colour> night_palette(const std::vector<colour>& day);

}  // namespace hdrmill
