// The Linux decoder: GDAL, held to the five scan formats, silent, and reading the scan
// a few strips at a time straight into the compact buffer.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>
#include <tiffio.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

#include "scan/scan_image.hpp"

namespace hdrmill {

namespace {

// GDAL is loaded when the first scan is read, not when the program starts: the
// conversion, the list and the check never read a scan, and should not pay for
// loading GDAL and the hundred libraries it needs (tens of milliseconds and of
// megabytes). libtiff comes with it, as GDAL's own.
struct gdal_library {
    decltype(&::CPLPopErrorHandler) CPLPopErrorHandler;
    decltype(&::CPLPushErrorHandler) CPLPushErrorHandler;
    decltype(&::CPLQuietErrorHandler) CPLQuietErrorHandler;
    decltype(&::CPLSetConfigOption) CPLSetConfigOption;
    decltype(&::GDALClose) GDALClose;
    decltype(&::GDALDatasetRasterIOEx) GDALDatasetRasterIOEx;
    decltype(&::GDALGetBlockSize) GDALGetBlockSize;
    decltype(&::GDALGetColorEntry) GDALGetColorEntry;
    decltype(&::GDALGetColorEntryCount) GDALGetColorEntryCount;
    decltype(&::GDALGetDatasetDriver) GDALGetDatasetDriver;
    decltype(&::GDALGetDriverShortName) GDALGetDriverShortName;
    decltype(&::GDALGetMetadataItem) GDALGetMetadataItem;
    decltype(&::GDALGetPaletteInterpretation) GDALGetPaletteInterpretation;
    decltype(&::GDALGetRasterBand) GDALGetRasterBand;
    decltype(&::GDALGetRasterColorInterpretation) GDALGetRasterColorInterpretation;
    decltype(&::GDALGetRasterColorTable) GDALGetRasterColorTable;
    decltype(&::GDALGetRasterCount) GDALGetRasterCount;
    decltype(&::GDALGetRasterDataType) GDALGetRasterDataType;
    decltype(&::GDALGetRasterXSize) GDALGetRasterXSize;
    decltype(&::GDALGetRasterYSize) GDALGetRasterYSize;
    decltype(&::GDALOpenEx) GDALOpenEx;
    decltype(&::GDALRegister_BIGGIF) GDALRegister_BIGGIF;
    decltype(&::GDALRegister_BMP) GDALRegister_BMP;
    decltype(&::GDALRegister_GIF) GDALRegister_GIF;
    decltype(&::GDALRegister_GTiff) GDALRegister_GTiff;
    decltype(&::GDALRegister_JPEG) GDALRegister_JPEG;
    decltype(&::GDALRegister_PNG) GDALRegister_PNG;
    decltype(&::GDALSetCacheMax64) GDALSetCacheMax64;
    decltype(&::TIFFClose) TIFFClose;
    decltype(&::TIFFGetField) TIFFGetField;
    decltype(&::TIFFOpenExt) TIFFOpenExt;
    decltype(&::TIFFOpenOptionsAlloc) TIFFOpenOptionsAlloc;
    decltype(&::TIFFOpenOptionsFree) TIFFOpenOptionsFree;
    decltype(&::TIFFOpenOptionsSetErrorHandlerExtR) TIFFOpenOptionsSetErrorHandlerExtR;
    decltype(&::TIFFOpenOptionsSetWarningHandlerExtR) TIFFOpenOptionsSetWarningHandlerExtR;
};

// The loaded library, or nothing when it cannot be loaded (then no scan can be read).
const gdal_library* load_gdal() {
    static const std::optional<gdal_library> loaded = []() -> std::optional<gdal_library> {
        void* handle = dlopen(HDRMILL_GDAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            return std::nullopt;
        }
        gdal_library library{};
        bool complete = true;
        const auto load = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
            complete = complete && function != nullptr;
        };
        load(library.CPLPopErrorHandler, "CPLPopErrorHandler");
        load(library.CPLPushErrorHandler, "CPLPushErrorHandler");
        load(library.CPLQuietErrorHandler, "CPLQuietErrorHandler");
        load(library.CPLSetConfigOption, "CPLSetConfigOption");
        load(library.GDALClose, "GDALClose");
        load(library.GDALDatasetRasterIOEx, "GDALDatasetRasterIOEx");
        load(library.GDALGetBlockSize, "GDALGetBlockSize");
        load(library.GDALGetColorEntry, "GDALGetColorEntry");
        load(library.GDALGetColorEntryCount, "GDALGetColorEntryCount");
        load(library.GDALGetDatasetDriver, "GDALGetDatasetDriver");
        load(library.GDALGetDriverShortName, "GDALGetDriverShortName");
        load(library.GDALGetMetadataItem, "GDALGetMetadataItem");
        load(library.GDALGetPaletteInterpretation, "GDALGetPaletteInterpretation");
        load(library.GDALGetRasterBand, "GDALGetRasterBand");
        load(library.GDALGetRasterColorInterpretation, "GDALGetRasterColorInterpretation");
        load(library.GDALGetRasterColorTable, "GDALGetRasterColorTable");
        load(library.GDALGetRasterCount, "GDALGetRasterCount");
        load(library.GDALGetRasterDataType, "GDALGetRasterDataType");
        load(library.GDALGetRasterXSize, "GDALGetRasterXSize");
        load(library.GDALGetRasterYSize, "GDALGetRasterYSize");
        load(library.GDALOpenEx, "GDALOpenEx");
        load(library.GDALRegister_BIGGIF, "GDALRegister_BIGGIF");
        load(library.GDALRegister_BMP, "GDALRegister_BMP");
        load(library.GDALRegister_GIF, "GDALRegister_GIF");
        load(library.GDALRegister_GTiff, "GDALRegister_GTiff");
        load(library.GDALRegister_JPEG, "GDALRegister_JPEG");
        load(library.GDALRegister_PNG, "GDALRegister_PNG");
        load(library.GDALSetCacheMax64, "GDALSetCacheMax64");
        load(library.TIFFClose, "TIFFClose");
        load(library.TIFFGetField, "TIFFGetField");
        load(library.TIFFOpenExt, "TIFFOpenExt");
        load(library.TIFFOpenOptionsAlloc, "TIFFOpenOptionsAlloc");
        load(library.TIFFOpenOptionsFree, "TIFFOpenOptionsFree");
        load(library.TIFFOpenOptionsSetErrorHandlerExtR, "TIFFOpenOptionsSetErrorHandlerExtR");
        load(library.TIFFOpenOptionsSetWarningHandlerExtR, "TIFFOpenOptionsSetWarningHandlerExtR");
        if (!complete) {
            dlclose(handle);
            return std::nullopt;
        }
        return std::optional<gdal_library>(library);
    }();
    return loaded ? &*loaded : nullptr;
}

// The loaded library; read_scan has made sure it is.
const gdal_library& gdal() { return *load_gdal(); }

// Made once, before GDAL's first open. Only the drivers of the five formats are
// registered (BIGGIF is the GIF driver's own way with very large GIFs), so nothing
// else is even tried and no plugin is loaded. The settings come after: the first
// registration reads GDAL's configuration files (gdalrc), whose options would
// otherwise overrule them. They are: no .aux.xml read or written beside the scan, no
// listing of the scan's folder in search of world files, overviews or masks, and a
// damaged JPEG stream an error rather than a warning over grey rows.
void start_gdal() {
    static const bool started = [] {
        gdal().GDALRegister_GTiff();
        gdal().GDALRegister_PNG();
        gdal().GDALRegister_JPEG();
        gdal().GDALRegister_GIF();
        gdal().GDALRegister_BIGGIF();
        gdal().GDALRegister_BMP();
        gdal().CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        gdal().CPLSetConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", "EMPTY_DIR");
        gdal().CPLSetConfigOption("GDAL_ERROR_ON_LIBJPEG_WARNING", "TRUE");
        return true;
    }();
    static_cast<void>(started);
}

const char* const scan_drivers[] = {"GTiff", "PNG", "JPEG", "GIF", "BIGGIF", "BMP", nullptr};

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

int quiet_tiff(TIFF*, void*, const char*, const char*, std::va_list) { return 1; }

/// GDAL gives a TIFF's 16-bit colour map cut to 8 bits by truncation (v / 257), where
/// the other platforms round; so the map is read again here and narrowed the shared
/// way. False when the file cannot be read; a TIFF without a map (a bilevel or
/// min-is-white grey scan, whose table GDAL makes itself) keeps GDAL's entries.
bool narrow_tiff_colour_map(const std::string& name, std::vector<colour>& palette) {
    TIFFOpenOptions* options = gdal().TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return false;
    }
    gdal().TIFFOpenOptionsSetErrorHandlerExtR(options, quiet_tiff, nullptr);
    gdal().TIFFOpenOptionsSetWarningHandlerExtR(options, quiet_tiff, nullptr);
    TIFF* tiff = gdal().TIFFOpenExt(name.c_str(), "r", options);
    gdal().TIFFOpenOptionsFree(options);
    if (tiff == nullptr) {
        return false;
    }
    std::uint16_t bits = 0;
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    bool usable = true;
    if (gdal().TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) == 1) {
        usable = gdal().TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits) == 1 && bits <= 16 &&
                 palette.size() <= (std::size_t{1} << bits);
        for (std::size_t i = 0; usable && i < palette.size(); ++i) {
            palette[i] = {narrow_sample(red[i]), narrow_sample(green[i]), narrow_sample(blue[i])};
        }
    }
    gdal().TIFFClose(tiff);
    return usable;
}

