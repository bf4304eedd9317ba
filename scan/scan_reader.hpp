#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "scan/scan_image.hpp"
#include "scan/scan_layout.hpp"

namespace hdrmill {

// Reading a scan in two steps, the same on every platform: open, which reads only the
// scan's size and layout and costs next to nothing whatever the file claims; then
// decode, which reads the pixels. Each step either succeeds or says why not, in the
// words that follow "Could not read image PATH: ". Neither writes anything anywhere:
// no message, no side file next to the scan.

/// The most pixels a scan may have: a little more than a 600 dpi scan of an A0 sheet
/// (19,866 x 28,087 pixels, 558 million). Larger scans are refused when opened, before
/// any memory is set aside for them.
inline constexpr std::uint64_t most_scan_pixels = 600'000'000;

/// The platform decoder's hold on an opened scan; each platform defines its own.
struct scan_decoder;

/// A scan file whose size and layout have been read, ready to be decoded.
class opened_scan {
public:
    opened_scan();
    ~opened_scan();
    opened_scan(opened_scan&&) noexcept;
    opened_scan& operator=(opened_scan&&) noexcept;

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    scan_image::kind type = scan_image::kind::colour;
    std::unique_ptr<scan_decoder> decoder;
};

/// What opening gave: the scan, or the reason it cannot be read.
struct scan_opening {
    std::optional<opened_scan> scan;
    std::string refusal;
};

/// What decoding gave: the pixels, or the reason they cannot be read.
struct scan_reading {
    std::optional<scan_image> scan;
    std::string refusal;
};

/// Opens the scan at `path` (TIFF, PNG, JPEG, GIF or BMP) with the platform's decoder.
/// Refused: a name that is no file ("no such file", "not a file"), a file that cannot
/// be opened, another format, a layout a chart is not made from (named, by the rule of
/// scan_layout.hpp), a damaged header, and more pixels than `most_scan_pixels`.
scan_opening open_scan(const std::string& path);

/// Decodes an opened scan; call once. Refused: a damaged file (pixels that cannot be
/// decoded, an index past the palette), a scan that memory cannot hold.
scan_reading decode_scan(opened_scan& scan);

/// True once the platform's decoder is loaded (on Windows, always; on Linux, GDAL is
/// loaded by the first scan that needs it, so that a scan refused by its own fields
/// never loads it). From then on, scans may be opened and decoded on several threads at
/// once, each scan on one thread at a time.
bool scan_decoder_loaded();

/// Opens and decodes at once.
scan_reading read_scan(const std::string& path);

/// The layout of a scan by the file's own fields, read before any decoder opens it: a
/// TIFF's first directory, a PNG's or BMP's header; a GIF is a palette scan. A JPEG's
/// components are known only to its decoder: for a JPEG, neither type nor refusal is
/// set, and neither is for a TIFF whose directory cannot be read (a damaged file).
scan_layout layout_before_decoding(scan_container format, const file_head& head, const std::string& path);

// The reasons both platforms give.
namespace scan_refusal {
inline const char* const no_file = "no such file";
inline const char* const not_a_file = "not a file";
inline const char* const cannot_open = "the file could not be opened";
inline const char* const other_format = "not a TIFF, PNG, JPEG, GIF or BMP file";
inline const char* const damaged = "the file is damaged";
inline const char* const no_memory = "the scan is larger than the memory free to hold it";
/// A layout named by scan_layout, and what is read instead.
std::string layout(const std::string& named);
/// Empty when the size is one a chart is made from; else why not.
std::string size(std::uint64_t width, std::uint64_t height);
}  // namespace scan_refusal

}  // namespace hdrmill
