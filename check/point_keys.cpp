#include "check/point_keys.hpp"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "text/number_text.hpp"

namespace hdrmill {

namespace {

// How many keys a warning lists before it counts the rest.
constexpr std::size_t keys_listed = 5;

struct point_key {
    char letter = 'C';       // C for reference points, B for border points
    std::int32_t number = 0;
};

bool operator<(const point_key& a, const point_key& b) {
    return a.letter != b.letter ? a.letter < b.letter : a.number < b.number;
}

std::string text_of(const point_key& key) { return key.letter + std::to_string(key.number); }

// The point key a key means once its letter case, blanks and leading zeros are set
// aside: "c3", "C3 " and "C03" all mean C3. Nothing for any other key.
std::optional<point_key> meant_key(std::string_view key) {
    std::string squeezed;
    for (const char c : key) {
        if (c != ' ' && c != '\t') {
            squeezed += c;
        }
    }
    if (squeezed.size() < 2 || std::string_view("CcBb").find(squeezed.front()) == std::string_view::npos) {
        return std::nullopt;
    }
    const auto digits = std::string_view(squeezed).substr(1);
    const auto number = digits.find_first_not_of("0123456789") == std::string_view::npos ? read_count(digits)
                                                                                          : std::nullopt;
    if (!number || *number < 1) {
        return std::nullopt;
    }
    return point_key{squeezed.front() == 'c' || squeezed.front() == 'C' ? 'C' : 'B', *number};
}

std::string listed(const std::vector<std::string>& keys) {
    std::string text;
    const auto shown = std::min(keys.size(), keys_listed);
    for (std::size_t i = 0; i < shown; ++i) {
        text += (i == 0 ? "" : i + 1 == shown && shown == keys.size() ? " and " : ", ") + keys[i];
    }
    if (shown < keys.size()) {
        text += " and " + std::to_string(keys.size() - shown) + " more";
    }
    return text;
}

// Where the header's points of one kind stop, in words.
std::string header_stops(char letter, std::size_t count) {
    const char* kind = letter == 'C' ? "reference" : "border";
    return count == 0 ? std::string("the header carries no ") + kind + " points"
                      : "the header stops at " + std::string(1, letter) + std::to_string(count) + " (" +
                            std::to_string(count) + " " + kind + (count == 1 ? " point)" : " points)");
}

}  // namespace

std::vector<finding> point_key_findings(const input_buffer& record, std::size_t reference_count,
                                        std::size_t border_count) {
    std::vector<finding> found;
    std::map<point_key, std::string_view> first_values;
    std::map<char, std::vector<std::string>> after_gap;
    for (std::size_t i = 0; i < record.line_count(); ++i) {
        const auto line = record.line_view(i);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals + 1 == line.size()) {
            continue;
        }
        const auto key = line.substr(0, equals);
        const auto value = line.substr(equals + 1);
        const auto meant = meant_key(key);
        if (!meant) {
            continue;
        }
        const auto canonical = text_of(*meant);
        if (key != canonical) {
            found.push_back({finding::level::warning,
                             "the key '" + std::string(key) + "' is not read as " + canonical +
                                 " (keys are upper case, with no blank before the = and no leading zero), so " +
                                 (record.lookup_view(canonical).empty() ? "the header has no " + canonical
                                                                        : "the header carries " + canonical +
                                                                              " from its own line")});
            continue;
        }
        const auto [first, inserted] = first_values.emplace(*meant, value);
        if (!inserted && first->second != value) {
            found.push_back({finding::level::warning, canonical + " is given twice: the header carries the first, " +
                                                          std::string(first->second) + ", not " + std::string(value)});
        }
        const std::size_t carried = meant->letter == 'C' ? reference_count : border_count;
        if (inserted && static_cast<std::size_t>(meant->number) > carried + 1) {
            after_gap[meant->letter].push_back(canonical);
        }
    }
    for (const auto& [letter, keys] : after_gap) {
        const std::size_t carried = letter == 'C' ? reference_count : border_count;
        found.push_back({finding::level::warning,
                         listed(keys) + (keys.size() == 1 ? " follows" : " follow") + " a gap in the numbering (" +
                             std::string(1, letter) + std::to_string(carried + 1) + " is absent or empty), so " +
                             header_stops(letter, carried)});
    }
    return found;
}

}  // namespace hdrmill
