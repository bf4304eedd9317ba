#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.hpp"

namespace hdrmill {

/// One thing the check found wrong with a chart's calibration. An error makes a chart
/// plotter refuse the chart or misplace it; a warning is worth a look.
struct finding {
    enum class level { error, warning };
    level severity = level::error;
    std::string text;   // what is wrong, the keys it concerns and, where known, the fix
};

/// What the check of one chart gives: its findings in the order found, and for a chart
/// without findings a short account of what was checked.
struct chart_check {
    std::vector<finding> findings;
    std::string account;
};

/// How the checked charts came out, for the last line and the exit status.
struct check_tally {
    std::uint64_t checked = 0;
    std::uint64_t ok = 0;
    std::uint64_t with_warnings = 0;
    std::uint64_t with_errors = 0;   // a chart with errors and warnings counts here
};

/// "NAME: error: TEXT" or "NAME: warning: TEXT".
std::string finding_line(std::string_view name, const finding& found);

/// Says one line per finding, "NAME: error: TEXT" or "NAME: warning: TEXT", in the
/// order found. True when none of them is an error.
bool say_findings(console& out, std::string_view name, const chart_check& result);

/// Says the findings as `say_findings` does, or for a chart without findings
/// "NAME: ok: " and the account, and counts the chart.
void report_chart(console& out, std::string_view name, const chart_check& result, check_tally& tally);

/// A distance or a position in pixels as findings give it: with one decimal.
std::string one_decimal(double value);

/// "N charts checked: K ok, W with warnings, E with errors".
std::string summary_line(const check_tally& tally);

}  // namespace hdrmill
