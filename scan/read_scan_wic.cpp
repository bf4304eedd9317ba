// The Windows decoder: the Windows Imaging Component's own decoders of the five scan
// formats, made to give every scan exactly the bytes the Linux decoder (GDAL) gives for
// the same file, so that a chart made on either platform is the same chart.
//
// WIC hands over each frame in its native pixel format, with its palette; the rows are
// widened here, with the shared steps, rather than by WIC's format converter: the
// converter cannot widen palette, bilevel or grey rows everywhere (wine's fails on them)
// and rounds narrow samples otherwise than GDAL does. Whether a scan is a palette, grey
// or colour scan, and its palette, follow GDAL's reading of the file, which rests on
// fields WIC does not show as such: a PNG's colour type (WIC gives a grey PNG with a
// transparent level as a palette image), a TIFF's photometric interpretation and 16-bit
// colour map (WIC gives a bilevel or min-is-white TIFF as grey, and its colour map cut
// to 8 bits), a BMP's header (WIC reads headers GDAL does not).
#include <windows.h>
#include <wincodec.h>
// The metadata GUIDs are in no import library: defined here (as selectany constants).
#include <initguid.h>
#include <wincodecsdk.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>

#include "scan/scan_image.hpp"

namespace hdrmill {

namespace {

/// One reference to a COM object, given back when the holder goes.
template <class T>
class com_ref {
public:
    com_ref() = default;
    com_ref(const com_ref&) = delete;
    com_ref& operator=(const com_ref&) = delete;
    ~com_ref() {
        if (object_ != nullptr) {
            object_->Release();
        }
    }
    T* operator->() const { return object_; }
    T* get() const { return object_; }
    /// For a call that hands out a new reference; only on an empty holder.
    T** out() { return &object_; }

private:
    T* object_ = nullptr;
};

/// A PROPVARIANT, cleared (its vector freed) when it goes.
class property {
public:
    property() { PropVariantInit(&value); }
    property(const property&) = delete;
    property& operator=(const property&) = delete;
    ~property() { PropVariantClear(&value); }
    PROPVARIANT value;
};

/// COM is started once on each thread that reads a scan, in the multithreaded
/// apartment, and left running for the thread's life. A thread that is already in the
/// single-threaded apartment stays there (the call then fails, and COM is still up):
/// WIC works in either.
void start_com() {
    thread_local const HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<void>(started);
}

/// The name as Windows takes it. hdrmill holds file names as the bytes the calibration
/// file gives, and opens its other files with the C library's narrow calls, which read
/// those bytes in the system's ANSI code page; the scan's name is read the same way, so
/// that it names the same file. The sharp edge: a calibration file written in UTF-8
/// names a scan with non-ASCII letters rightly only where the ANSI code page is UTF-8
/// (Windows 10 1903 and later, with a manifest asking for it or the system set so).
/// Under a code page such as 1252 its bytes read as other letters, name another file
/// or none, and the scan gives nothing; so does a name with bytes the code page lacks.
std::optional<std::wstring> wide_name(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos || path.size() > INT_MAX) {
        return std::nullopt;
    }
    const int bytes = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), bytes, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring name(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), bytes, name.data(), length) != length) {
        return std::nullopt;
    }
    return name;
}

enum class container { tiff, png, jpeg, gif, bmp };

/// The first bytes of the scan file: enough for the signature, a PNG's header chunk
/// and a BMP's header size and bits a pixel.
struct file_head {
    std::array<std::uint8_t, 32> bytes{};
    std::size_t size = 0;

    bool starts_with(const char* signature, std::size_t length) const {
        return size >= length && std::memcmp(bytes.data(), signature, length) == 0;
    }
    std::uint32_t little_endian(std::size_t at, std::size_t width) const {
        std::uint32_t value = 0;
        for (std::size_t i = width; i-- > 0;) {
            value = value << 8 | bytes[at + i];
        }
        return value;
    }
};

