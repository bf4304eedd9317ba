#include <gtest/gtest.h>

#include <string>

#include "header/header_name.hpp"
#include "platform/file_name.hpp"

namespace hdrmill {
namespace {

TEST(HeaderName, FormedFromTheSectionLineOrTheOptions) {
    struct row {
        std::string first_line, extension, outfile, name;
    };
    const row rows[] = {
        {"[Harbour.tif]", "", "", "Harbour.hdr"},
        {"[Bay.old.tif]", "", "", "Bay.old.hdr"},
        {"[NOEXT]", "", "", "NOEXT.hdr"},
        {"[.tif]", "", "", ".hdr"},
        {"[]", "", "", ".hdr"},
        {"[", "", "", ".hdr"},
        {"", "", "", ".hdr"},
        {"FN=abc.tif", "", "", "N=abc.hdr"},
        {"[A]\nmore.x]", "", "", "A]\nmore.hdr"},
        {"[Harbour.tif]", "kap", "", "Harbour.kap"},
        {"[Harbour.tif]", ".kap", "", "Harbour..kap"},
        {"[Harbour.tif]", "kap", "out.txt", "out.txt"},
        {"[Harbour.tif]", "", "dir/x.y.z", "dir/x.y.z"},
    };
    for (const auto& r : rows) {
        input_buffer record;
        if (!r.first_line.empty()) {
            record.append_line(r.first_line);
        }
        EXPECT_EQ(form_header_name(record, {r.outfile, r.extension}), r.name) << r.first_line;
    }
}

TEST(HeaderName, RefusesNamesThatLeaveTheWorkingDirectory) {
    for (const char* name : {"/tmp/x.hdr", "\\x.hdr", "../x.hdr", "..\\x.hdr", "a/../b.hdr", "a\\..\\b.hdr",
                             "a/..", "..", "C:\\x.hdr", "c:x.hdr", "Z:/x.hdr"}) {
        EXPECT_TRUE(is_unsafe_file_name(name)) << name;
    }
    for (const char* name : {"x.hdr", "...hdr", ".hdr", "a/b.hdr", "..a/b.hdr", "a../b.hdr", "a/...", "1:x.hdr", "ab:x.hdr", ":x.hdr", ""}) {
        EXPECT_FALSE(is_unsafe_file_name(name)) << name;
    }
}

TEST(HeaderName, NamesWithANulByteNameNoFile) {
    EXPECT_FALSE(can_name_a_file(std::string("a\0b.hdr", 7)));
    EXPECT_TRUE(can_name_a_file("x.hdr"));
    EXPECT_TRUE(can_name_a_file("C:\\charts\\x.hdr"));  // a -o name may hold a drive
}

}  // namespace
}  // namespace hdrmill
