// The Linux decoder: GDAL, held to the five scan formats, silent, and reading the scan
// a few strips at a time straight into the compact buffer. The layout is decided from
// the file's own fields (layout_before_decoding: a TIFF's directory, the first bytes of
// the others; a JPEG's components as GDAL counts them), never from GDAL's colour
// interpretation, which a TIFF's GDAL metadata tag can overrule.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "scan/gdal_library.hpp"
#include "scan/scan_layout.hpp"
#include "scan/scan_reader.hpp"

namespace hdrmill {

namespace {

// Set by the first thread that loads the library, read by every thread that reads a scan.
std::atomic<const gdal_library*> loaded{nullptr};

// The loaded library; open_scan has made sure it is.
const gdal_library& gdal() { return *loaded.load(); }

// Made once, before GDAL's first open. Only the drivers of the five formats are
// registered (BIGGIF is the GIF driver's own way with very large GIFs), so nothing
// else is even tried and no plugin is loaded. The settings come after: the first
// registration reads GDAL's configuration files (gdalrc), whose options would
// otherwise overrule them, as the user's environment would. They are: no .aux.xml
// read or written beside the scan, no listing of the scan's folder in search of world
// files, overviews or masks; and what a damaged file gives is an error, never black or
// grey rows: a damaged strip or tile, a damaged JPEG stream. The TIFF reader takes
// each file as it is, not through its RGBA interface or mapped memory.
void start_gdal() {
    static const bool started = [] {
        gdal().GDALRegister_GTiff();
        gdal().GDALRegister_PNG();
        gdal().GDALRegister_JPEG();
        gdal().GDALRegister_GIF();
        gdal().GDALRegister_BIGGIF();
        gdal().GDALRegister_BMP();
        const char* const options[][2] = {
            {"GDAL_PAM_ENABLED", "NO"},
            {"GDAL_DISABLE_READDIR_ON_OPEN", "EMPTY_DIR"},
            {"GDAL_ERROR_ON_LIBJPEG_WARNING", "TRUE"},
            {"GTIFF_IGNORE_READ_ERRORS", "NO"},
            {"GTIFF_FORCE_RGBA", "NO"},
            {"GTIFF_DIRECT_IO", "NO"},
            {"GTIFF_VIRTUAL_MEM_IO", "NO"},
            {"CONVERT_YCBCR_TO_RGB", "YES"},
            {"GDAL_JPEG_TO_RGB", "YES"},
        };
        for (const auto& option : options) {
            gdal().CPLSetConfigOption(option[0], option[1]);
        }
        return true;
    }();
    static_cast<void>(started);
}

/// The drivers that read each format.
const char* const* drivers_of(scan_container format) {
    static const char* const tiff[] = {"GTiff", nullptr};
    static const char* const png[] = {"PNG", nullptr};
    static const char* const jpeg[] = {"JPEG", nullptr};
    static const char* const gif[] = {"GIF", "BIGGIF", nullptr};
    static const char* const bmp[] = {"BMP", nullptr};
    switch (format) {
    case scan_container::tiff:
        return tiff;
    case scan_container::png:
        return png;
    case scan_container::jpeg:
        return jpeg;
    case scan_container::gif:
        return gif;
    case scan_container::bmp:
        break;
    }
    return bmp;
}

/// While it lives, GDAL's messages (its drivers' and libtiff's, libpng's, libjpeg's)
/// go nowhere; a failure still shows in the result of the call that met it.
class quiet_errors {
public:
    quiet_errors() { gdal().CPLPushErrorHandler(gdal().CPLQuietErrorHandler); }
    ~quiet_errors() { gdal().CPLPopErrorHandler(); }
    quiet_errors(const quiet_errors&) = delete;
    quiet_errors& operator=(const quiet_errors&) = delete;
};

struct dataset_closer {
    void operator()(void* dataset) const { gdal().GDALClose(dataset); }
};
using dataset_handle = std::unique_ptr<void, dataset_closer>;

/// The first bytes of the file; nothing when it cannot be opened.
std::optional<file_head> read_head(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    file_head head;
    head.size = std::fread(head.bytes.data(), 1, head.bytes.size(), file);
    std::fclose(file);
    return head;
}

/// The 8-bit level of every sample value of `bits` bits.
std::vector<std::uint8_t> sample_levels(unsigned bits) {
    std::vector<std::uint8_t> levels(bits <= 8 ? 256 : 65536);
    for (std::uint32_t v = 0; v < levels.size(); ++v) {
        levels[v] = level_of_sample(v, bits);
    }
    return levels;
}

/// The bits of band 1's samples: GDAL widens 1- to 7-bit samples to bytes and 9- to
/// 15-bit ones to 16 bits, and says so only in NBITS.
unsigned sample_bits(GDALRasterBandH band, GDALDataType sample) {
    const unsigned stored = sample == GDT_Byte ? 8 : 16;
    const char* nbits = gdal().GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE");
    const long bits = nbits == nullptr ? 0 : std::strtol(nbits, nullptr, 10);
    return bits >= 1 && bits < static_cast<long>(stored) ? static_cast<unsigned>(bits) : stored;
}

/// The palette GDAL gives band 1, at most 256 colours; nothing when it is not plain RGB.
std::optional<std::vector<colour>> gdal_palette(GDALDatasetH dataset) {
    GDALColorTableH table = gdal().GDALGetRasterColorTable(gdal().GDALGetRasterBand(dataset, 1));
    if (table == nullptr) {
        return std::nullopt;
    }
    const int entries = gdal().GDALGetColorEntryCount(table);
    if (gdal().GDALGetPaletteInterpretation(table) != GPI_RGB || entries < 1 || entries > 256) {
        return std::nullopt;
    }
    std::vector<colour> palette;
    for (int i = 0; i < entries; ++i) {
        const GDALColorEntry* entry = gdal().GDALGetColorEntry(table, i);
        const auto level = [](short c) { return static_cast<std::uint8_t>(std::clamp<short>(c, 0, 255)); };
        palette.push_back({level(entry->c1), level(entry->c2), level(entry->c3)});
    }
    return palette;
}

/// Rows of whole strips or tile rows, about 1 MiB of output: every block is then
/// decoded once and its bytes used at once.
int window_rows(GDALDatasetH dataset, const scan_image& scan) {
    int block_width = 0;
    int block_height = 0;
    gdal().GDALGetBlockSize(gdal().GDALGetRasterBand(dataset, 1), &block_width, &block_height);
    const std::size_t row_bytes = scan.row_bytes();
    const std::size_t block_rows = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(block_height, 1)), 1,
                                                           scan.height);
    const std::size_t blocks = std::max<std::size_t>(1, (std::size_t{1} << 20) / (row_bytes * block_rows));
    return static_cast<int>(std::min<std::size_t>(block_rows * blocks, scan.height));
}

