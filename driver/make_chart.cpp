#include "driver/make_chart.hpp"

#include <optional>

#include "calibration/chart_name.hpp"
#include "check/report.hpp"
#include "driver/check_step.hpp"
#include "header/header_text.hpp"
#include "kap/kap_file.hpp"
#include "palette/night_palette.hpp"
#include "platform/file_name.hpp"
#include "platform/replaced_file.hpp"
#include "text/number_text.hpp"

namespace hdrmill {

namespace {

std::string chart_file_name(const input_buffer& record) {
    const auto file_name = record.lookup_value("FN");
    return file_name.empty() ? base_name(record) + ".kap" : file_name;
}

// The chart's name may be written: it stays in the working directory and replaces
// neither an input nor a file that is not a chart.
bool name_is_safe(const std::string& name, const chart_files& files, console& out) {
    if (is_unsafe_file_name(name)) {
        out.say("Unsafe file name " + name);
        return false;
    }
    if (const auto why = files.why_not(name); !why.empty()) {
        out.say("Not made " + name + ": " + why);
        return false;
    }
    return true;
}

// WI and HE, where given, must be the scan's size.
bool fits_wi_and_he(const input_buffer& record, const prepared_scan& scan, const std::string& path, console& out) {
    const auto width = record.lookup_value("WI");
    const auto height = record.lookup_value("HE");
    const auto differs = [](const std::string& given, std::uint32_t actual) {
        return !given.empty() && read_count(given) != static_cast<std::int64_t>(actual);
    };
    if (differs(width, scan.width) || differs(height, scan.height)) {
        out.say("Image " + path + " is " + std::to_string(scan.width) + " x " + std::to_string(scan.height) +
                " pixels; the calibration says " + width + " x " + height);
        return false;
    }
    return true;
}

bool write_chart(const std::string& name, const header_text& header, const scan_image& scan, console& out) {
    const chart_palettes palettes{scan.palette, dusk_palette(scan.palette), night_palette(scan.palette)};
    replaced_file file;
    if (!can_name_a_file(name) || !file.create(name)) {
        out.say("Could not create file " + name);
        return false;
    }
    const auto result = write_kap(header.text, header.ost_offset, palettes, scan,
                                  [&file](std::string_view bytes) { return file.write(bytes); });
    // A write cut short by Ctrl-C has ended the run already, in the file's own write.
    const bool written = result == kap_result::written && file.finish();
    if (!written) {
        out.say("Could not write file " + name);
    }
    return written;
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

chart_outcome make_chart(input_buffer& record, const chart_options& options, chart_files& files, scans_ahead& scans,
                         console& out) {
    const auto name = chart_file_name(record);
    if (!name_is_safe(name, files, out)) {
        return chart_outcome::not_made;
    }
    const auto path = scan_path(section_name(record), options.scan_folder);
    auto scan = scans.take(path);
    if (!scan.refusal.empty()) {
        out.say("Could not read image " + path + ": " + scan.refusal);
        // Checked all the same, so that one run tells everything that is wrong.
        say_findings(out, chart_label(record), check_step(record, options.tolerance, scan_size{0, 0, false}).result);
        return chart_outcome::not_made;
    }
    if (!fits_wi_and_he(record, scan, path, out)) {
        return chart_outcome::not_made;
    }
    const auto checked = check_step(record, options.tolerance, scan_size{scan.width, scan.height});
    if (!say_findings(out, chart_label(record), checked.result)) {
        out.say("Not made " + name + ": the calibration has errors");
        return chart_outcome::not_made;
    }
    // The colours are reduced before the file is created: while a temporary file stands,
    // an interrupt waits for the file to be finished or removed.
    auto reading = decoded_and_reduced(scan);
    if (!reading.scan) {
        out.say("Could not read image " + path + ": " + reading.refusal);
        return chart_outcome::not_made;
    }
    out.say("Create " + name);
    if (!write_chart(name, checked.header, *reading.scan, out)) {
        return chart_outcome::not_made;
    }
    files.add_made(name);
    return chart_outcome::made;
}

}  // namespace hdrmill
