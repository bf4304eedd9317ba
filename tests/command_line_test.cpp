#include <gtest/gtest.h>

#include <optional>
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

TEST(ArgumentScan, ToleranceIsAWholePositiveNumber) {
    struct row {
        std::vector<std::string> arguments;
        std::optional<double> pixels;
    };
    const row rows[] = {
        {{"-c", "in"}, 10.0},
        {{"-c", "-t", "2.5", "in"}, 2.5},
        {{"-t", "1e1", "-c", "in"}, 10.0},
        {{"-c", "-t", "3", "-t", "4", "in"}, 4.0},
        {{"-c", "-t", "0", "in"}, std::nullopt},
        {{"-c", "-t", "-1", "in"}, std::nullopt},
        {{"-c", "-t", "5px", "in"}, std::nullopt},
        {{"-c", "-t", " 5", "in"}, std::nullopt},
        {{"-c", "-t", "", "in"}, std::nullopt},
        {{"-c", "-t", "inf", "in"}, std::nullopt},
        {{"-c", "-t", "nan", "in"}, std::nullopt},
        {{"-c", "in", "-t"}, 10.0},   // -t as the very last word is ignored
    };
    for (const auto& r : rows) {
        const auto info = scan_arguments(r.arguments);
        EXPECT_TRUE(info.check);
        EXPECT_EQ(tolerance_in_pixels(info), r.pixels) << (info.tolerance ? *info.tolerance : "(none)");
    }
}

}  // namespace
}  // namespace hdrmill
