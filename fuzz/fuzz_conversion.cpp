// Feeds arbitrary bytes through the whole conversion: the calibration reader, the
// chart record, the per-chart step (selection, listing, checking, counting) and the
// header writer. Headers are rendered in memory, so fuzzing creates no files.
// Besides the sanitizers' checks, every header must keep its CR LF line ends, end with
// its DTM record, and say truly where its BSB, RA= and OST records stand.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calibration/calibration_reader.hpp"
#include "driver/handle_chart.hpp"
#include "header/header_text.hpp"
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

bool offsets_are_true(const hdrmill::header_text& header) {
    const std::string_view text(header.text);
    return text.substr(header.bsb_offset, 7) == "BSB/NA=" && text.substr(header.raster_offset, 3) == "RA=" &&
           text.substr(header.ost_offset, 7) == "OST/1\r\n";
}

hdrmill::header_outcome write_header_in_memory(hdrmill::input_buffer& record, const hdrmill::header_naming& naming,
                                               hdrmill::console& out) {
    if (!hdrmill::announce_header_file(record, naming, out)) {
        return hdrmill::header_outcome::unsafe_name;
    }
    const auto header = hdrmill::render_header(record);
    if (!has_only_cr_lf_line_ends(header.text) || !ends_with_datum_record(header.text) || !offsets_are_true(header)) {
        std::abort();
    }
    return hdrmill::header_outcome::written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::FILE* const discard = std::fopen("/dev/null", "w");
    hdrmill::console out(discard);

    // The first byte picks the options a user might have given.
    std::vector<std::string> arguments{"CHARTCAL.DIR"};
    if (size > 0) {
        for (const auto& [bit, word] : {std::pair{1, "-d"}, {2, "-l"}, {16, "-c"}}) {
            if ((data[0] & bit) != 0) {
                arguments.emplace_back(word);
            }
        }
        if ((data[0] & 4) != 0) {
            arguments.insert(arguments.end(), {"-e", "kap"});
        }
        if ((data[0] & 8) != 0) {
            arguments.insert(arguments.end(), {"-s", "A"});
        }
        // The top three bits pick a -t: none, the bounds, just past them, and values far
        // outside any pixel grid, so that the same-pixel grid meets every tolerance.
        static const char* const tolerances[] = {nullptr, "0.01", "100000", "0.0099", "1e-300", "1e9", "nan", "2.5"};
        if (const char* tolerance = tolerances[data[0] >> 5]) {
            arguments.insert(arguments.end(), {"-t", tolerance});
        }
        ++data;
        --size;
    }
    const auto info = hdrmill::scan_arguments(arguments);
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // Some C libraries refuse to open an empty buffer; an empty file reads the same.
    std::FILE* file = bytes.empty() ? std::fopen("/dev/null", "rb") : fmemopen(bytes.data(), bytes.size(), "rb");
    hdrmill::input_file input;
    if (!input.attach(file)) {
        return 0;
    }
    hdrmill::run_tally tally;
    hdrmill::read_calibration_file(input, info.reading, out, [&](hdrmill::input_buffer& record) {
        hdrmill::handle_chart(record, info, out, tally, write_header_in_memory);
    });
    return 0;
}
