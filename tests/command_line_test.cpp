#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.hpp"

namespace hdrmill {
namespace {

TEST(ArgumentScan, OptionWordsAreWholeAndTheLastValueWins) {
    struct row {
        std::vector<std::string> arguments;
        bool debug, list;
        std::string chartname, extension, outfile, infile;
    };
    const row rows[] = {
        {{}, false, false, "", "", "", ""},
        {{"-s"}, false, false, "", "", "", ""},
        {{"CHARTCAL.DIR", "-s"}, false, false, "", "", "", "CHARTCAL.DIR"},
        {{"-o", "-d", "CHARTCAL.DIR"}, false, false, "", "", "-d", "CHARTCAL.DIR"},
        {{"a.dir", "b.dir"}, false, false, "", "", "", "b.dir"},
        {{"-D", "-dl", "--help", "-", "-x", "in"}, false, false, "", "", "", "in"},
        {{"-l", "-s", "X", "in", "-d", "-l", "-d"}, true, true, "X", "", "", "in"},
        {{"-e", "kap", "-o", "out.txt", "-e", "hdr2", "in"}, false, false, "", "hdr2", "out.txt", "in"},
        {{"-s", "A", "-s", "B", "in"}, false, false, "B", "", "", "in"},
        {{"in", ""}, false, false, "", "", "", "in"},  // an empty word names nothing
        {{"", "-s", ""}, false, false, "", "", "", ""},
    };
    for (const auto& r : rows) {
        const auto info = scan_arguments(r.arguments);
        EXPECT_EQ(info.debug, r.debug);
        EXPECT_EQ(info.list, r.list);
        EXPECT_EQ(info.chartname, r.chartname);
        EXPECT_EQ(info.extension, r.extension);
        EXPECT_EQ(info.outfile, r.outfile);
        EXPECT_EQ(info.infile, r.infile);
    }
}

}  // namespace
}  // namespace hdrmill
