// Feeds arbitrary bytes through the whole conversion: the calibration reader, the
// chart record, the per-chart step (selection, listing, checking, counting) and the
// header writer. Headers are written into memory, so fuzzing creates no files.
// Besides the sanitizers' checks, every header must keep its CR LF line ends and end
// with its DTM record.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calibration/calibration_reader.hpp"
#include "driver/handle_chart.hpp"
#include "header/write_header.hpp"

namespace {

// A CR only ever comes right before an LF, and an LF only right after a CR: the reader
// drops every CR of the input, and an LF inside a value is written as CR LF and blanks.
bool has_only_cr_lf_line_ends(std::string_view header) {
    for (std::size_t i = 0; i < header.size(); ++i) {
        const bool cr_without_lf = header[i] == '\r' && (i + 1 == header.size() || header[i + 1] != '\n');
        const bool lf_without_cr = header[i] == '\n' && (i == 0 || header[i - 1] != '\r');
        if (cr_without_lf || lf_without_cr) {
            return false;
        }
    }
    return true;
}

bool ends_with_datum_record(std::string_view header) {
    const auto last = header.rfind("\r\nDTM/");
    return last != std::string_view::npos && header.find("\r\n", last + 2) == header.size() - 2;
}

hdrmill::header_outcome write_header_in_memory(hdrmill::input_buffer& record, const hdrmill::command_line_info& info,
                                               hdrmill::console& out) {
    if (!hdrmill::announce_header_file(record, info, out)) {
        return hdrmill::header_outcome::unsafe_name;
    }
    std::string header;
    hdrmill::header_stream stream([&header](std::string_view line) {
        header.append(line);
        return true;
    });
    hdrmill::write_header_records(record, stream);
    if (!has_only_cr_lf_line_ends(header) || !ends_with_datum_record(header)) {
        std::abort();
    }
    return hdrmill::header_outcome::written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::FILE* const discard = std::fopen("/dev/null", "w");
    hdrmill::console out(discard);

    // The first byte picks the options a user might have given.
    hdrmill::command_line_info info;
    if (size > 0) {
        info.debug = (data[0] & 1) != 0;
        info.list = (data[0] & 2) != 0;
        info.extension = (data[0] & 4) != 0 ? "kap" : "";
        info.chartname = (data[0] & 8) != 0 ? "A" : "";
        info.check = (data[0] & 16) != 0;
        ++data;
        --size;
    }
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // Some C libraries refuse to open an empty buffer; an empty file reads the same.
    std::FILE* file = bytes.empty() ? std::fopen("/dev/null", "rb") : fmemopen(bytes.data(), bytes.size(), "rb");
    hdrmill::input_file input;
    if (!input.attach(file)) {
        return 0;
    }
    hdrmill::run_tally tally;
    hdrmill::read_calibration_file(input, info, out, [&](hdrmill::input_buffer& record) {
        hdrmill::handle_chart(record, info, out, tally, write_header_in_memory);
    });
    return 0;
}
