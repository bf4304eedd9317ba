#include <gtest/gtest.h>

#include <string>

#include "header/header_name.hpp"

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
        command_line_info info;
        info.extension = r.extension;
        info.outfile = r.outfile;
        EXPECT_EQ(form_header_name(record, info), r.name) << r.first_line;
    }
}

TEST(HeaderName, RefusesNamesThatLeaveTheWorkingDirectory) {
    for (const char* name : {"/tmp/x.hdr", "\\x.hdr", "../x.hdr", "..\\x.hdr", "a/../b.hdr", "a\\..\\b.hdr",
                             "a/..", ".."}) {
        EXPECT_TRUE(is_unsafe_header_name(name)) << name;
    }
    for (const char* name : {"x.hdr", "...hdr", ".hdr", "a/b.hdr", "..a/b.hdr", "a../b.hdr", "a/...", "C:x.hdr", ""}) {
        EXPECT_FALSE(is_unsafe_header_name(name)) << name;
    }
}

}  // namespace
}  // namespace hdrmill