/// The scan file, opened to be read and shut to writers and to renaming for as long as
/// it is open. WIC opens the file again by name to decode it; while this is open, what
/// WIC opens is the file whose first bytes were read here.
class scan_file {
public:
    explicit scan_file(const std::wstring& name)
        : handle_(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    scan_file(const scan_file&) = delete;
    scan_file& operator=(const scan_file&) = delete;
    ~scan_file() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }

    /// The first bytes, or nothing for what is not a file on a disk: a device such as
    /// CON or a pipe is no scan, and reading CON would wait for the keyboard.
    std::optional<file_head> head() const {
        if (handle_ == INVALID_HANDLE_VALUE || GetFileType(handle_) != FILE_TYPE_DISK) {
            return std::nullopt;
        }
        file_head head;
        DWORD read = 0;
        if (!ReadFile(handle_, head.bytes.data(), static_cast<DWORD>(head.bytes.size()), &read, nullptr)) {
            return std::nullopt;
        }
        head.size = read;
        return head;
    }

private:
    HANDLE handle_;
};

/// The format the file's signature names, by the signatures GDAL's drivers know the
/// five formats by. Only that format's decoder is ever run: WIC left to choose would
/// also try whatever other decoders are installed on the machine.
std::optional<container> container_of(const file_head& head) {
    if (head.starts_with("II*\0", 4) || head.starts_with("MM\0*", 4) || head.starts_with("II+\0", 4) ||
        head.starts_with("MM\0+", 4)) {
        return container::tiff;
    }
    if (head.starts_with("\x89PNG\r\n\x1a\n", 8)) {
        return container::png;
    }
    if (head.starts_with("\xff\xd8\xff", 3)) {
        return container::jpeg;
    }
    if (head.starts_with("GIF87a", 6) || head.starts_with("GIF89a", 6)) {
        return container::gif;
    }
    if (head.starts_with("BM", 2)) {
        return container::bmp;
    }
    return std::nullopt;
}

const GUID& container_format(container format) {
    switch (format) {
    case container::tiff:
        return GUID_ContainerFormatTiff;
    case container::png:
        return GUID_ContainerFormatPng;
    case container::jpeg:
        return GUID_ContainerFormatJpeg;
    case container::gif:
        return GUID_ContainerFormatGif;
    case container::bmp:
        break;
    }
    return GUID_ContainerFormatBmp;
}

// ---- The native pixel formats -------------------------------------------------------

enum class layout_class {
    indices,  // palette indices of `bits` bits, packed most significant bit first
    levels,   // grey levels of `bits` bits, packed alike; 16 bits little-endian
    samples,  // `samples` channels of `bits` bits (8, or 16 little-endian), red, green, blue at r, g, b
    packed,   // 16-bit little-endian words with 5 bits of red, 5 or 6 of green, 5 of blue
};

struct native_layout {
    const GUID* format;
    layout_class type;
    unsigned bits;     // of a sample, or of a whole pixel for indices, levels and packed
    unsigned samples;  // in a pixel
    unsigned r, g, b;  // sample positions; for packed, the shifts of the red and green bits
};

