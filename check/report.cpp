#include "check/report.hpp"

#include <array>
#include <charconv>

namespace hdrmill {

std::string finding_line(std::string_view name, const finding& found) {
    return std::string(name) + (found.severity == finding::level::error ? ": error: " : ": warning: ") + found.text;
}

bool say_findings(console& out, std::string_view name, const chart_check& result) {
    bool clean = true;
    for (const auto& found : result.findings) {
        out.say(finding_line(name, found));
        clean = clean && found.severity != finding::level::error;
    }
    return clean;
}

void report_chart(console& out, std::string_view name, const chart_check& result, check_tally& tally) {
    ++tally.checked;
    if (result.findings.empty()) {
        out.say(std::string(name) + ": ok: " + result.account);
        ++tally.ok;
        return;
    }
    ++(say_findings(out, name, result) ? tally.with_warnings : tally.with_errors);
}

std::string one_decimal(double value) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 1);
    return result.ec == std::errc() ? std::string(text.data(), result.ptr) : std::string("?");
}

std::string summary_line(const check_tally& tally) {
    return std::to_string(tally.checked) + " charts checked: " + std::to_string(tally.ok) + " ok, " +
           std::to_string(tally.with_warnings) + " with warnings, " + std::to_string(tally.with_errors) +
           " with errors";
}

}  // namespace hdrmill