/// Decodes all rows into `scan.pixels`, reserved beforehand, window by window: GDAL
/// interleaves the channels straight into the buffer, and samples of other than 8
/// bits go through a table of their 8-bit levels. False on any read failure.
bool read_rows(GDALDatasetH dataset, GDALDataType sample, scan_image& scan) {
    const std::size_t channels = scan.bytes_per_pixel();
    const std::size_t row_bytes = scan.row_bytes();
    const unsigned bits = sample_bits(gdal().GDALGetRasterBand(dataset, 1), sample);
    const bool scaled = scan.type != scan_image::kind::indexed && bits != 8;
    const std::vector<std::uint8_t> levels = scaled ? sample_levels(bits) : std::vector<std::uint8_t>{};
    const std::size_t sample_bytes = sample == GDT_Byte ? 1 : 2;
    const int window = window_rows(dataset, scan);
    // GDAL's block cache is held to two windows of every band (a pixel-interleaved
    // strip is decoded for all bands at once): enough that no block is decoded twice,
    // little enough that it adds almost nothing to the peak beside the scan itself.
    const std::size_t window_blocks = scan.width * static_cast<std::size_t>(window) *
                                      static_cast<std::size_t>(gdal().GDALGetRasterCount(dataset)) * sample_bytes;
    gdal().GDALSetCacheMax64(static_cast<GIntBig>(std::max<std::size_t>(std::size_t{1} << 20, 2 * window_blocks)));
    const int width = static_cast<int>(scan.width);
    const int height = static_cast<int>(scan.height);
    int band_list[] = {1, 2, 3};
    const auto pixel_space = static_cast<GSpacing>(channels * sample_bytes);
    std::vector<std::uint16_t> wide;
    for (int y = 0; y < height; y += window) {
        const int rows = std::min(window, height - y);
        const std::size_t count = row_bytes * static_cast<std::size_t>(rows);
        const std::size_t at = scan.pixels.size();
        scan.pixels.resize(at + count);
        std::uint8_t* out = scan.pixels.data() + at;
        if (sample == GDT_UInt16) {
            wide.resize(count);
        }
        void* target = sample == GDT_Byte ? static_cast<void*>(out) : wide.data();
        if (gdal().GDALDatasetRasterIOEx(dataset, GF_Read, 0, y, width, rows, target, width, rows, sample,
                                  static_cast<int>(channels), band_list, pixel_space, pixel_space * width,
                                  static_cast<GSpacing>(sample_bytes), nullptr) != CE_None) {
            return false;
        }
        if (sample == GDT_UInt16) {
            std::transform(wide.begin(), wide.end(), out, [&](std::uint16_t v) { return levels[v]; });
        } else if (scaled) {
            std::transform(out, out + count, out, [&](std::uint8_t v) { return levels[v]; });
        }
    }
    return true;
}

