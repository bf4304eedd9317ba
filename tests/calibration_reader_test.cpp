#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "calibration/calibration_reader.hpp"
#include "test_support.hpp"

namespace hdrmill {
namespace {

// Every record handed over, as its stored lines.
struct reading {
    read_result result = read_result::complete;
    std::vector<std::vector<std::string>> records;
    std::string console_text;
};

reading read_bytes(const std::string& bytes, bool debug = false) {
    testing::temp_dir dir;
    testing::captured_console console;
    input_file input;
    EXPECT_TRUE(input.open(dir.write("CHARTCAL.DIR", bytes)));
    reading out;
    out.result = read_calibration_file(input, reader_options{debug}, console.out(), [&](input_buffer& record) {
        std::vector<std::string> lines;
        for (std::uint32_t i = 0; !record.line_at(i).empty(); ++i) {
            lines.push_back(record.line_at(i));
        }
        out.records.push_back(lines);
    });
    out.console_text = console.text();
    return out;
}

using records = std::vector<std::vector<std::string>>;

TEST(Reader, ClassifiesLinesByTheirFirstCharacter) {
    struct row {
        const char* name;
        std::string bytes;
        records expected;
    };
    const row rows[] = {
        {"the first non-empty value wins; continuations join with LF",
         "; chart list\n[1]\nFN=12221_1.KAP\nNA=Harbour entrance\n and approaches\n[2]\nNA=\nNA=Inner\n",
         {{"[1]", "FN=12221_1.KAP", "NA=Harbour entrance\nand approaches"}, {"[2]", "NA=", "NA=Inner"}}},
        {"CR LF reads as LF, a lone CR vanishes", "[A]\r\nN\rA=x\r\n\r\n", {{"[A]", "NA=x"}}},
        {"no final LF", "[A]\nNA=x", {{"[A]", "NA=x"}}},
        {"0x1A ends the input", "[A]\nNA=x\x1a\n[B]\n", {{"[A]", "NA=x"}}},
        {"no section line at all", "FN=a\nNA=b\n", {{"FN=a", "NA=b"}}},
        {"lines before the first section", "FN=a\n[B]\nFN=b\n", {{"FN=a"}, {"[B]", "FN=b"}}},
        {"trailing blanks and tabs keep a section line", "[A] \t\nX=1\n[B]\t \n", {{"[A]", "X=1"}, {"[B]"}}},
        {"a note after the bracket is no section line", "[A]\n[B] ; note\n", {{"[A]", "[B] ; note"}}},
        {"continuation after a section line joins it", "[A]\n more\n", {{"[A]\nmore"}}},
        {"a blank before ; makes a continuation", "[A]\nNA=x\n ; not a comment\n", {{"[A]", "NA=x\n; not a comment"}}},
        {"leading tabs are trimmed from a normal line", "[A]\n\t\tNA=x\n", {{"[A]", "NA=x"}}},
        {"lines of blanks and tabs are skipped", "[A]\n   \n\t\nNA=x\n", {{"[A]", "NA=x"}}},
        {"the line [] is a section line", "[A]\n[]\n", {{"[A]"}, {"[]"}}},
        {"empty and comment-only files hand over nothing", "; only\n\n", {}},
        {"every byte but CR, LF and 0x1A passes", std::string("[A]\nX=\0\x7f\xff\x1b", 10) + "\n",
         {{"[A]", std::string("X=\0\x7f\xff\x1b", 6)}}},
    };
    for (const auto& r : rows) {
        const auto got = read_bytes(r.bytes);
        EXPECT_EQ(got.result, read_result::complete) << r.name;
        EXPECT_EQ(got.records, r.expected) << r.name;
    }
}

TEST(Reader, ContinuationBeforeAnyStoredLineIsFatal) {
    const auto got = read_bytes("; c\n\n continued\n[A]\nFN=A\n");
    EXPECT_EQ(got.result, read_result::bad_file);
    EXPECT_TRUE(got.records.empty());
    // A line of blanks is trimmed away first, so it is no continuation.
    EXPECT_EQ(read_bytes("   \n[A]\n").result, read_result::complete);
}

TEST(Reader, DebugShowsEveryReadIncludingTheLastEmptyOne) {
    EXPECT_EQ(read_bytes("", true).console_text, "Read line - \n");
    EXPECT_EQ(read_bytes("; c \r\n[A]\n", true).console_text, "Read line - ; c\nRead line - [A]\nRead line - \n");
    EXPECT_EQ(read_bytes("[A]", true).console_text, "Read line - [A]\n");
    EXPECT_EQ(read_bytes("[A]\n\x1a", true).console_text, "Read line - [A]\nRead line - \n");
    EXPECT_EQ(read_bytes("[A]\n", false).console_text, "");
}

TEST(Reader, LinesOfAnyLengthAcrossReadBlocks) {
    // Longer than the reader's block, with CR bytes on both sides of block boundaries.
    std::string value;
    for (int i = 0; i < 300000; ++i) {
        value += static_cast<char>('a' + i % 26);
    }
    std::string with_cr;
    for (std::size_t i = 0; i < value.size(); ++i) {
        with_cr += value[i];
        if (i % 4093 == 0) {
            with_cr += "\r\r";
        }
    }
    const auto got = read_bytes("[A]\r\nNA=" + with_cr + "\r\n[B]\r\n");
    EXPECT_EQ(got.records, (records{{"[A]", "NA=" + value}, {"[B]"}}));
}

// A stream that gives `good` bytes of `text` and then fails, as a disk or a network
// share can part-way through a file.
struct failing_source {
    std::string text;
    std::size_t good;
    std::size_t given = 0;
};

ssize_t read_then_fail(void* cookie, char* buffer, std::size_t size) {
    auto& source = *static_cast<failing_source*>(cookie);
    if (source.given >= source.good) {
        errno = EIO;
        return -1;
    }
    const auto count = std::min(size, source.good - source.given);
    std::copy_n(source.text.data() + source.given, count, buffer);
    source.given += count;
    return static_cast<ssize_t>(count);
}

TEST(Reader, AReadErrorPartWayDropsTheChartBeingRead) {
    std::string text = "[A]\nFN=A.KAP\n[B]\nNA=";
    text += std::string(200000, 'x');  // the failure comes inside B, blocks after the start
    failing_source source{text, 150000};
    cookie_io_functions_t functions{read_then_fail, nullptr, nullptr, nullptr};
    input_file input;
    ASSERT_TRUE(input.attach(fopencookie(&source, "rb", functions)));
    testing::captured_console console;
    std::vector<std::string> handed;
    const auto result = read_calibration_file(input, reader_options{}, console.out(),
                                              [&](input_buffer& record) { handed.push_back(record.line_at(0)); });
    EXPECT_EQ(result, read_result::read_error);
    EXPECT_EQ(handed, std::vector<std::string>{"[A]"});
}

TEST(InputFile, RefusesWhatCannotBeReadAsAFile) {
    testing::temp_dir dir;
    input_file input;
    EXPECT_FALSE(input.open(dir.path("missing.dir")));
    dir.write("present", "x");
    EXPECT_FALSE(input.open(dir.path("")));  // the directory itself
    EXPECT_FALSE(input.open(dir.path("present") + std::string(1, '\0') + "x"));
    EXPECT_TRUE(input.open(dir.path("present")));
}

}  // namespace
}  // namespace hdrmill
