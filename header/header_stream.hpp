#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace hdrmill {

/// The text of one header file, written line by line. It owns the two rules that
/// hold for every record: each line ends with CR LF on every platform, and reals are
/// written as printf's %g at the current precision, with "." as decimal point
/// whatever the locale. Each finished line is handed to the delivery function at
/// once (for a file: kept in memory until the header is complete). After the first
/// failed delivery the stream is failed and every later line is dropped.
class header_stream {
public:
    /// Takes one finished line, CR LF included; gives false when it could not be kept.
    using delivery = std::function<bool(std::string_view line)>;

    explicit header_stream(delivery deliver);

    /// Writes text byte for byte. An LF inside it (a value continued over several
    /// lines of the calibration file) is written as CR LF and four blanks, so the
    /// value goes on in a continuation line of the same record instead of starting
    /// a record that chart readers would not know.
    header_stream& operator<<(std::string_view text);
    header_stream& operator<<(std::int32_t number);
    header_stream& operator<<(double number);

    /// Ends the line with CR LF and delivers it.
    void end_line();

    /// Significant digits of reals from now on: 6 up to the KNP block, 9 from "OST/1" on.
    void set_precision(int digits);

    bool failed() const;

private:
    delivery deliver_;
    std::string line_;
    int precision_ = 6;
    bool failed_ = false;
};

/// Appends `text` to `out` as a header stream writes it: each LF as CR LF and four blanks.
void append_header_text(std::string& out, std::string_view text);

/// `number` as printf("%.*g", digits, number) writes it in the "C" locale.
std::string format_real(double number, int digits);

}  // namespace hdrmill