/// The 8-bit level of every sample value of `bits` bits.
std::vector<std::uint8_t> sample_levels(unsigned bits) {
    std::vector<std::uint8_t> levels(bits <= 8 ? 256 : 65536);
    for (std::uint32_t v = 0; v < levels.size(); ++v) {
        levels[v] = level_of_sample(v, bits);
    }
    return levels;
}

/// How band 1 and the bands beside it are to be taken, or nothing for a layout that is
/// none of palette, grey or colour. GDAL turns CMYK and CIELab scans into RGB with
/// formulas of its own, which other platforms need not share: those are refused too.
std::optional<scan_image::kind> scan_kind(GDALDatasetH dataset) {
    const char* source = gdal().GDALGetMetadataItem(dataset, "SOURCE_COLOR_SPACE", "IMAGE_STRUCTURE");
    if (source != nullptr && std::string_view(source) != "YCbCr") {
        return std::nullopt;
    }
    const int bands = gdal().GDALGetRasterCount(dataset);
    GDALRasterBandH first = gdal().GDALGetRasterBand(dataset, 1);
    if (gdal().GDALGetRasterColorTable(first) != nullptr) {
        return scan_image::kind::indexed;
    }
    const auto meaning = [&](int band) { return gdal().GDALGetRasterColorInterpretation(gdal().GDALGetRasterBand(dataset, band)); };
    if (bands >= 3 && meaning(1) == GCI_RedBand && meaning(2) == GCI_GreenBand && meaning(3) == GCI_BlueBand) {
        return scan_image::kind::colour;
    }
    if (bands <= 2 && meaning(1) == GCI_GrayIndex) {
        return scan_image::kind::grey;
    }
    return std::nullopt;
}

