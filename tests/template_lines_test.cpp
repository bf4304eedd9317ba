#include <gtest/gtest.h>

#include <string>

#include "header/template_lines.hpp"
#include "header_test_support.hpp"

namespace hdrmill {
namespace {

using testing::chart_of;

struct applied {
    std::string comments;
    input_buffer record;
};

applied apply(const std::string& cr_text, std::initializer_list<std::string> own_lines = {}) {
    applied out{{}, chart_of(own_lines)};
    out.record.append_line("CR=" + cr_text);
    testing::memory_header header;
    write_template_lines(out.record, header.stream);
    out.comments = header.bytes;
    return out;
}

TEST(TemplateLines, PlainPiecesBecomeCommentLines) {
    struct row {
        std::string cr_text, comments;
    };
    const row rows[] = {
        {"Surveyed 1998\nScanned 2004", "! Surveyed 1998\r\n! Scanned 2004\r\n"},
        {"Line one\r\nLine two", "! Line one\r\n! \r\n! Line two\r\n"},
        {"ends in LF\n", "! ends in LF\r\n! \r\n"},
        {"a\tb", "! a\r\n! b\r\n"},
        {" blank kept ", "!  blank kept \r\n"},
        {"bsbhdr KNP/NU=5", "! bsbhdr KNP/NU=5\r\n"},
        {"BSBHD", "! BSBHD\r\n"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(apply(r.cr_text).comments, r.comments) << r.cr_text;
    }
    testing::memory_header header;
    auto no_cr = chart_of({"[A]", "CR="});
    write_template_lines(no_cr, header.stream);
    EXPECT_EQ(header.bytes, "");
}

TEST(TemplateLines, DirectivesAppendFieldsAndAdditionalLines) {
    auto got = apply("BSBHDR   KNP/NU=5,GD=WGS84\nBSBHDRBSB/WI=100\nkeep me\nBSBHDR Some text\nBSBHDR KNP\n"
                     "BSBHDR KNP/SC=1,,HE=9\nBSBHDR KNP/X=1, PP=3\nBSBHDR    \nBSBHDR\nBSBHDR More text");
    EXPECT_EQ(got.comments, "! keep me\r\n");
    EXPECT_EQ(got.record.lookup_value("NU"), "5");
    EXPECT_EQ(got.record.lookup_value("GD"), "WGS84");
    EXPECT_EQ(got.record.lookup_value("WI"), "100");
    EXPECT_EQ(got.record.lookup_value("SC"), "1");
    EXPECT_EQ(got.record.lookup_value("HE"), "");   // the empty piece ends the list
    EXPECT_EQ(got.record.lookup_value("PP"), "");   // " PP" has a blank in its key
    EXPECT_EQ(got.record.lookup_value(" PP"), "3");
    // Directives with no text yield nothing and do not count.
    EXPECT_EQ(got.record.lookup_value("ADD1"), "Some text");
    EXPECT_EQ(got.record.lookup_value("ADD2"), "KNP");
    EXPECT_EQ(got.record.lookup_value("ADD3"), "More text");
    EXPECT_EQ(got.record.lookup_value("ADD4"), "");
}

TEST(TemplateLines, ChartsOwnValuesWin) {
    auto got = apply("BSBHDR BSB/NA=Template name,NU=7\nBSBHDR KNP/NU=8\nBSBHDR extra", {"[A]", "NA=Own name", "ADD1=own"});
    EXPECT_EQ(got.record.lookup_value("NA"), "Own name");
    EXPECT_EQ(got.record.lookup_value("NU"), "7");  // of two appended values the earlier wins
    EXPECT_EQ(got.record.lookup_value("ADD1"), "own");
}

}  // namespace
}  // namespace hdrmill
