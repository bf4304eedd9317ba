#pragma once

#include <string>
#include <vector>

#include "platform/file_identity.hpp"

namespace hdrmill {

/// The files a -k run must never replace with a chart: its inputs (the calibration
/// file and the scan of every chart in it, selected or not), and the charts it has
/// made itself. Files are compared by identity (see file_identity), not by spelling.
class chart_files {
public:
    /// Taken before the first chart is made, so that a scan is known as one even when a
    /// chart before its own would be made under its name.
    void add_input(const std::string& path, bool is_calibration);
    /// Taken once the chart stands under `name`.
    void add_made(const std::string& name);

    /// Empty when a chart may be written under `name`; otherwise why not, as the words
    /// after "Not made NAME: ". Refused: the calibration file, a scan, a chart made
    /// before by this run, and an existing file that is neither empty nor a chart or
    /// header (see `holds_a_chart_or_nothing`). A link under the name counts here as
    /// the file it leads to, though it is the link that a chart replaces: a name that
    /// leads to an input is refused all the same.
    std::string why_not(const std::string& name) const;

private:
    struct known_file {
        file_identity identity;
        std::string path;
        enum class kind { calibration, scan, made } role;
    };
    std::vector<known_file> files_;
};

/// True when the regular file `name` may be replaced by a chart: it is empty, or it
/// begins as a BSB chart or header does: within its first 1,024 bytes a line begins
/// "BSB/", "NOS/" or "VER/", and the file begins with that line or with a "!" comment.
/// A name that holds no regular file (nothing, a link, a folder) counts as true: what
/// it is is left to the file's creation.
bool holds_a_chart_or_nothing(const std::string& name);

}  // namespace hdrmill
