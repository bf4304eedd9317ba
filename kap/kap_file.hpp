#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "scan/scan_image.hpp"

namespace hdrmill {

/// Receives a chart file's bytes in order, in pieces of about 1 MiB (larger only when
/// one row is); gives false when they could not be kept, and then the
/// writing stops. The bytes are only valid during the call: keep no view into them.
using byte_sink = std::function<bool(std::string_view bytes)>;

/// A chart holds 127 colours at most: a run's first byte can never be 0x00, so entry 0
/// is never usable, and 127 is the most that 7 bits of depth leave.
inline constexpr std::size_t kap_most_colours = 127;

/// The chart's colours in its three colour schemes. Entry k of each is the colour of
/// palette index k of the raster. All three have the same count N, 1 <= N <=
/// kap_most_colours.
struct chart_palettes {
    std::vector<colour> day, dusk, night;
};

/// How writing one chart file ended. Only `written` is a whole chart: after any other
/// result the sink has received either nothing or the start of a file, which the
/// caller must discard.
enum class kap_result {
    written,
    too_large,       // the file would reach the size limit: found before anything is sent when even
                     // one run a row would reach it, else as soon as the rows so far and the
                     // least the rest can take reach it (up to the limit may have been sent)
    sink_failed,     // the sink gave false
    unfit_input,     // an input breaks the contract below; found before anything was sent,
                     // except for a pixel index >= N, found when its row is reached
};

/// Files of 2^31 bytes or more are refused: both chart readers hold offsets in a
/// 32-bit int.
inline constexpr std::uint64_t kap_size_limit = std::uint64_t{1} << 31;

/// Writes one BSB/KAP chart file to `sink`, streamed: it holds one piece (about
/// 1 MiB, or width + 16 bytes when a row can be longer) and 4 bytes a row for the
/// row index, never the file.
///
/// `header_text` is the chart's header as the header writer makes it: CR LF lines,
/// the last one ended too, without the byte 0x1A (chart readers end the header at
/// the first one). `palettes_at` is the offset of the start of the line where the
/// palettes go (the "OST/1" line): there the writer inserts "IFM/d" and the palettes
/// RGB/, DAY/ (both the day colours), DSK/ and NGT/, entries 1..N, each line
/// "RGB/i,r,g,b". The header's own rules are the header writer's and are not checked
/// here: RA= gives the raster's width and height, "BSB/" starts within the first 995
/// bytes and RA= lies within the first 1,024, no record reaches 999 characters.
///
/// `indexed` is a scan of kind indexed, width and height at least 1, every pixel an
/// index 0..N-1 into `palettes` (its own `palette` is not used). Index k is written
/// as palette entry k+1. The colour depth d is the smallest with 2^d > N.
///
/// Rows are numbered from 1 and each is one run after another, exactly `width`
/// pixels, however long a run (a run never spans two rows). The file is padded with
/// zeros before the row index up to max(2000, 1024 * (floor(offset of 0x1A / 1024)
/// + 1)) bytes, so that GDAL, which reads in 1,024-byte blocks, and OpenCPN, which
/// reads the first 1,999 bytes, both find the whole header; the last 4 bytes (the
/// index's own offset) are never zero. A file of `size_limit` bytes or more is refused
/// (tests give a smaller limit than the readers' own).
kap_result write_kap(std::string_view header_text, std::size_t palettes_at, const chart_palettes& palettes,
                     const scan_image& indexed, const byte_sink& sink, std::uint64_t size_limit = kap_size_limit);

}  // namespace hdrmill
