#!/usr/bin/env python3
"""A mutation pass: plausible slips applied to the program one at a time, each rebuilt
and run against the release tests, to see which slips the tests catch.

    tools/mutation_pass.py [TREE]     default: this checkout
    MUTANTS_ONLY=4,5 tools/mutation_pass.py     only the mutants with these numbers

Works in a copy of TREE (its git HEAD plus uncommitted changes) under a temporary
folder, so the checkout is never changed. Prints one line per mutant and the kill rate.
"""
import os
import shutil
import subprocess
import sys
import tempfile

# (file, text, replacement): the first occurrence of text is replaced.
MUTANTS = [
    ("text/trim.cpp", "c == '\\t' || ", ""),
    ("text/list_pick.cpp", "position = comma + 1;", "position = comma;"),
    ("text/integer_text.cpp", "return std::string(digits.data(), result.ptr);", "return std::string(digits.data() + (n < 0), result.ptr);"),
    ("text/number_text.cpp", "return negative ? -value : value;", "return negative ? value : value;"),
    ("text/number_text.cpp", "return text.front() == '-' ? -value : value;", "return value;"),
    ("calibration/input_buffer.cpp", "if (equals != std::string_view::npos && equals + 1 < text.size()) {",
     "if (equals != std::string_view::npos && equals < text.size()) {"),
    ("calibration/key_index.cpp", "    if (place.entry == no_entry) {\n        place = {hash", "    if (true) {\n        place = {hash"),
    ("calibration/key_index.cpp", "key_at(entries_[next_guess_]) == key", "key_at(entries_[next_guess_]).size() == key.size()"),
    ("calibration/calibration_reader.cpp", "line.front() == ';'", "line.front() == '#'"),
    ("calibration/calibration_reader.cpp", "line.front() == ' '", "(line.front() == ' ' || line.front() == '\\t')"),
    ("calibration/calibration_reader.cpp", "return read_result::read_error;", "return read_result::complete;"),
    ("platform/input_file.cpp", "if (const void* stop = std::memchr(block_.data(), end_of_text, end_)) {",
     "static bool first = true;\n    if (const void* stop = first ? (first = false, std::memchr(block_.data(), end_of_text, end_)) : nullptr) {"),
    ("platform/input_file.cpp", "block_.data());\n        at_end_ = true;", "block_.data());"),
    ("calibration/chart_name.cpp", "name.rfind('.')", "name.find('.')"),
    ("calibration/chart_name.cpp", 'return record.lookup_value("FN").empty() ? section_name(record) : short_name(record);',
     "return section_name(record);"),
    ("platform/console.cpp", "failed_ = failed_ || !written;", "failed_ = !written;"),
    ("driver/handle_chart.cpp", "constexpr std::size_t name_width = 15;", "constexpr std::size_t name_width = 14;"),
    ("driver/run.cpp", "return tally.listed > 0 ? 0 : 1;", "return 1;"),
    ("driver/run.cpp", "return tally.converted > 0 && !tally.header_failed ? 0 : 1;", "return tally.converted > 0 ? 0 : 1;"),
    ("driver/command_line.cpp", "info.naming.extension = arguments[++i];", "info.naming.outfile = arguments[++i];"),
    ("driver/command_line.cpp", "info.mode = list ? run_mode::list : check ? run_mode::check : make ? run_mode::make : run_mode::convert;",
     "info.mode = list ? run_mode::list : make ? run_mode::make : check ? run_mode::check : run_mode::convert;"),
    ("platform/file_name.cpp", 'if (name.substr(start, end - start) == "..") {', 'if (name.substr(start, end - start) == "...") {'),
    ("header/chart_parameters.cpp", "* 100.0) + 0.5;", "* 100.0);"),
    ("header/chart_parameters.cpp", "pixel_size_y == 0.0 ||", ""),
    ("header/chart_parameters.cpp", "projection > lambert_projection", "projection >= lambert_projection"),
    ("header/chart_parameters.cpp", '"SK", "0.0"', '"SK", "0"'),
    ("header/bsb_knp_records.cpp", "parameters.projection_code == transverse_mercator_projection &&", ""),
    ("header/bsb_knp_records.cpp", "    offsets.raster = header.size();\n", ""),
    ("header/chart_points.cpp", "longitude > 180.0 ? longitude - 360.0", "longitude >= 180.0 ? longitude - 360.0"),
    ("header/chart_points.cpp", "integer_in_field(value, 1)", "integer_in_field(value, 0)"),
    ("header/reference_records.cpp", "if (point.longitude > max_longitude) {", "if (point.longitude >= max_longitude) {"),
    ("header/reference_records.cpp", "max_longitude * min_longitude < 0.0", "max_longitude * min_longitude <= 0.0"),
    ("header/reference_records.cpp", "degrees * 3600.0", "degrees * 60.0"),
    ("header/reference_records.cpp", "header.set_precision(9);", ""),
    ("header/header_stream.cpp", 'text_.append("\\r\\n    ");', 'text_.append("\\r\\n");'),
    ("header/template_lines.cpp", "directive.remove_prefix(std::min(directive.find_first_not_of(' '), directive.size()));", ""),
    ("platform/replaced_file.cpp", "written = written && closed && held_signal == 0;", "written = written && (closed || !closed) && held_signal == 0;"),
    ("platform/replaced_file.cpp", "if (written && !temporary_.empty()) {", "if (!temporary_.empty()) {"),
    ("platform/replaced_file.cpp", "return errno == ENOENT ? kind::absent : kind::other;\n    }\n    if (S_ISLNK",
     "return errno == ENOENT ? kind::absent : kind::other;\n    }\n    if (false && S_ISLNK"),
    ("check/pixel_map.cpp", "return distance <= tolerance + margin(point.plane, fitted);", "return distance < 2 * tolerance + margin(point.plane, fitted);"),
    ("check/reference_points.cpp", "{\"the latitude looks to have lost its sign\", point.x, point.y, -point.latitude, point.longitude},",
     "{\"the latitude looks to have lost its sign\", point.x, point.y, point.latitude, -point.longitude},"),
    ("check/reference_points.cpp", "return smallest < 0.25;", "return smallest < 0.0;"),
    ("check/consensus.cpp", "return a.count != b.count ? a.count > b.count : a.shear < b.shear;",
     "return a.count != b.count ? a.count > b.count : a.shear > b.shear;"),
    ("check/pixel_map.cpp", "return pixel_distance(map, point) / (1.0 - share);", "return pixel_distance(map, point);"),
    ("check/calibration_slips.cpp", "return map.xe * map.yn - map.xn * map.ye > 0.0;", "return map.xe * map.yn - map.xn * map.ye > 1e300;"),
    ("check/reference_points.cpp", "constexpr double hardly_placed = 0.9;", "constexpr double hardly_placed = 1.9;"),
    ("check/reference_points.cpp", "const std::size_t middle = (start + (longitudes.size() - 1) / 2) % longitudes.size();",
     "const std::size_t middle = start;"),
    ("check/point_keys.cpp", "if (key != canonical) {", "if (key != canonical && false) {"),
    ("check/check_chart.cpp", "constexpr std::size_t longest_record = 998;", "constexpr std::size_t longest_record = 999;"),
    ("check/projection.cpp", "eta += kruger.alpha[j - 1]", "eta -= kruger.alpha[j - 1]"),
    ("check/border_polygon.cpp", "if ((i + 1) % m == j || (j + 1) % m == i) {", "if ((i + 1) % m == j) {"),
    ("check/check_chart.cpp", "constexpr std::size_t bsb_record_within = 995;", "constexpr std::size_t bsb_record_within = 1995;"),
    ("check/check_chart.cpp", "constexpr double border_margin = 0.02;", "constexpr double border_margin = 0.2;"),
    ("check/report.cpp", "++(say_findings(out, name, result) ? tally.with_warnings : tally.with_errors);", "++(say_findings(out, name, result) ? tally.with_errors : tally.with_warnings);"),
    ("scan/scan_image.cpp", "const unsigned shift = 8 - bits * (x % per_byte + 1);", "const unsigned shift = 8 - bits * (x % per_byte);"),
    ("scan/scan_layout.cpp", "palette[k] = {level(map[k]), level(map[entries + k]), level(map[2 * entries + k])};",
     "palette[k] = {level(map[k]), level(map[entries + k]), level(map[entries + k])};"),
    ("scan/read_scan_gdal.cpp", 'return "./" + path;', "return path;"),
    ("kap/kap_file.cpp", "        if (size >= size_limit) {", "        if (false) {"),
    ("kap/kap_file.cpp", "while ((std::size_t{1} << depth) <= colours) {", "while ((std::size_t{1} << depth) < colours) {"),
    ("kap/kap_file.cpp", "std::max<std::uint64_t>(2000, 1024 * (end_marker_at / 1024 + 1));", "std::max<std::uint64_t>(2000, 1024 * (end_marker_at / 1024));"),
    ("palette/night_palette.cpp", "return darkened_palette(day, 4);", "return darkened_palette(day, 3);"),
    ("header/header_text.cpp", "    if (raster.width.empty()) {", "    if (false) {"),
    ("driver/make_chart.cpp", "read_count(given) != static_cast<std::int64_t>(actual);", "read_count(given) != static_cast<std::int64_t>(actual) && false;"),
    ("driver/make_chart.cpp", "if (!say_findings(out, chart_label(record), checked.result)) {",
     "if (!say_findings(out, chart_label(record), checked.result) && false) {"),
    ("driver/make_chart.cpp", "dusk_palette(scan.palette), night_palette(scan.palette)", "night_palette(scan.palette), dusk_palette(scan.palette)"),
    ("driver/command_line.cpp", "info.scan_folder = scan_folder ? *scan_folder : folder_of(info.infile);",
     "info.scan_folder = scan_folder ? *scan_folder : std::string();"),
    ("check/report.cpp", "clean = clean && found.severity", "clean = found.severity"),
    ("check/reference_points.cpp", "checked.y > raster->height", "checked.y > raster->width"),
    ("check/check_chart.cpp", "header.raster_offset + 3 > raster_size_within", "header.raster_offset + 2 > raster_size_within"),
    ("check/check_chart.cpp", "header.raster_offset - header.bsb_offset > raster_size_after_bsb", "header.raster_offset - header.bsb_offset > raster_size_after_bsb + 1"),
    ("check/check_chart.cpp", "header.bsb_offset >= bsb_record_within", "header.bsb_offset > bsb_record_within"),
    ("palette/few_colours.cpp", "if (set.size == limit) return false;", "if (set.size > limit) return false;"),
    ("scan/read_scan_gdal.cpp", ">= scan.palette.size()) {", "> scan.palette.size()) {"),
    ("check/point_keys.cpp", "if (!inserted && first->second != value) {", "if (!inserted) {"),
    ("calibration/input_buffer.cpp", "number > -2147483649.0", "number >= -2147483649.0"),
    ("platform/replaced_file.cpp", "written = save_to_disk(descriptor_);", "save_to_disk(descriptor_);"),
    ("platform/replaced_file.cpp", "caller could take the stopped write for a failure and say so.\n            discard();",
     "caller could take the stopped write for a failure and say so.\n"),
    ("platform/replaced_file.cpp", "        if (written) {\n            temporary_.clear();\n        }\n", "        temporary_.clear();\n"),
    # Charts never cost a user a file; scans judged by their own fields, sized first.
    ("scan/scan_layout.cpp", "[](std::uint32_t v) { return v < 256; }", "[](std::uint32_t v) { return v < 1; }"),
    ("scan/scan_layout.cpp", "if (fields.samples > 2) {", "if (fields.samples > 3) {"),
    ("scan/scan_layout.cpp", "(min_is_white ? top - k : k) * 255 / top", "(min_is_white ? k : top - k) * 255 / top"),
    ("scan/scan_reader.cpp", "if (width > most_scan_pixels / height) {", "if (width > most_scan_pixels) {"),
    ("scan/tiff_directory.cpp", "if (*count * width > offset_size()) {", "if (*count * width >= offset_size()) {"),
    ("scan/read_scan_gdal.cpp", '{"GTIFF_IGNORE_READ_ERRORS", "NO"},', ""),
    ("scan/read_scan_gdal.cpp", "if (scan.width != 0 && scan.decoder->layout.type) {", "if (false) {"),
    ("scan/native_rows.cpp", "out[0] = row[layout.r];", "out[0] = row[layout.b];"),
    ("scan/row_mapper.cpp", "result_[v] = known ? shown_[v].r : -1;", "result_[v] = known ? 0 : -1;"),
    ("driver/chart_files.cpp", "if (!same_file(identity, file.identity)) {", "if (true) {"),
    ("driver/scans_ahead.cpp", "scan.reading = decoded_and_reduced(scan);", "scan.reading = decode_scan(*scan.opened);"),
    ("palette/pixel_mapping.cpp", "    if (first > 0) mapper.map_row(first - 1);\n", ""),
    ("palette/colour_histogram.cpp", "wide.count += more.count, wide.r += more.r", "wide.count += more.count, wide.r += more.g"),
    ("driver/chart_files.cpp", "if (head.front() != '!' && !begins_a_record(head)) {", "if (false) {"),
    ("driver/run.cpp", "guard.add_input(info.infile, true);", ""),
    ("platform/file_identity.cpp", "identity.name = comparable_name(name);", 'identity.name = comparable_name("");'),
    ("check/check_chart.cpp", "if (header.raster.awaits_scan) {", "if (false) {"),
    ("check/pixel_map.cpp", "constexpr double clicking_spread = 3.0;", "constexpr double clicking_spread = 2.0;"),
    ("check/pixel_map.cpp", "return clicking_spread * std::sqrt(std::max(0.0, share));",
     "return clicking_spread * std::sqrt(std::max(0.0, share / (1.0 - share)));"),
    ("check/reference_points.cpp", "const double unnoticed = tolerance + fit.margin(ties[t].plane, true);",
     "const double unnoticed = tolerance + 2.0 * std::sqrt(share / (1.0 - share));"),
    ("check/consensus.cpp", "    settle_by_dropping(points, tolerance, grown);\n", "    static_cast<void>(&settle_by_dropping);\n"),
    ("check/same_pixel.cpp", "const double off = std::hypot(dx - cx, dy - cy);",
     "const double off = std::fabs(apart - std::hypot(cx, cy));"),
    ("check/same_pixel.cpp", "if (!(apart < tolerance)) {", "if (!(apart <= tolerance)) {"),
    ("check/same_pixel.cpp", "if (!(off > tolerance)) {", "if (!(off >= tolerance)) {"),
    ("check/same_pixel.cpp", "if (placement.planes[i] && placement.agrees[i]) {", "if (placement.planes[i]) {"),
    ("check/same_pixel.cpp", "if (named[first] && named[second]) {", "if (named[first] || named[second]) {"),
    ("check/same_pixel.cpp", "return std::hypot(width, height) <= tolerance;", "return std::hypot(width, height) <= 2 * tolerance;"),
    ("check/reference_points.cpp", "    if (point.image_height) {", "    if (false) {"),
    ("check/calibration_slips.cpp", "     false, true, false, false},", "     false, false, false, false},"),
    ("check/calibration_slips.cpp", "false, false,\n     false, true},", "false, false,\n     false, false},"),
    ("check/calibration_slips.cpp", "true, false, false,\n     false},", "false, false, false,\n     false},"),
    ("check/calibration_slips.cpp", "     false, false, true, false},", "     false, false, false, false},"),
    ("check/calibration_slips.cpp", "return std::pair{turn_from_north_up(fit->map), worst};",
     "return std::pair{worst, turn_from_north_up(fit->map)};"),
    ("check/calibration_slips.cpp", "if (!fit->agrees(tie, true, tolerance)) {", "if (false) {"),
    ("driver/command_line.cpp", "*pixels >= least_tolerance && *pixels <= greatest_tolerance",
     "*pixels > least_tolerance && *pixels <= greatest_tolerance"),
    ("driver/command_line.cpp", "*pixels >= least_tolerance && *pixels <= greatest_tolerance",
     "*pixels >= least_tolerance && *pixels < greatest_tolerance"),
    ("driver/command_line.cpp", "*pixels >= least_tolerance && *pixels <= greatest_tolerance", "*pixels > 0.0"),
    # The colour reduction: what keeps marks, strokes and the night chart.
    ("palette/choose_inks.cpp", "constexpr std::int64_t noise_off = 500;", "constexpr std::int64_t noise_off = 1600;"),
    ("palette/choose_inks.cpp", "search.fewest_pixels = std::max<std::uint64_t>(8, total >> 18);",
     "search.fewest_pixels = std::max<std::uint64_t>(8000, total >> 18);"),
    ("palette/choose_inks.cpp", "square_root_floor(static_cast<std::int64_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 40) * 16))",
     "static_cast<std::int64_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 40))"),
    ("palette/pixel_mapping.cpp", "constexpr unsigned agreeing = 4;", "constexpr unsigned agreeing = 2;"),
    ("palette/pixel_mapping.cpp", "constexpr std::int64_t neighbour_reach = 1200;", "constexpr std::int64_t neighbour_reach = 100000;"),
    ("palette/night_palette.cpp", "return ceiling * (lightest - std::clamp(lightness, darkest, lightest)) / (lightest - darkest);",
     "return ceiling * (std::clamp(lightness, darkest, lightest) - darkest) / (lightest - darkest);"),
    ("palette/night_palette.cpp", "constexpr std::int64_t full_chroma = 3000;", "constexpr std::int64_t full_chroma = 30000000;"),
]


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def main():
    tree = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    work = tempfile.mkdtemp(prefix="hdrmill-mutants-")
    copy = os.path.join(work, "tree")
    # Names as bytes: a case's header name holds every byte from 0x80 to 0xFF.
    files = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"], cwd=tree, capture_output=True,
                           check=True).stdout.split(b"\0")
    for name in map(os.fsdecode, filter(None, files)):
        if os.path.isfile(os.path.join(tree, name)):
            os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
            shutil.copy2(os.path.join(tree, name), os.path.join(copy, name))
    if run(["cmake", "--preset", "release"], copy) or run(["cmake", "--build", "--preset", "release"], copy):
        print("the unmutated tree does not build")
        return 1
    baseline = subprocess.run(["ctest", "--preset", "release", "-j2"], cwd=copy, capture_output=True)
    if baseline.returncode:
        print("the unmutated tree fails its tests:\n" + baseline.stdout[-3000:].decode(errors="replace"))
        return 1
    killed = tried = missing = 0
    only = [int(n) for n in os.environ.get("MUTANTS_ONLY", "").split(",") if n]
    for number, (name, text, replacement) in enumerate(MUTANTS, 1):
        if only and number not in only:
            continue
        path = os.path.join(copy, name)
        original = open(path).read()
        if text not in original:
            # A mutant that no longer applies tests nothing: the pass fails until it is
            # rewritten for the code as it now stands.
            print(f"{number:2} NOT APPLIED    {name}: text not found: {text!r}", flush=True)
            missing += 1
            continue
        open(path, "w").write(original.replace(text, replacement, 1))
        if run(["cmake", "--build", "--preset", "release"], copy):
            verdict = "does not build"
        elif run(["ctest", "--preset", "release", "-j2", "--stop-on-failure"], copy):
            verdict = "killed"
            killed += 1
            tried += 1
        else:
            verdict = "SURVIVED"
            tried += 1
        print(f"{number:2} {verdict:14} {name}: {text.strip()[:60]!r} -> {replacement.strip()[:40]!r}", flush=True)
        open(path, "w").write(original)
    print(f"{killed} of {tried} mutants that build killed ({100 * killed // max(tried, 1)}%)")
    shutil.rmtree(work)
    if missing:
        print(f"{missing} mutants not applied: rewrite them for the code as it now stands")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
