#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scan/scan_layout.hpp"

namespace hdrmill {

/// Reads `size` bytes at `offset` of a file into `out`; false when they are not there.
using byte_source = std::function<bool(std::uint64_t offset, std::size_t size, std::uint8_t* out)>;

/// The fields scan_layout decides a TIFF by, read from the file's first directory by
/// this program itself, so that every platform decides from the same values, and
/// decides even where a platform's decoder cannot open the image. Classic TIFF and
/// BigTIFF, either byte order. Nothing when the header or the directory cannot be
/// read: a damaged file.
std::optional<tiff_fields> parse_tiff_fields(const byte_source& source);

/// The same from the file at `path` (its name as the C library takes it).
std::optional<tiff_fields> read_tiff_fields(const std::string& path);

}  // namespace hdrmill
