#pragma once

#include <string>
#include <string_view>

namespace hdrmill {

/// One file on disk, a header or a chart, replaced whole or not at all.
///
/// A name that holds a regular file, a symbolic link or nothing yet is written into a
/// new temporary file in the same folder (".hdrmill-N.tmp", never a file's name),
/// which is renamed over the name only once it is complete and closed without error.
/// Until then the old file stands untouched; on any failure the temporary file is
/// removed. A symbolic link is replaced itself: the file it points to is not touched.
/// A name that holds anything else (a device such as /dev/null or /dev/full, a FIFO,
/// a terminal) is written directly, as there is nothing there to keep.
///
/// A new file gets the permissions of any newly created file (0666 less the umask),
/// whether it replaces a file or not. An old file that the user may not write is
/// left alone: the file counts as not created, as a header always has.
///
/// While a temporary file exists, SIGINT, SIGTERM and SIGHUP are held back: the
/// temporary file is removed and the run then ends through the signal as usual. After
/// SIGKILL or a power loss the old file still stands under its name.
class replaced_file {
public:
    replaced_file() = default;
    ~replaced_file();
    replaced_file(const replaced_file&) = delete;
    replaced_file& operator=(const replaced_file&) = delete;

    /// Creates the file that will receive the bytes. False when it cannot be created.
    bool create(const std::string& name);

    /// Writes the next bytes. False, and nothing more is written, once a write failed:
    /// the file is then never put in place. An ending signal held back while the file
    /// is written ends the run here, the temporary file removed, so that no caller
    /// takes the stopped write for a failure.
    bool write(std::string_view bytes);

    /// Closes the file and, for a temporary file, puts it in place of the old one. False
    /// when that or any write failed; the old file is then as it was and no temporary
    /// file is left.
    bool finish();

private:
    void discard();

    std::string name_;
    std::string temporary_;   // empty when the name is written directly
    int descriptor_ = -1;
    bool failed_ = false;
    bool replaces_file_ = false;   // an old file stands under the name
};

}  // namespace hdrmill