// The formats WIC's decoders give for scans, each widened here. Alpha, where there is
// one, is dropped as GDAL's band choice drops it; premultiplied samples are taken as
// stored, as GDAL takes them.
const native_layout native_layouts[] = {
    {&GUID_WICPixelFormat1bppIndexed, layout_class::indices, 1, 1, 0, 0, 0},
    {&GUID_WICPixelFormat2bppIndexed, layout_class::indices, 2, 1, 0, 0, 0},
    {&GUID_WICPixelFormat4bppIndexed, layout_class::indices, 4, 1, 0, 0, 0},
    {&GUID_WICPixelFormat8bppIndexed, layout_class::indices, 8, 1, 0, 0, 0},
    {&GUID_WICPixelFormatBlackWhite, layout_class::levels, 1, 1, 0, 0, 0},
    {&GUID_WICPixelFormat2bppGray, layout_class::levels, 2, 1, 0, 0, 0},
    {&GUID_WICPixelFormat4bppGray, layout_class::levels, 4, 1, 0, 0, 0},
    {&GUID_WICPixelFormat8bppGray, layout_class::levels, 8, 1, 0, 0, 0},
    {&GUID_WICPixelFormat16bppGray, layout_class::levels, 16, 1, 0, 0, 0},
    {&GUID_WICPixelFormat24bppBGR, layout_class::samples, 8, 3, 2, 1, 0},
    {&GUID_WICPixelFormat24bppRGB, layout_class::samples, 8, 3, 0, 1, 2},
    {&GUID_WICPixelFormat32bppBGR, layout_class::samples, 8, 4, 2, 1, 0},
    {&GUID_WICPixelFormat32bppBGRA, layout_class::samples, 8, 4, 2, 1, 0},
    {&GUID_WICPixelFormat32bppPBGRA, layout_class::samples, 8, 4, 2, 1, 0},
    {&GUID_WICPixelFormat32bppRGB, layout_class::samples, 8, 4, 0, 1, 2},
    {&GUID_WICPixelFormat32bppRGBA, layout_class::samples, 8, 4, 0, 1, 2},
    {&GUID_WICPixelFormat32bppPRGBA, layout_class::samples, 8, 4, 0, 1, 2},
    {&GUID_WICPixelFormat48bppRGB, layout_class::samples, 16, 3, 0, 1, 2},
    {&GUID_WICPixelFormat48bppBGR, layout_class::samples, 16, 3, 2, 1, 0},
    {&GUID_WICPixelFormat64bppRGB, layout_class::samples, 16, 4, 0, 1, 2},
    {&GUID_WICPixelFormat64bppRGBA, layout_class::samples, 16, 4, 0, 1, 2},
    {&GUID_WICPixelFormat64bppPRGBA, layout_class::samples, 16, 4, 0, 1, 2},
    {&GUID_WICPixelFormat64bppBGRA, layout_class::samples, 16, 4, 2, 1, 0},
    {&GUID_WICPixelFormat64bppPBGRA, layout_class::samples, 16, 4, 2, 1, 0},
    // 16-bit BMPs: GDAL widens each field to the nearest level, where WIC's converter
    // repeats the top bits (3 of 31 gives 25 there, 24 here).
    {&GUID_WICPixelFormat16bppBGR555, layout_class::packed, 16, 1, 10, 5, 0},
    {&GUID_WICPixelFormat16bppBGR565, layout_class::packed, 16, 1, 11, 5, 0},
};

const native_layout converted_layout = {&GUID_WICPixelFormat24bppBGR, layout_class::samples, 8, 3, 2, 1, 0};

const native_layout* find_layout(const WICPixelFormatGUID& format) {
    for (const auto& layout : native_layouts) {
        if (*layout.format == format) {
            return &layout;
        }
    }
    return nullptr;
}

/// CMYK scans are refused, as GDAL's are: GDAL turns them into RGB by a formula of its
/// own, which WIC's converter need not share.
bool is_cmyk(const WICPixelFormatGUID& format) {
    return format == GUID_WICPixelFormat32bppCMYK || format == GUID_WICPixelFormat64bppCMYK ||
           format == GUID_WICPixelFormat40bppCMYKAlpha || format == GUID_WICPixelFormat80bppCMYKAlpha;
}

std::size_t bits_a_pixel(const native_layout& layout) {
    return layout.type == layout_class::samples ? std::size_t{layout.bits} * layout.samples : layout.bits;
}

bool one_byte_a_pixel(layout_class type) { return type == layout_class::indices || type == layout_class::levels; }

using level_table = std::array<std::uint8_t, 256>;

/// The 8-bit level of each value of `bits` bits (1 to 8), as GDAL takes it.
level_table make_levels(unsigned bits) {
    level_table levels{};
    for (std::uint32_t v = 0; v < levels.size(); ++v) {
        levels[v] = level_of_sample(v, bits);
    }
    return levels;
}