/// The name GDAL is handed for the file at `path`: GDAL takes names starting with
/// /vsi as its own virtual file systems (the network among them) and names such as
/// "GTIFF_DIR:1:x.tif" as driver requests, so every name is made to mean a plain file.
/// Nothing for a name that cannot be one. (Whether it is a plain file, and not a
/// folder or a pipe that would block the open, read_scan asks before GDAL does.)
std::optional<std::string> plain_file_name(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (path.front() != '/') {
        return "./" + path;
    }
    if (path.rfind("/vsi", 0) == 0) {
        return "/." + path;
    }
    return path;
}


/// The dataset's bands as the layout takes them: enough of them, of bytes or 16-bit
/// samples (bytes for a palette scan), and a palette for a palette scan. False for a
/// file GDAL reads otherwise than its fields say: only a damaged one.
bool bands_fit(GDALDatasetH dataset, scan_image::kind type, GDALDataType sample) {
    const int bands = gdal().GDALGetRasterCount(dataset);
    if (bands < (type == scan_image::kind::colour ? 3 : 1)) {
        return false;
    }
    return sample == GDT_Byte || (sample == GDT_UInt16 && type != scan_image::kind::indexed);
}

/// The layout by the file's own fields; a JPEG's components are known only once GDAL
/// has opened it.
scan_layout layout_of(scan_container format, const scan_layout& decided, GDALDatasetH dataset) {
    if (format != scan_container::jpeg) {
        return decided;
    }
    const char* source = gdal().GDALGetMetadataItem(dataset, "SOURCE_COLOR_SPACE", "IMAGE_STRUCTURE");
    const bool cmyk = source != nullptr && std::string_view(source) == "CMYK";
    return jpeg_layout(cmyk ? 4 : static_cast<unsigned>(gdal().GDALGetRasterCount(dataset)));
}

/// Loads GDAL; empty when it is, else why not. The loader's own words are said with
/// the first scan that meets them, not again.
std::string load_the_library() {
    static std::atomic<bool> told{false};
    std::string error;
    const gdal_library* library = load_gdal(error);
    if (library != nullptr) {
        loaded.store(library);
        return {};
    }
    const bool first = !told.exchange(true);
    return first ? "GDAL could not be loaded: " + error : "GDAL could not be loaded";
}

scan_opening refused(std::string reason) { return {std::nullopt, std::move(reason)}; }

}  // namespace

struct scan_decoder {
    std::string name;
    scan_container format = scan_container::tiff;
    scan_layout layout;
    dataset_handle dataset;
    GDALDataType sample = GDT_Byte;
};

opened_scan::opened_scan() = default;
opened_scan::~opened_scan() = default;
opened_scan::opened_scan(opened_scan&&) noexcept = default;
opened_scan& opened_scan::operator=(opened_scan&&) noexcept = default;

