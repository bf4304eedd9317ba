// The Windows decoder: the glue between the Windows Imaging Component's own decoders of
// the five scan formats and the shared steps, which make every scan exactly the bytes
// the Linux decoder gives for the same file: the layout from the file's own fields
// (scan_layout), native rows widened by plain_row (native_rows) and mapped to the
// scan's kind by row_mapper. WIC hands over each frame in its native pixel format,
// with its palette; only formats the shared steps do not know go through WIC's
// converter.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <array>
#include <climits>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "scan/native_rows.hpp"
#include "scan/row_mapper.hpp"
#include "scan/scan_layout.hpp"
#include "scan/scan_reader.hpp"

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

/// The scan file, opened to be read and shut to writers and to renaming for as long as
/// it is open: WIC opens the file again by name to decode it, and while this is open,
/// what WIC opens is the file whose first bytes were read here.
class locked_file {
public:
    explicit locked_file(const std::wstring& name)
        : handle_(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    locked_file(const locked_file&) = delete;
    locked_file& operator=(const locked_file&) = delete;
    ~locked_file() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }

    /// The first bytes, or nothing for what is not a file on a disk: a device such as
    /// CON or a pipe is no scan, and reading CON would wait for the keyboard.
    std::optional<file_head> head() const {
        if (GetFileType(handle_) != FILE_TYPE_DISK) {
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

const GUID& container_format(scan_container format) {
    switch (format) {
    case scan_container::tiff:
        return GUID_ContainerFormatTiff;
    case scan_container::png:
        return GUID_ContainerFormatPng;
    case scan_container::jpeg:
        return GUID_ContainerFormatJpeg;
    case scan_container::gif:
        return GUID_ContainerFormatGif;
    case scan_container::bmp:
        break;
    }
    return GUID_ContainerFormatBmp;
}

// The pixel formats WIC's decoders give for scans, each widened by plain_row.
const std::pair<const GUID*, native_format> native_formats[] = {
    {&GUID_WICPixelFormat1bppIndexed, native_format::indexed1},
    {&GUID_WICPixelFormat2bppIndexed, native_format::indexed2},
    {&GUID_WICPixelFormat4bppIndexed, native_format::indexed4},
    {&GUID_WICPixelFormat8bppIndexed, native_format::indexed8},
    {&GUID_WICPixelFormatBlackWhite, native_format::grey1},
    {&GUID_WICPixelFormat2bppGray, native_format::grey2},
    {&GUID_WICPixelFormat4bppGray, native_format::grey4},
    {&GUID_WICPixelFormat8bppGray, native_format::grey8},
    {&GUID_WICPixelFormat16bppGray, native_format::grey16},
    {&GUID_WICPixelFormat24bppBGR, native_format::bgr24},
    {&GUID_WICPixelFormat24bppRGB, native_format::rgb24},
    {&GUID_WICPixelFormat32bppBGR, native_format::bgrx32},
    {&GUID_WICPixelFormat32bppBGRA, native_format::bgra32},
    {&GUID_WICPixelFormat32bppPBGRA, native_format::pbgra32},
    {&GUID_WICPixelFormat32bppRGB, native_format::rgbx32},
    {&GUID_WICPixelFormat32bppRGBA, native_format::rgba32},
    {&GUID_WICPixelFormat32bppPRGBA, native_format::prgba32},
    {&GUID_WICPixelFormat48bppRGB, native_format::rgb48},
    {&GUID_WICPixelFormat48bppBGR, native_format::bgr48},
    {&GUID_WICPixelFormat64bppRGB, native_format::rgbx64},
    {&GUID_WICPixelFormat64bppRGBA, native_format::rgba64},
    {&GUID_WICPixelFormat64bppPRGBA, native_format::prgba64},
    {&GUID_WICPixelFormat64bppBGRA, native_format::bgra64},
    {&GUID_WICPixelFormat64bppPBGRA, native_format::pbgra64},
    {&GUID_WICPixelFormat16bppBGR555, native_format::bgr555},
    {&GUID_WICPixelFormat16bppBGR565, native_format::bgr565},
};

const native_layout* find_layout(const WICPixelFormatGUID& format) {
    for (const auto& [guid, native] : native_formats) {
        if (*guid == format) {
            return &layout_of(native);
        }
    }
    return nullptr;
}

bool is_cmyk(const WICPixelFormatGUID& format) {
    return format == GUID_WICPixelFormat32bppCMYK || format == GUID_WICPixelFormat64bppCMYK ||
           format == GUID_WICPixelFormat40bppCMYKAlpha || format == GUID_WICPixelFormat80bppCMYKAlpha;
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

}  // namespace

struct scan_decoder {
    explicit scan_decoder(const std::wstring& name) : file(name) {}
    locked_file file;
    com_ref<IWICImagingFactory> factory;
    com_ref<IWICStream> stream;
    com_ref<IWICBitmapDecoder> decoder;
    com_ref<IWICBitmapFrameDecode> frame;
    com_ref<IWICFormatConverter> converter;
    IWICBitmapSource* rows = nullptr;       // the frame, or the converter over it
    const native_layout* layout = nullptr;  // of the rows
    std::vector<colour> row_palette;        // WIC's palette, where the rows are indices
    std::vector<colour> palette;            // the scan's
};

opened_scan::opened_scan() = default;
opened_scan::~opened_scan() = default;
opened_scan::opened_scan(opened_scan&&) noexcept = default;
opened_scan& opened_scan::operator=(opened_scan&&) noexcept = default;

namespace {

const native_layout converted_layout = layout_of(native_format::bgr24);

/// The frame's rows, straight from the decoder where their format is one plain_row
/// widens, through WIC's converter to 24-bit BGR for any other. False where the
/// converter cannot make them.
bool open_rows(scan_decoder& state, const WICPixelFormatGUID& format) {
    state.rows = state.frame.get();
    state.layout = find_layout(format);
    if (state.layout != nullptr) {
        return true;
    }
    state.layout = &converted_layout;
    if (FAILED(state.factory->CreateFormatConverter(state.converter.out())) ||
        FAILED(state.converter->Initialize(state.frame.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                           nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
        return false;
    }
    state.rows = state.converter.get();
    return true;
}

/// WIC's palette is wanted for the colours of index rows, and as the scan's palette
/// where the layout leaves it to the decoder.
bool take_palettes(scan_decoder& state, scan_image::kind type, std::vector<colour> layout_palette) {
    const bool own_palette = type == scan_image::kind::indexed && layout_palette.empty();
    if (state.layout->type == layout_class::indices || own_palette) {
        auto entries = wic_palette(state.factory.get(), state.decoder.get(), state.frame.get());
        if (!entries) {
            return false;
        }
        state.row_palette = std::move(*entries);
    }
    if (type == scan_image::kind::indexed) {
        state.palette = own_palette ? state.row_palette : std::move(layout_palette);
    }
    return true;
}

scan_opening refused(std::string reason) { return {std::nullopt, std::move(reason)}; }

/// Opens the frame of an opened file: its size, its layout, its rows.
scan_opening open_frame(std::unique_ptr<scan_decoder> state, const std::wstring& name, scan_container format,
                        scan_layout layout) {
    start_com();
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(state->factory.out())))) {
        return refused("the Windows Imaging Component could not be started");
    }
    if (FAILED(state->factory->CreateStream(state->stream.out())) ||
        FAILED(state->stream->InitializeFromFilename(name.c_str(), GENERIC_READ)) ||
        FAILED(state->factory->CreateDecoder(container_format(format), &GUID_VendorMicrosoft, state->decoder.out())) ||
        FAILED(state->decoder->Initialize(state->stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(state->decoder->GetFrame(0, state->frame.out()))) {
        return refused(scan_refusal::damaged);
    }
    UINT width = 0;
    UINT height = 0;
    WICPixelFormatGUID pixel_format{};
    if (FAILED(state->frame->GetSize(&width, &height)) || FAILED(state->frame->GetPixelFormat(&pixel_format))) {
        return refused(scan_refusal::damaged);
    }
    if (format == scan_container::jpeg) {
        // A JPEG's components show only through the pixel format WIC gives it.
        layout = jpeg_layout(pixel_format == GUID_WICPixelFormat8bppGray ? 1 : is_cmyk(pixel_format) ? 4 : 3);
    }
    if (!layout.type) {
        return refused(scan_refusal::layout(layout.refusal));
    }
    if (auto refusal = scan_refusal::size(width, height); !refusal.empty()) {
        return refused(std::move(refusal));
    }
    // Where the file's own fields give the size, WIC must agree, as GDAL must.
    if (layout.width != 0 && (layout.width != width || layout.height != height)) {
        return refused(scan_refusal::damaged);
    }
    if (!open_rows(*state, pixel_format)) {
        return refused(scan_refusal::layout("a pixel format the Windows Imaging Component does not convert"));
    }
    if (!take_palettes(*state, *layout.type, std::move(layout.palette))) {
        return refused(scan_refusal::damaged);
    }
    opened_scan scan;
    scan.width = width;
    scan.height = height;
    scan.type = *layout.type;
    scan.decoder = std::move(state);
    return {std::move(scan), {}};
}

/// Why a name that cannot be opened gives no scan.
std::string unopened(const std::wstring& name) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return scan_refusal::no_file;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? scan_refusal::not_a_file : scan_refusal::cannot_open;
}

}  // namespace

bool scan_decoder_loaded() { return true; }

scan_opening open_scan(const std::string& path) {
    const auto name = wide_name(path);
    if (!name) {
        return refused(scan_refusal::no_file);
    }
    try {
        auto state = std::make_unique<scan_decoder>(*name);
        if (!state->file.is_open()) {
            return refused(unopened(*name));
        }
        const auto head = state->file.head();
        if (!head) {
            return refused(scan_refusal::not_a_file);
        }
        const auto format = container_of(*head);
        if (!format) {
            return refused(scan_refusal::other_format);
        }
        auto layout = layout_before_decoding(*format, *head, path);
        if (!layout.type && *format != scan_container::jpeg) {
            return refused(layout.refusal.empty() ? std::string(scan_refusal::damaged)
                                                  : scan_refusal::layout(layout.refusal));
        }
        return open_frame(std::move(state), *name, *format, std::move(layout));
    } catch (const std::bad_alloc&) {
        return refused(scan_refusal::no_memory);
    }
}

namespace {

/// Every row of the opened scan into `scan`, in windows of about 1 MiB of native rows,
/// each asked of WIC in one call.
std::string copy_rows(scan_decoder& state, scan_image& scan) {
    const native_layout& layout = *state.layout;
    // CopyPixels takes 32-bit strides and sizes: a row that needs more cannot be held.
    const std::size_t stride = (std::size_t{scan.width} * bits_a_pixel(layout) + 7) / 8;
    const std::size_t row_bytes = scan.row_bytes();
    if (stride > UINT_MAX || !reserve_pixels(scan)) {
        return scan_refusal::no_memory;
    }
    const std::size_t window_rows = std::clamp<std::size_t>((std::size_t{1} << 20) / stride, 1,
                                                            std::min<std::size_t>(scan.height, UINT_MAX / stride));
    std::vector<std::uint8_t> native(stride * window_rows);
    std::vector<std::uint8_t> plain(std::size_t{scan.width} * (one_byte_a_pixel(layout.type) ? 1 : 3));
    const row_mapper mapper(layout.type, scan, state.row_palette);
    for (std::size_t y = 0; y < scan.height; y += window_rows) {
        const std::size_t count = std::min<std::size_t>(window_rows, scan.height - y);
        const WICRect window{0, static_cast<INT>(y), static_cast<INT>(scan.width), static_cast<INT>(count)};
        if (FAILED(state.rows->CopyPixels(&window, static_cast<UINT>(stride), static_cast<UINT>(stride * count),
                                          native.data()))) {
            return scan_refusal::damaged;
        }
        const std::size_t at = scan.pixels.size();
        scan.pixels.resize(at + row_bytes * count);
        for (std::size_t r = 0; r < count; ++r) {
            plain_row(layout, native.data() + r * stride, scan.width, plain.data());
            if (!mapper.map(plain.data(), scan.width, scan.pixels.data() + at + r * row_bytes)) {
                return scan_refusal::damaged;
            }
        }
    }
    return {};
}

}  // namespace

scan_reading decode_scan(opened_scan& opened) {
    start_com();  // a scan opened on one thread may be decoded on another
    scan_image scan;
    scan.type = opened.type;
    scan.width = opened.width;
    scan.height = opened.height;
    try {
        scan.palette = std::move(opened.decoder->palette);
        auto refusal = copy_rows(*opened.decoder, scan);
        opened.decoder.reset();
        if (!refusal.empty()) {
            return {std::nullopt, std::move(refusal)};
        }
    } catch (const std::bad_alloc&) {
        return {std::nullopt, scan_refusal::no_memory};
    } catch (const std::length_error&) {
        return {std::nullopt, scan_refusal::no_memory};
    }
    return {std::move(scan), {}};
}

}  // namespace hdrmill