const level_table& levels_of(unsigned bits) {
    static const std::array<level_table, 9> tables = [] {
        std::array<level_table, 9> made{};
        for (unsigned b = 1; b < made.size(); ++b) {
            made[b] = make_levels(b);
        }
        return made;
    }();
    return tables[bits];
}

std::uint16_t word_at(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

/// One native row as a plain row: one byte a pixel (a palette index, or an 8-bit grey
/// level) for indices and levels, three (r, g, b) for the others.
void plain_row(const native_layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint8_t* out) {
    switch (layout.type) {
    case layout_class::indices:
        unpack_indices(row, layout.bits, width, out);
        return;
    case layout_class::levels:
        if (layout.bits == 16) {
            for (std::uint32_t x = 0; x < width; ++x) {
                out[x] = narrow_sample(word_at(row + 2 * std::size_t{x}));
            }
        } else {
            unpack_indices(row, layout.bits, width, out);
            if (layout.bits != 8) {
                const level_table& levels = levels_of(layout.bits);
                std::transform(out, out + width, out, [&](std::uint8_t v) { return levels[v]; });
            }
        }
        return;
    case layout_class::samples:
        if (layout.bits == 8) {
            for (std::uint32_t x = 0; x < width; ++x, row += layout.samples, out += 3) {
                out[0] = row[layout.r];
                out[1] = row[layout.g];
                out[2] = row[layout.b];
            }
        } else {
            for (std::uint32_t x = 0; x < width; ++x, row += 2 * layout.samples, out += 3) {
                out[0] = narrow_sample(word_at(row + 2 * layout.r));
                out[1] = narrow_sample(word_at(row + 2 * layout.g));
                out[2] = narrow_sample(word_at(row + 2 * layout.b));
            }
        }
        return;
    case layout_class::packed:
        break;
    }
    const unsigned green_bits = layout.r - layout.g;
    const level_table& five = levels_of(5);
    const level_table& green = levels_of(green_bits);
    for (std::uint32_t x = 0; x < width; ++x, row += 2, out += 3) {
        const unsigned v = word_at(row);
        out[0] = five[(v >> layout.r) & 31U];
        out[1] = green[(v >> layout.g) & ((1U << green_bits) - 1)];
        out[2] = five[v & 31U];
    }
}

// ---- What GDAL makes of the file ----------------------------------------------------

/// The kind of scan GDAL gives for the file and, where GDAL's palette is not the one
/// WIC gives, that palette.
struct scan_plan {
    scan_image::kind type = scan_image::kind::colour;
    std::optional<std::vector<colour>> palette;
};

/// The fields of a TIFF's first image, read through the frame's own metadata block
/// rather than WIC's query language: wine's query reader, given a directory it cannot
/// read, calls through a null pointer.
class tiff_fields {
public:
    explicit tiff_fields(IWICBitmapFrameDecode* frame) {
        com_ref<IWICMetadataBlockReader> blocks;
        GUID format{};
        if (SUCCEEDED(frame->QueryInterface(IID_IWICMetadataBlockReader, reinterpret_cast<void**>(blocks.out()))) &&
            blocks.get() != nullptr && SUCCEEDED(blocks->GetReaderByIndex(0, directory_.out())) &&
            directory_.get() != nullptr && SUCCEEDED(directory_->GetMetadataFormat(&format)) &&
            format == GUID_MetadataFormatIfd) {
            readable_ = true;
        }
    }
    /// The values of the field, empty where it is missing.
    std::vector<std::uint32_t> values(unsigned tag) const {
        property id;
        id.value.vt = VT_UI2;
        id.value.uiVal = static_cast<USHORT>(tag);
        property found;
        if (!readable_ || FAILED(directory_->GetValue(nullptr, &id.value, &found.value))) {
            return {};
        }
        const PROPVARIANT& v = found.value;
        switch (v.vt) {
        case VT_UI1:
            return {v.bVal};
        case VT_UI2:
            return {v.uiVal};
        case VT_UI4:
            return {v.ulVal};
        case VT_VECTOR | VT_UI2:
            return std::vector<std::uint32_t>(v.caui.pElems, v.caui.pElems + v.caui.cElems);
        case VT_VECTOR | VT_UI4:
            return std::vector<std::uint32_t>(v.caul.pElems, v.caul.pElems + v.caul.cElems);
        default:
            return {};
        }
    }

private:
    com_ref<IWICMetadataReader> directory_;
    bool readable_ = false;
};

/// GDAL's reading of a TIFF: by photometric interpretation, a palette scan with the
/// colour map narrowed the shared way (WIC gives it cut to the high byte); a bilevel
/// scan, or a min-is-white grey one of up to 8 bits, as a palette scan with the table
/// GDAL makes; a min-is-black one as grey; RGB and YCbCr as colour. Nothing for the
/// layouts GDAL refuses or turns into RGB by formulas of its own (CMYK, CIELab, three
/// greys, 16-bit palettes and min-is-white, samples that are not unsigned integers).
std::optional<scan_plan> tiff_plan(IWICBitmapFrameDecode* frame) {
    const tiff_fields fields(frame);
    const auto photometric = fields.values(262);
    const auto bits_field = fields.values(258);
    const auto samples_field = fields.values(277);
    const auto format_field = fields.values(339);
    if (photometric.size() != 1 || (!bits_field.empty() && bits_field.front() == 0)) {
        return std::nullopt;
    }
    const std::uint32_t bits = bits_field.empty() ? 1 : bits_field.front();
    const std::uint32_t samples = samples_field.empty() ? 1 : samples_field.front();
    const std::uint32_t sample_format = format_field.empty() ? 1 : format_field.front();
    // GDAL takes signed bytes as they are stored, and no other signed or float samples.
    if (sample_format != 1 && !(sample_format == 2 && bits == 8)) {
        return std::nullopt;
    }
    scan_plan plan;
    switch (photometric.front()) {
    case 0:  // min-is-white
    case 1:  // min-is-black
        if (samples > 2) {
            return std::nullopt;
        }
        if (bits == 1 || photometric.front() == 0) {
            if (bits > 8) {
                return std::nullopt;
            }
            const std::uint32_t top = (1U << bits) - 1;
            std::vector<colour> table(top + 1);
            for (std::uint32_t k = 0; k <= top; ++k) {
                const std::uint32_t level = photometric.front() == 0 ? (top - k) * 255 / top : k * 255 / top;
                const auto l = static_cast<std::uint8_t>(level);
                table[k] = {l, l, l};
            }
            plan.type = scan_image::kind::indexed;
            plan.palette = std::move(table);
        } else {
            plan.type = scan_image::kind::grey;
        }
        return plan;
    case 2:  // RGB
    case 6:  // YCbCr
        plan.type = scan_image::kind::colour;
        return plan;
    case 3: {  // palette
        const auto map = fields.values(320);
        if (bits > 8 || map.size() != std::size_t{3} << bits) {
            return std::nullopt;
        }
        const std::size_t entries = std::size_t{1} << bits;
        std::vector<colour> table(entries);
        for (std::size_t k = 0; k < entries; ++k) {
            const auto narrow = [](std::uint32_t v) { return narrow_sample(static_cast<std::uint16_t>(v)); };
            table[k] = {narrow(map[k]), narrow(map[entries + k]), narrow(map[2 * entries + k])};
        }
        plan.type = scan_image::kind::indexed;
        plan.palette = std::move(table);
        return plan;
    }
    default:
        return std::nullopt;
    }
}

/// GDAL's reading of the file: a TIFF by its fields; a PNG by the colour type in its
/// header (WIC gives a grey PNG with a transparent level as a palette image, and one
/// with alpha as colour); a BMP by its bits a pixel, refused where its header is
/// larger than GDAL reads (the version 4 and 5 headers); a JPEG by its pixel format;
/// a GIF always as a palette scan.
std::optional<scan_plan> plan_scan(container format, const file_head& head, IWICBitmapFrameDecode* frame,
                                   const WICPixelFormatGUID& pixel_format) {
    scan_plan plan;
    switch (format) {
    case container::tiff:
        return tiff_plan(frame);
    case container::png: {
        if (head.size < 26 || std::memcmp(head.bytes.data() + 12, "IHDR", 4) != 0) {
            return std::nullopt;
        }
        const std::uint8_t colour_type = head.bytes[25];
        if (colour_type == 0 || colour_type == 4) {
            plan.type = scan_image::kind::grey;
        } else if (colour_type == 3) {
            plan.type = scan_image::kind::indexed;
        } else if (colour_type == 2 || colour_type == 6) {
            plan.type = scan_image::kind::colour;
        } else {
            return std::nullopt;
        }
        return plan;
    }
    case container::bmp: {
        if (head.size < 30) {
            return std::nullopt;
        }
        const std::uint32_t header_size = head.little_endian(14, 4);
        if (header_size > 64) {
            return std::nullopt;
        }
        const std::uint32_t bits = head.little_endian(header_size == 12 ? 24 : 28, 2);
        plan.type = bits <= 8 ? scan_image::kind::indexed : scan_image::kind::colour;
        return plan;
    }
    case container::jpeg:
        plan.type = pixel_format == GUID_WICPixelFormat8bppGray ? scan_image::kind::grey : scan_image::kind::colour;
        return plan;
    case container::gif:
        break;
    }
    plan.type = scan_image::kind::indexed;
    return plan;
}

/// The frame's palette, or the file's where the frame has none of its own (a GIF
/// frame without a local colour table); nothing where neither has one.
std::optional<std::vector<colour>> wic_palette(IWICImagingFactory* factory, IWICBitmapDecoder* decoder,
                                               IWICBitmapFrameDecode* frame) {
    com_ref<IWICPalette> palette;
    if (FAILED(factory->CreatePalette(palette.out()))) {
        return std::nullopt;
    }
    if (FAILED(frame->CopyPalette(palette.get())) && FAILED(decoder->CopyPalette(palette.get()))) {
        return std::nullopt;
    }
    UINT count = 0;
    if (FAILED(palette->GetColorCount(&count)) || count < 1 || count > 256) {
        return std::nullopt;
    }
    std::array<WICColor, 256> colours{};
    UINT got = 0;
    if (FAILED(palette->GetColors(count, colours.data(), &got)) || got != count) {
        return std::nullopt;
    }
    std::vector<colour> entries(count);
    for (UINT k = 0; k < count; ++k) {
        const WICColor c = colours[k];
        entries[k] = {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                      static_cast<std::uint8_t>(c)};
    }
    return entries;
}

// ---- From plain rows to the scan ----------------------------------------------------

std::uint32_t packed_colour(colour c) { return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b; }

std::uint32_t packed_colour(const std::uint8_t* rgb) { return packed_colour(colour{rgb[0], rgb[1], rgb[2]}); }

/// Palette lookup by colour, for rows WIC gives as grey levels or colours where GDAL
/// gives indices: a bilevel or min-is-white TIFF, a palette BMP that wine widens (an
/// RLE-compressed one). Exact where no colour is in the palette twice; where one is,
/// its first index stands for both.
class palette_index {
public:
    explicit palette_index(const std::vector<colour>& palette) {
        for (std::size_t k = 0; k < palette.size(); ++k) {
            entries_.push_back({packed_colour(palette[k]), static_cast<std::uint8_t>(k)});
        }
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const entry& a, const entry& b) { return a.rgb < b.rgb; });
    }
    /// The index of the colour: -1 where the palette lacks it.
    int find(std::uint32_t rgb) const {
        const auto at = std::lower_bound(entries_.begin(), entries_.end(), rgb,
                                         [](const entry& e, std::uint32_t v) { return e.rgb < v; });
        return at == entries_.end() || at->rgb != rgb ? -1 : at->index;
    }

