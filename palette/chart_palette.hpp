#pragma once

#include <cstddef>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// Turns `scan` into an indexed scan of at most `limit` palette entries, in place: on
/// return `type` is indexed, `pixels` holds width * height indices (one byte each, every
/// one below `palette.size()`), and every palette entry is used by at least one pixel
/// (an empty scan comes back with an empty palette).
///
/// - A scan of `limit` distinct colours or fewer keeps them: every pixel comes back with
///   exactly its colour. For an indexed scan these are the colours of the entries its
///   pixels use (entries of one colour become one entry); a pixel whose index has no
///   palette entry counts as black. A colour scan is found to have more within a few
///   pixels when it is noisy; one of few colours is read twice.
/// - A grey scan of more levels gets the levels (of its own) with the least summed error
///   in levels, and stays grey: at most half a level a pixel for a limit of 128; for
///   127, 129/256 of a level when all 256 levels are equally common.
/// - An indexed scan of more used colours has its entries reduced as a colour scan's
///   colours, weighted by their pixels, and each entry remapped as a whole.
/// - A colour scan gets a palette made for printed charts: one entry for each printed
///   tint and thin ink (the noise around a flat tint, and the blends at the edges
///   between inks, get none of their own, so tints come back flat and runs long), and
///   one for the strokes, as dark as the darkest pixels, however few. A pixel maps as
///   the mean colour of its bin does (the scan's pixels in the same box of 8 levels a
///   channel, 32768 boxes): to its nearest entry in CIE L*a*b*, or, when it is a blend
///   of some ink with the strokes (a thin stroke blurred by the scan), to the strokes if
///   they make up enough of it; it keeps its left neighbour's entry where that is nearly
///   as good. No dithering. Such a palette often has far fewer entries than `limit` (20
///   to 30 for a typical chart), which also makes the chart's runs cheaper to encode.
///
/// The palette runs from light to dark (by L*, then by r, g, b, highest first): index 0
/// is normally the paper. The result depends on the pixels alone: every choice is made
/// in integers, so the same scan gives the same bytes with every compiler and on every
/// platform.
///
/// `limit` is taken as 1..256 (a KAP chart holds 127 at most); `pixels` must hold
/// exactly width * height * bytes_per_pixel() bytes. The buffer is rewritten in place
/// and then shortened without reallocating: its capacity stays as it was, so there is
/// never a second copy of the scan (shrink_to_fit makes one, if the memory is wanted
/// back). Besides the scan's buffer it uses tables of about 6 MB at most, whatever the
/// scan's size (under 1 MB for a chart's few thousand colours), and 3 bytes for each
/// pixel of a row; it reads a colour scan twice.
void reduce_colours(scan_image& scan, std::size_t limit);

}  // namespace hdrmill
