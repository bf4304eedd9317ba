#include "driver/make_chart.hpp"

#include <optional>

#include "calibration/chart_name.hpp"
#include "check/check_chart.hpp"
#include "header/header_name.hpp"
#include "header/header_text.hpp"
#include "kap/kap_file.hpp"
#include "palette/chart_palette.hpp"
#include "palette/night_palette.hpp"
#include "platform/file_name.hpp"
#include "platform/replaced_file.hpp"
#include "scan/scan_image.hpp"
#include "text/integer_text.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

namespace {

std::string chart_file_name(const input_buffer& record) {
    const auto file_name = record.lookup_value("FN");
    return file_name.empty() ? base_name(record) + ".kap" : file_name;
}

// WI and HE where given must be the scan's size; where not, the scan's size stands in.
bool fits_the_scan(input_buffer& record, const scan_image& scan, const std::string& path, console& out) {
    const auto width = record.lookup_value("WI");
    const auto height = record.lookup_value("HE");
    const auto differs = [](const std::string& given, std::uint32_t actual) {
        return !given.empty() && read_count(given) != static_cast<std::int32_t>(actual);
    };
    if (differs(width, scan.width) || differs(height, scan.height)) {
        out.say("Image " + path + " is " + std::to_string(scan.width) + " x " + std::to_string(scan.height) +
                " pixels; the calibration says " + width + " x " + height);
        return false;
    }
    if (width.empty()) {
        record.append_line("WI=" + std::to_string(scan.width));
    }
    if (height.empty()) {
        record.append_line("HE=" + std::to_string(scan.height));
    }
    return true;
}

// The check's errors and warnings, as -c says them; true when there is no error.
bool passes_the_check(const input_buffer& record, const header_text& header, double tolerance, console& out) {
    const auto result = check_chart(record, header, tolerance);
    bool clean = true;
    for (const auto& found : result.findings) {
        out.say(finding_line(chart_label(record), found));
        clean = clean && found.severity != finding::level::error;
    }
    return clean;
}

bool write_chart(const std::string& name, const header_text& header, scan_image& scan, console& out) {
    // The colours are reduced before the file is created: while a temporary file stands,
    // an interrupt waits for the file to be finished or removed.
    reduce_colours(scan, kap_most_colours);
    const chart_palettes palettes{scan.palette, dusk_palette(scan.palette), night_palette(scan.palette)};
    replaced_file file;
    if (!can_name_a_file(name) || !file.create(name)) {
        out.say("Could not create file " + name);
        return false;
    }
    const auto result = write_kap(header.text, header.ost_offset, palettes, scan,
                                  [&file](std::string_view bytes) { return file.write(bytes); });
    if (result != kap_result::written || !file.finish()) {
        out.say("Could not write file " + name);
        return false;
    }
    return true;
}

}  // namespace

std::string scan_path(const std::string& section, const std::string& scan_folder) {
    std::string name = section;
#ifndef _WIN32
    for (auto& c : name) {
        c = c == '\\' ? '/' : c;
    }
#endif
    if (is_absolute_name(section) || scan_folder.empty()) {
        return name;
    }
    const char last = scan_folder.back();
    return scan_folder + (last == '/' || last == '\\' ? "" : "/") + name;
}

chart_outcome make_chart(input_buffer& record, const chart_options& options, console& out) {
    const auto name = chart_file_name(record);
    if (is_unsafe_file_name(name)) {
        out.say("Unsafe file name " + name);
        return chart_outcome::not_made;
    }
    const auto path = scan_path(section_name(record), options.scan_folder);
    auto scan = read_scan(path);
    if (!scan) {
        out.say("Could not read image " + path);
    } else if (!fits_the_scan(record, *scan, path, out)) {
        return chart_outcome::not_made;
    }
    // Checked even without its scan, so that one run tells everything that is wrong.
    const auto header = render_header(record);
    const bool clean = passes_the_check(record, header, options.tolerance, out);
    if (!scan) {
        return chart_outcome::not_made;
    }
    if (!clean) {
        out.say("Not made " + name + ": the calibration has errors");
        return chart_outcome::not_made;
    }
    out.say("Create " + name);
    return write_chart(name, header, *scan, out) ? chart_outcome::made : chart_outcome::not_made;
}

}  // namespace hdrmill
