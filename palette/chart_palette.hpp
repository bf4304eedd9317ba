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
/// - A colour scan of more colours gets as many entries as it needs: about 24 for a
///   typical chart or map, more where small marks of other colours need them, up to
///   `limit`; each the mean colour of the pixels it stands for, so that every ink,
///   tint and small coloured mark keeps its hue and thin strokes stay as dark as
///   printed. A pixel goes to the entry nearest (in CIE L*a*b*) the mean colour of the
///   pixels within its box of 8 levels a channel, or to the entry at least 4 of its 8
///   neighbours share when that colour lies within delta E 12 of it (scanner noise and
///   paper grain then make no stray indices). No dithering. The algorithm:
///   docs/palette.md.
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
/// back). Besides the scan's buffer a colour scan of many colours takes about 1 MB of
/// tables, whatever its size, and 3 bytes for each pixel of a row; the pixels are read
/// twice. The tables are kept for the next colour scan (until the program ends), so that
/// many small scans cost no more than their pixels and colours; scans may be reduced on
/// several threads at once, each with tables of its own.
void reduce_colours(scan_image& scan, std::size_t limit);

}  // namespace hdrmill
