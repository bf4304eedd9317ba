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
        EXPECT_EQ(info.reading.show_lines, r.debug);
        EXPECT_EQ(info.mode == run_mode::list, r.list);
        EXPECT_EQ(info.chartname, r.chartname);
        EXPECT_EQ(info.naming.extension, r.extension);
        EXPECT_EQ(info.naming.outfile, r.outfile);
        EXPECT_EQ(info.infile, r.infile);
    }
}

TEST(ArgumentScan, ListWinsOverCheckAndOnlyACheckReadsItsToleranceWithinItsBounds) {
    struct row {
        std::vector<std::string> arguments;
        run_mode mode;
        double tolerance;
        std::optional<std::string> bad;
    };
    const row rows[] = {
        {{"-c", "in"}, run_mode::check, 10.0, std::nullopt},
        {{"-c", "-t", "2.5", "in"}, run_mode::check, 2.5, std::nullopt},
        {{"-t", "1e1", "-c", "in"}, run_mode::check, 10.0, std::nullopt},
        {{"-c", "-t", "3", "-t", " +4 ", "in"}, run_mode::check, 4.0, std::nullopt},
        {{"-c", "-t", "0", "in"}, run_mode::check, 10.0, "0"},
        {{"-c", "-t", "-1", "in"}, run_mode::check, 10.0, "-1"},
        {{"-c", "-t", "5px", "in"}, run_mode::check, 10.0, "5px"},
        {{"-c", "-t", "inf", "in"}, run_mode::check, 10.0, "inf"},
        {{"-c", "-t", "nan", "in"}, run_mode::check, 10.0, "nan"},
        {{"-c", "-t", "0.01", "in"}, run_mode::check, 0.01, std::nullopt},
        {{"-c", "-t", "0.0099", "in"}, run_mode::check, 10.0, "0.0099"},
        {{"-c", "-t", "1e-300", "in"}, run_mode::check, 10.0, "1e-300"},
        {{"-k", "-t", "100000", "in"}, run_mode::make, 100000.0, std::nullopt},
        {{"-k", "-t", "100000.01", "in"}, run_mode::make, 10.0, "100000.01"},
        {{"-c", "-t", "1e9", "in"}, run_mode::check, 10.0, "1e9"},
        {{"-c", "in", "-t"}, run_mode::check, 10.0, std::nullopt},   // -t as the very last word is ignored
        {{"-l", "-c", "-t", "abc", "in"}, run_mode::list, 10.0, std::nullopt},
        {{"-t", "abc", "in"}, run_mode::convert, 10.0, std::nullopt},
    };
    for (const auto& r : rows) {
        const auto info = scan_arguments(r.arguments);
        EXPECT_EQ(info.mode, r.mode);
        EXPECT_EQ(info.tolerance, r.tolerance);
        EXPECT_EQ(info.bad_tolerance, r.bad);
    }
}

}  // namespace
}  // namespace hdrmill