/// The bits of band 1's samples: GDAL widens 1- to 7-bit samples to bytes and 9- to
/// 15-bit ones to 16 bits, and says so only in NBITS.
unsigned sample_bits(GDALRasterBandH band, GDALDataType sample) {
    const unsigned stored = sample == GDT_Byte ? 8 : 16;
    const char* nbits = gdal().GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE");
    const long bits = nbits == nullptr ? 0 : std::strtol(nbits, nullptr, 10);
    return bits >= 1 && bits < static_cast<long>(stored) ? static_cast<unsigned>(bits) : stored;
}

/// The palette of an indexed scan, at most 256 colours; nothing when it is not plain RGB.
std::optional<std::vector<colour>> scan_palette(GDALDatasetH dataset, const std::string& name) {
    GDALColorTableH table = gdal().GDALGetRasterColorTable(gdal().GDALGetRasterBand(dataset, 1));
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
    const std::string_view driver = gdal().GDALGetDriverShortName(gdal().GDALGetDatasetDriver(dataset));
    if (driver == "GTiff" && !narrow_tiff_colour_map(name, palette)) {
        return std::nullopt;
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

std::optional<scan_image> decode(GDALDatasetH dataset, const std::string& name) {
    const int width = gdal().GDALGetRasterXSize(dataset);
    const int height = gdal().GDALGetRasterYSize(dataset);
    const auto type = scan_kind(dataset);
    if (width <= 0 || height <= 0 || !type) {
        return std::nullopt;
    }
    const GDALDataType sample = gdal().GDALGetRasterDataType(gdal().GDALGetRasterBand(dataset, 1));
    if (sample != GDT_Byte && !(sample == GDT_UInt16 && type != scan_image::kind::indexed)) {
        return std::nullopt;
    }
    scan_image scan;
    scan.type = *type;
    scan.width = static_cast<std::uint32_t>(width);
    scan.height = static_cast<std::uint32_t>(height);
    if (scan.type == scan_image::kind::indexed) {
        auto palette = scan_palette(dataset, name);
        if (!palette) {
            return std::nullopt;
        }
        scan.palette = std::move(*palette);
    }
    if (!reserve_pixels(scan) || !read_rows(dataset, sample, scan)) {
        return std::nullopt;
    }
    // An index past the palette would send the chart writer out of the palette's
    // bounds; only a broken file holds one.
    if (scan.type == scan_image::kind::indexed && scan.palette.size() < 256 &&
        *std::max_element(scan.pixels.begin(), scan.pixels.end()) >= scan.palette.size()) {
        return std::nullopt;
    }
    return scan;
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

}  // namespace

std::optional<scan_image> read_scan(const std::string& path) {
    const auto name = plain_file_name(path);
    std::error_code unknown;
    if (!name || !std::filesystem::is_regular_file(*name, unknown)) {
        return std::nullopt;
    }
    if (load_gdal() == nullptr) {
        return std::nullopt;
    }
    const quiet_errors quiet;
    start_gdal();
    try {
        const dataset_handle dataset{
            gdal().GDALOpenEx(name->c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, scan_drivers, nullptr, nullptr)};
        if (!dataset) {
            return std::nullopt;
        }
        return decode(dataset.get(), *name);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

}  // namespace hdrmill
