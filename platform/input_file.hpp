#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace hdrmill {

/// The calibration directory file, read as the calibration program's text files are
/// meant to be read, with the same bytes on every platform: the file is opened in
/// binary mode and the text-mode rules are applied here, by hand. Every CR byte is
/// dropped wherever it stands, and a 0x1A byte (Ctrl-Z) ends the input as if the
/// file ended there. Lines end at LF and may be of any length.
///
/// The file is read in fixed-size blocks, so memory never grows with the file, only
/// with the longest line.
class input_file {
public:
    input_file();
    ~input_file();
    input_file(const input_file&) = delete;
    input_file& operator=(const input_file&) = delete;

    /// Opens `path` and reads its first block. False when the file cannot be opened or
    /// cannot be read as a file (a directory opens on some systems but reads nothing).
    bool open(const std::string& path);

    /// Reads from `file`, already open for reading in binary mode, and closes it when
    /// done; the same checks as `open`.
    bool attach(std::FILE* file);

    /// The next line, without its LF and its CR bytes, into `line`; the view stays valid
    /// until the next call. The pieces between LFs are all lines, so input that is empty
    /// or ends with an LF gives one last empty line, while input whose last line has no
    /// LF gives no empty read after it. False once every line has been given, and at
    /// once after a read error.
    bool read_line(std::string_view& line);

    /// True when a read failed after the file was opened.
    bool failed() const;

    void close();

private:
    void fill();

    std::FILE* file_ = nullptr;
    std::vector<char> block_;
    std::string spanning_;    // a line that runs over more than one block
    std::size_t position_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;     // no more bytes will come: end of file, 0x1A or error
    bool finished_ = false;   // the last line has been given
    bool failed_ = false;
};

}  // namespace hdrmill
