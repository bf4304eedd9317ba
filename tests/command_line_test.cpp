#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "driver/handle_chart.hpp"
#include "test_support.hpp"

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

TEST(ChartList, ShortNameAndPaddedListLine) {
    struct row {
        std::string fn, na, short_name, line;
    };
    const row rows[] = {
        {"FN=ABCDEFGHIJKLMNOPQ.KAP", "NA=Harbour", "ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOPQHarbour"},
        {"FN=AB.KAP", "NA=Harbour", "AB", "AB             Harbour"},
        {"FN=ABCDEFGHIJKLMNO.KAP", "NA=x", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOx"},
        {"FN=A.B.KAP", "NA=x", "A.B", "A.B            x"},
        {"FN=charts\\A.KAP", "", "charts\\A", "charts\\A       "},
        {"FN=old.set\\chart", "", "old", "old            "},
        {"FN=NODOT", "", "NODOT", "NODOT          "},
        {"NO=file name", "NA=Untitled", "", "               Untitled"},
        {"FN=.KAP", "NA=y", "", "               y"},
    };
    for (const auto& r : rows) {
        input_buffer record;
        record.append_line("[x]");
        record.append_line(r.fn);
        record.append_line(r.na);
        EXPECT_EQ(short_name(record), r.short_name) << r.fn;
        EXPECT_EQ(list_line(record), r.line) << r.fn;
    }
}

TEST(HandleChart, ListsOrSelectsByExactShortName) {
    testing::captured_console console;
    input_buffer record;
    record.append_line("FN=A.KAP");
    record.append_line("NA=Alpha");

    command_line_info listing;
    listing.list = true;
    listing.chartname = "nothing matches";
    run_tally tally;
    handle_chart(record, listing, console.out(), tally);
    EXPECT_EQ(tally.listed, 1u);

    // Neither another letter case nor the name with its extension selects the chart.
    for (const char* name : {"a", "A.KAP", "A "}) {
        command_line_info selecting;
        selecting.chartname = name;
        handle_chart(record, selecting, console.out(), tally);
    }
    EXPECT_EQ(tally.converted, 0u);
    EXPECT_FALSE(tally.header_failed);
    EXPECT_EQ(console.text(), "A              Alpha\n");
}

TEST(Usage, TextIsByteExact) {
    testing::captured_console console;
    print_usage(console.out());
    EXPECT_EQ(console.text(),
              "\n"
              "hdrmill (beta09): converts georeference format from Kartoval to BSB header\n"
              "\n"
              "Usage: hdrmill [-d] [-s chartname] [-o outfile | -e extension] [-l] <infile>\n"
              "\n"
              "       <infile>     : the output from Kartoval - normally CHARTCAL.DIR\n"
              "       -d           : this is debug mode. It prints out a bunch of garbage\n"
              "       -s chartname : convert a single chart header from <infile>\n"
              "       -o outfile   : to specify your own header file name\n"
              "       -e extention : to specify your own header extension\n"
              "       -l           : to print out just the list of charts in <infile>\n");
}

}  // namespace
}  // namespace hdrmill
