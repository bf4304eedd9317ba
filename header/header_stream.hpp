#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hdrmill {

/// The text of one header, written line by line into memory. It owns the two rules
/// that hold for every record: each line ends with CR LF on every platform, and reals
/// are written as printf's %g at the current precision, with "." as decimal point
/// whatever the locale.
class header_stream {
public:
    /// Writes text byte for byte. An LF inside it (a value continued over several
    /// lines of the calibration file) is written as CR LF and four blanks, so the
    /// value goes on in a continuation line of the same record instead of starting
    /// a record that chart readers would not know.
    header_stream& operator<<(std::string_view text);
    header_stream& operator<<(std::int32_t number);
    header_stream& operator<<(double number);

    /// Ends the line with CR LF.
    void end_line();

    /// Significant digits of reals from now on: 6 up to the KNP block, 9 from "OST/1" on.
    void set_precision(int digits);

    /// How many bytes are written: the offset at which the next text will stand.
    std::size_t size() const;

    /// Makes room for `bytes` in all, so that a large header is not copied as it grows.
    void reserve(std::size_t bytes);

    /// Everything written; the stream is left empty.
    std::string take_text();

private:
    std::string text_;
    int precision_ = 6;
};

/// `number` as printf("%.*g", digits, number) writes it in the "C" locale.
std::string format_real(double number, int digits);

}  // namespace hdrmill