private:
    struct entry {
        std::uint32_t rgb;
        std::uint8_t index;
    };
    std::vector<entry> entries_;
};

/// Turns plain rows into the scan's rows. False for a pixel the scan cannot hold: an
/// index past the palette (only in a broken file), a colour a palette scan's palette
/// lacks.
class row_mapper {
public:
    /// `wic_palette`: the frame's palette, where its rows are indices.
    row_mapper(layout_class native, const scan_image& scan, const std::vector<colour>& wic_palette)
        : one_byte_(one_byte_a_pixel(native)), target_(scan.type), lookup_(scan.palette) {
        if (!one_byte_) {
            return;
        }
        // Each value of a one-byte row stands for a colour: an index for the entry of
        // WIC's palette, a level for that grey. What the scan holds for it follows.
        for (unsigned v = 0; v < 256; ++v) {
            const auto level = static_cast<std::uint8_t>(v);
            const bool index = native == layout_class::indices;
            const bool known = !index || v < wic_palette.size();
            shown_[v] = index ? (known ? wic_palette[v] : colour{}) : colour{level, level, level};
            switch (target_) {
            case scan_image::kind::indexed:
                result_[v] = index ? (v < scan.palette.size() ? static_cast<int>(v) : -1)
                                   : lookup_.find(packed_colour(shown_[v]));
                break;
            case scan_image::kind::grey:
                result_[v] = known ? shown_[v].r : -1;
                break;
            case scan_image::kind::colour:
                result_[v] = known ? 0 : -1;
                break;
            }
        }
    }