namespace {

/// Opens the scan's dataset with GDAL and takes what only GDAL tells: a JPEG's layout,
/// the size where the file's own fields did not give it (else GDAL's must agree), the
/// samples, a palette the fields did not give. Empty when it is done, else why not.
std::string open_dataset(opened_scan& scan) {
    scan_decoder& state = *scan.decoder;
    if (auto refusal = load_the_library(); !refusal.empty()) {
        return refusal;
    }
    const quiet_errors quiet;
    start_gdal();
    state.dataset.reset(gdal().GDALOpenEx(state.name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                          drivers_of(state.format), nullptr, nullptr));
    if (!state.dataset) {
        return scan_refusal::damaged;
    }
    state.layout = layout_of(state.format, state.layout, state.dataset.get());
    if (!state.layout.type) {
        return scan_refusal::layout(state.layout.refusal);
    }
    const auto width = static_cast<std::uint32_t>(std::max(gdal().GDALGetRasterXSize(state.dataset.get()), 0));
    const auto height = static_cast<std::uint32_t>(std::max(gdal().GDALGetRasterYSize(state.dataset.get()), 0));
    if (scan.width != 0 && (width != scan.width || height != scan.height)) {
        return scan_refusal::damaged;
    }
    if (auto refusal = scan_refusal::size(width, height); !refusal.empty()) {
        return refusal;
    }
    scan.width = width;
    scan.height = height;
    scan.type = *state.layout.type;
    state.sample = gdal().GDALGetRasterDataType(gdal().GDALGetRasterBand(state.dataset.get(), 1));
    if (!bands_fit(state.dataset.get(), scan.type, state.sample)) {
        return scan_refusal::damaged;
    }
    if (scan.type == scan_image::kind::indexed && state.layout.palette.empty()) {
        auto palette = gdal_palette(state.dataset.get());
        if (!palette) {
            return scan_refusal::damaged;
        }
        state.layout.palette = std::move(*palette);
    }
    return {};
}

}  // namespace

bool scan_decoder_loaded() { return loaded.load() != nullptr; }

scan_opening open_scan(const std::string& path) {
    const auto name = plain_file_name(path);
    std::error_code unknown;
    if (!name || !std::filesystem::exists(*name, unknown)) {
        return refused(scan_refusal::no_file);
    }
    if (!std::filesystem::is_regular_file(*name, unknown)) {
        return refused(scan_refusal::not_a_file);
    }
    const auto head = read_head(*name);
    if (!head) {
        return refused(scan_refusal::cannot_open);
    }
    const auto format = container_of(*head);
    if (!format) {
        return refused(scan_refusal::other_format);
    }
    try {
        auto decided = layout_before_decoding(*format, *head, *name);
        if (!decided.type && *format != scan_container::jpeg) {
            return refused(decided.refusal.empty() ? std::string(scan_refusal::damaged)
                                                   : scan_refusal::layout(decided.refusal));
        }
        opened_scan scan;
        scan.width = decided.width;
        scan.height = decided.height;
        scan.decoder = std::make_unique<scan_decoder>();
        *scan.decoder = {*name, *format, std::move(decided), nullptr, GDT_Byte};
        // Where the file's own fields give the size (a TIFF), a size that cannot be is
        // refused, and GDAL not even loaded, until the scan is decoded.
        if (scan.width != 0 && scan.decoder->layout.type) {
            if (auto refusal = scan_refusal::size(scan.width, scan.height); !refusal.empty()) {
                return refused(std::move(refusal));
            }
            scan.type = *scan.decoder->layout.type;
            return {std::move(scan), {}};
        }
        if (auto refusal = open_dataset(scan); !refusal.empty()) {
            return refused(std::move(refusal));
        }
        return {std::move(scan), {}};
    } catch (const std::bad_alloc&) {
        return refused(scan_refusal::no_memory);
    }
}

scan_reading decode_scan(opened_scan& opened) {
    if (!opened.decoder->dataset) {
        if (auto refusal = open_dataset(opened); !refusal.empty()) {
            return {std::nullopt, std::move(refusal)};
        }
    }
    const quiet_errors quiet;
    scan_image scan;
    scan.type = opened.type;
    scan.width = opened.width;
    scan.height = opened.height;
    try {
        scan.palette = std::move(opened.decoder->layout.palette);
        if (!reserve_pixels(scan)) {
            return {std::nullopt, scan_refusal::no_memory};
        }
        if (!read_rows(opened.decoder->dataset.get(), opened.decoder->sample, scan)) {
            return {std::nullopt, scan_refusal::damaged};
        }
    } catch (const std::bad_alloc&) {
        return {std::nullopt, scan_refusal::no_memory};
    } catch (const std::length_error&) {
        return {std::nullopt, scan_refusal::no_memory};
    }
    opened.decoder.reset();
    // An index past the palette would send the chart writer out of the palette's
    // bounds; only a broken file holds one.
    if (scan.type == scan_image::kind::indexed && scan.palette.size() < 256 &&
        *std::max_element(scan.pixels.begin(), scan.pixels.end()) >= scan.palette.size()) {
        return {std::nullopt, scan_refusal::damaged};
    }
    return {std::move(scan), {}};
}

}  // namespace hdrmill
