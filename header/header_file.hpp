#pragma once

#include <string>
#include <string_view>

namespace hdrmill {

/// One header file on disk, replaced whole or not at all.
///
/// A name that holds a regular file, a symbolic link or nothing yet is written into a
/// new temporary file in the same folder (".hdrmill-N.tmp", never a header's name),
/// which is renamed over the name only once it is complete and closed without error.
/// Until then the old header stands untouched; on any failure the temporary file is
/// removed. A symbolic link is replaced itself: the file it points to is not touched.
/// A name that holds anything else (a device such as /dev/null or /dev/full, a FIFO,
/// a terminal) is written directly, as there is nothing there to keep.
///
/// A new header gets the permissions of any newly created file (0666 less the umask),
/// whether it replaces a file or not. An old header that the user may not write is
/// left alone: the header counts as not created, as it always has.
///
/// While a temporary file exists, SIGINT, SIGTERM and SIGHUP are held back: the
/// temporary file is removed and the run then ends through the signal as usual. After
/// SIGKILL or a power loss the old header still stands under its name.
class header_file {
public:
    header_file() = default;
    ~header_file();
    header_file(const header_file&) = delete;
    header_file& operator=(const header_file&) = delete;

    /// Creates the file that will receive the header. False when it cannot be created.
    bool create(const std::string& name);

    /// Writes the whole header in one piece, closes it and, for a temporary file, puts
    /// it in place of the old header. False when any of that failed; the old header is
    /// then as it was and no temporary file is left.
    bool write_and_close(std::string_view bytes);

private:
    void discard();

    std::string name_;
    std::string temporary_;   // empty when the name is written directly
    int descriptor_ = -1;
    bool replaces_file_ = false;   // an old header stands under the name
};

}  // namespace hdrmill