    bool map(const std::uint8_t* plain, std::uint32_t width, std::uint8_t* out) const {
        if (one_byte_) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const int result = result_[plain[x]];
                if (result < 0) {
                    return false;
                }
                if (target_ == scan_image::kind::colour) {
                    const colour& c = shown_[plain[x]];
                    *out++ = c.r;
                    *out++ = c.g;
                    *out++ = c.b;
                } else {
                    *out++ = static_cast<std::uint8_t>(result);
                }
            }
            return true;
        }
        switch (target_) {
        case scan_image::kind::colour:
            std::memcpy(out, plain, 3 * std::size_t{width});
            return true;
        case scan_image::kind::grey:
            for (std::uint32_t x = 0; x < width; ++x) {
                out[x] = plain[3 * std::size_t{x}];
            }
            return true;
        case scan_image::kind::indexed:
            break;
        }
        // Runs of one colour are common in a chart: each is looked up once.
        std::uint32_t last = UINT32_MAX;
        int index = -1;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t rgb = packed_colour(plain + 3 * std::size_t{x});
            if (rgb != last) {
                last = rgb;
                index = lookup_.find(rgb);
                if (index < 0) {
                    return false;
                }
            }
            out[x] = static_cast<std::uint8_t>(index);
        }
        return true;
    }

