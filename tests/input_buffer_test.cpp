#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "calibration/input_buffer.hpp"

namespace hdrmill {
namespace {

input_buffer record_of(std::initializer_list<const char*> lines) {
    input_buffer record;
    for (const char* line : lines) {
        record.append_line(line);
    }
    return record;
}

TEST(InputBuffer, FirstLineCarryingTheKeyWithAValueWins) {
    struct row {
        input_buffer record;
        const char* key;
        std::string value;
    };
    const row rows[] = {
        {record_of({"NA=", "NA=Inner harbour"}), "NA", "Inner harbour"},
        {record_of({"C10=5,6,7,8", "C1=1,2,3,4"}), "C1", "1,2,3,4"},
        {record_of({"C10=5,6,7,8", "C1=1,2,3,4"}), "C", ""},
        {record_of({"fn=x"}), "FN", ""},
        {record_of({"FN = x"}), "FN", ""},
        {record_of({"FN = x"}), "FN ", " x"},
        {record_of({"FN=A.KAP", "FN=B.KAP"}), "FN", "A.KAP"},
        {record_of({"DX=  2.5"}), "DX", "  2.5"},
        {record_of({"X=a=b"}), "X", "a=b"},
        {record_of({"[Harbour.tif]", "=orphan"}), "", "orphan"},
        {record_of({}), "FN", ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.record.lookup_value(r.key), r.value) << r.key;
    }
}

TEST(InputBuffer, FieldsNumbersAndIntegersFollowTheMissingMarkerRules) {
    const auto record = record_of({"SC=,5", "C1=10,20", "X=a,b,", "DX=2,5", "T=abc", "M=-2147483647",
                                   "R=12000.9", "N=-3.7", "LOW=-2147483648.5", "TOP=2147483647.9",
                                   "UNDER=-2147483649", "OVER=2147483648"});
    EXPECT_EQ(record.lookup_integer("SC", 0), missing_integer);
    EXPECT_EQ(record.lookup_integer("SC", 1), 5);
    EXPECT_EQ(record.lookup_integer("C1", 0), 10);
    EXPECT_EQ(record.lookup_integer("C1", 1), 20);
    EXPECT_EQ(record.lookup_number("C1", 2), missing_real);
    EXPECT_EQ(record.lookup_number("C1", 3), missing_real);
    EXPECT_EQ(record.lookup_number("X", 2), missing_real);  // the empty item after the last comma
    EXPECT_EQ(record.lookup_number("X", -1), missing_real);
    EXPECT_EQ(record.lookup_number("DX", 0), 2.0);  // a decimal comma separates fields
    EXPECT_EQ(record.lookup_number("DX", 1), 5.0);
    EXPECT_EQ(record.lookup_number("T", 0), 0.0);   // not a number: 0, not missing
    EXPECT_EQ(record.lookup_integer("M", 0), missing_integer);
    EXPECT_EQ(record.lookup_integer("R", 0), 12000);
    EXPECT_EQ(record.lookup_integer("N", 0), -3);
    // Truncation toward zero stays inside 32 bits at both ends.
    EXPECT_EQ(record.lookup_integer("LOW", 0), -2147483647 - 1);
    EXPECT_EQ(record.lookup_integer("TOP", 0), 2147483647);
    // One past either end is missing, not the nearest 32-bit value.
    EXPECT_EQ(record.lookup_integer("UNDER", 0), missing_integer);
    EXPECT_EQ(record.lookup_integer("OVER", 0), missing_integer);
}

TEST(InputBuffer, EmptyRecordAnswersEveryLookupAsMissing) {
    input_buffer record;
    EXPECT_TRUE(record.is_empty());
    EXPECT_EQ(record.lookup_value("FN"), "");
    EXPECT_EQ(record.lookup_number("DX", 0), missing_real);
    EXPECT_EQ(record.lookup_integer("SC", 0), missing_integer);
    EXPECT_EQ(record.line_at(0), "");
    EXPECT_FALSE(record.append_continuation("text"));
    EXPECT_TRUE(record.is_empty());
}

TEST(InputBuffer, ContinuationJoinsTheLastLineWithLf) {
    auto record = record_of({"[A]", "NA=Harbour"});
    ASSERT_TRUE(record.append_continuation("entrance"));
    EXPECT_EQ(record.lookup_value("NA"), "Harbour\nentrance");
    EXPECT_EQ(record.line_at(1), "NA=Harbour\nentrance");
    EXPECT_EQ(record.line_at(2), "");
    record.append_line("DX=2.5\n7");
    EXPECT_EQ(record.lookup_number("DX", 0), 2.5);  // reading stops at the LF
    record.clear();
    EXPECT_TRUE(record.is_empty());
    EXPECT_EQ(record.lookup_value("NA"), "");
}

// Random records over a tiny alphabet, so that keys collide, lines lack "=" or have
// several, values are empty, continuations turn "NA=" into a carrier, and records grow
// large before a clear; keys are compared with a plain search of the same lines.
TEST(InputBuffer, LookupAgreesWithASearchOfTheLinesOnRandomRecords) {
    const std::string alphabet = "AB=\n,";
    std::mt19937 random(20261206);
    auto random_text = [&](std::size_t longest) {
        std::string text(random() % (longest + 1), ' ');
        for (auto& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        return text;
    };
    // Every key of up to three bytes; keys looked up hold no "=".
    std::vector<std::string> keys{""};
    for (std::size_t i = 0; i < keys.size() && keys[i].size() < 3; ++i) {
        for (char c : std::string("AB\n,")) {
            keys.push_back(keys[i] + c);
        }
    }
    auto search = [](const std::vector<std::string>& lines, const std::string& key) {
        for (const auto& line : lines) {
            if (line.size() > key.size() + 1 && line.compare(0, key.size(), key) == 0 && line[key.size()] == '=') {
                return line.substr(key.size() + 1);
            }
        }
        return std::string();
    };

    input_buffer record;
    std::vector<std::string> lines;
    for (int step = 0; step < 20000; ++step) {
        const auto action = random() % 400;
        if (action == 0) {
            record.clear();
            lines.clear();
        } else if (action <= 80) {
            const auto text = random_text(4);
            EXPECT_EQ(record.append_continuation(text), !lines.empty());
            if (!lines.empty()) {
                lines.back() += "\n" + text;
            }
        } else {
            const auto text = random_text(6);
            record.append_line(text);
            lines.push_back(text);
        }
        if (step % 5 == 0) {
            for (int k = 0; k < 24; ++k) {
                const auto& key = keys[random() % keys.size()];
                ASSERT_EQ(record.lookup_value(key), search(lines, key)) << "step " << step << " key " << key;
            }
        }
    }
}

}  // namespace
}  // namespace hdrmill