private:
    bool one_byte_;
    scan_image::kind target_;
    palette_index lookup_;
    std::array<int, 256> result_{};  // for one-byte rows: the scan's byte, or -1
    std::array<colour, 256> shown_{};
};

/// The frame's rows, straight from the decoder where their format is one widened
/// here, through WIC's converter to 24-bit BGR for any other; nothing where the
/// converter cannot make them.
struct frame_rows {
    IWICBitmapSource* source = nullptr;
    const native_layout* layout = nullptr;
    com_ref<IWICFormatConverter> converter;
};

bool open_rows(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, const WICPixelFormatGUID& format,
               frame_rows& rows) {
    rows.source = frame;
    rows.layout = find_layout(format);
    if (rows.layout != nullptr) {
        return true;
    }
    rows.layout = &converted_layout;
    if (FAILED(factory->CreateFormatConverter(rows.converter.out())) ||
        FAILED(rows.converter->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                          WICBitmapPaletteTypeCustom))) {
        return false;
    }
    rows.source = rows.converter.get();
    return true;
}

std::optional<scan_image> decode(IWICImagingFactory* factory, const std::wstring& name, container format,
                                 const file_head& head) {
    com_ref<IWICStream> stream;
    com_ref<IWICBitmapDecoder> decoder;
    com_ref<IWICBitmapFrameDecode> frame;
    if (FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromFilename(name.c_str(), GENERIC_READ)) ||
        FAILED(factory->CreateDecoder(container_format(format), &GUID_VendorMicrosoft, decoder.out())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.out()))) {
        return std::nullopt;
    }
    UINT width = 0;
    UINT height = 0;
    WICPixelFormatGUID pixel_format{};
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 || width > INT_MAX ||
        height > INT_MAX || FAILED(frame->GetPixelFormat(&pixel_format)) || is_cmyk(pixel_format)) {
        return std::nullopt;
    }
    auto plan = plan_scan(format, head, frame.get(), pixel_format);
    frame_rows rows;
    if (!plan || !open_rows(factory, frame.get(), pixel_format, rows)) {
        return std::nullopt;
    }
    const native_layout& layout = *rows.layout;

    scan_image scan;
    scan.type = plan->type;
    scan.width = width;
    scan.height = height;
    // WIC's palette is wanted for the colours of index rows, and as the scan's palette
    // where GDAL's is the file's own.
    const bool index_rows = layout.type == layout_class::indices;
    const bool own_palette = scan.type == scan_image::kind::indexed && !plan->palette;
    std::vector<colour> wic_entries;
    if (index_rows || own_palette) {
        auto entries = wic_palette(factory, decoder.get(), frame.get());
        if (!entries) {
            return std::nullopt;
        }
        wic_entries = std::move(*entries);
    }
    if (scan.type == scan_image::kind::indexed) {
        scan.palette = own_palette ? wic_entries : std::move(*plan->palette);
    }

    // CopyPixels takes 32-bit strides and sizes: a row that needs more cannot be held.
    const std::size_t stride = (std::size_t{width} * bits_a_pixel(layout) + 7) / 8;
    const std::size_t row_bytes = scan.row_bytes();
    if (stride > UINT_MAX || !reserve_pixels(scan)) {
        return std::nullopt;
    }

    // Windows of about 1 MiB of native rows, each asked of WIC in one call.
    const std::size_t window_rows =
        std::clamp<std::size_t>((std::size_t{1} << 20) / stride, 1, std::min<std::size_t>(height, UINT_MAX / stride));
    std::vector<std::uint8_t> native(stride * window_rows);
    std::vector<std::uint8_t> plain(std::size_t{width} * (one_byte_a_pixel(layout.type) ? 1 : 3));
    const row_mapper mapper(layout.type, scan, wic_entries);
    for (std::size_t y = 0; y < height; y += window_rows) {
        const std::size_t count = std::min<std::size_t>(window_rows, height - y);
        const WICRect window{0, static_cast<INT>(y), static_cast<INT>(width), static_cast<INT>(count)};
        if (FAILED(rows.source->CopyPixels(&window, static_cast<UINT>(stride), static_cast<UINT>(stride * count),
                                           native.data()))) {
            return std::nullopt;
        }
        const std::size_t at = scan.pixels.size();
        scan.pixels.resize(at + row_bytes * count);
        for (std::size_t r = 0; r < count; ++r) {
            plain_row(layout, native.data() + r * stride, width, plain.data());
            if (!mapper.map(plain.data(), width, scan.pixels.data() + at + r * row_bytes)) {
                return std::nullopt;
            }
        }
    }
    return scan;
}

}  // namespace

std::optional<scan_image> read_scan(const std::string& path) {
    const auto name = wide_name(path);
    if (!name) {
        return std::nullopt;
    }
    try {
        const scan_file file(*name);
        const auto head = file.head();
        const auto format = head ? container_of(*head) : std::nullopt;
        if (!format) {
            return std::nullopt;
        }
        start_com();
        com_ref<IWICImagingFactory> factory;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory.out())))) {
            return std::nullopt;
        }
        return decode(factory.get(), *name, *format, *head);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

}  // namespace hdrmill
