#include <gtest/gtest.h>

#include <string>

#include "header/bsb_knp_records.hpp"
#include "header/reference_records.hpp"
#include "header/write_header.hpp"
#include "header_test_support.hpp"

namespace hdrmill {
namespace {

using testing::chart_of;

std::string whole_header(input_buffer record) {
    testing::memory_header header;
    write_header_records(record, header.stream);
    return header.bytes;
}

std::string reference_block(const input_buffer& record) {
    testing::memory_header header;
    write_reference_records(record, header.stream);
    return header.bytes;
}

// The KNP record's first line, without its CR LF.
std::string knp_line(std::initializer_list<std::string> lines) {
    const auto header = whole_header(chart_of(lines));
    const auto start = header.find("KNP/");
    return header.substr(start, header.find('\r', start) - start);
}

TEST(Records, ChartWithOnlyANameGetsEveryDefault) {
    EXPECT_EQ(whole_header(chart_of({"[A]", "NA=Test"})),
              "! Created by hdrmill beta09 - Use at your own risk!\r\n"
              "VER/2.0\r\n"
              "BSB/NA=Test\r\n"
              "    NU=,RA=,,DU=0\r\n"
              "KNP/SC=-2147483647,GD=,PR=UNKNOWN,PP=UNKNOWN\r\n"
              "    PI=UNKNOWN,SP=UNKNOWN,SK=0.0,TA=90.0\r\n"
              "    UN=UNKNOWN,SD=UNKNOWN\r\n"
              "    DX=-2.14748e+09,DY=-2.14748e+09\r\n"
              "OST/1\r\n"
              "CPH/0.0\r\n"
              "DTM/0,0\r\n");
}

TEST(Records, TemplateLinesFeedGroupBButNeverGroupA) {
    EXPECT_EQ(whole_header(chart_of({"[A]", "NA=T", "SC=1000", "DX=2", "DY=2", "PR=1",
                                     "CR=Note\nBSBHDR KNP/SC=5,PR=2,PP=7,DX=9,NU=42,GD=X\nBSBHDR CED/SE=1\nBSBHDR ERR/1"})),
              "! Created by hdrmill beta09 - Use at your own risk!\r\n"
              "! Note\r\n"
              "VER/2.0\r\n"
              "BSB/NA=T\r\n"
              "    NU=42,RA=,,DU=13\r\n"
              "KNP/SC=1000,GD=X,PR=MERCATOR,PP=7\r\n"
              "    PI=UNKNOWN,SP=UNKNOWN,SK=0.0,TA=90.0\r\n"
              "    UN=UNKNOWN,SD=UNKNOWN\r\n"
              "    DX=2,DY=2\r\n"
              "CED/SE=1\r\n"
              "ERR/1\r\n"
              "OST/1\r\n"
              "CPH/0.0\r\n"
              "DTM/0,0\r\n");
}

TEST(Records, ContinuedValuesStayInsideTheirRecord) {
    const auto header = whole_header(chart_of({"[A]", "NA=Approaches\nto Brest", "GD=European\nDatum 1950",
                                               "ADD1=CED/SE=1\nRE=2"}));
    EXPECT_NE(header.find("BSB/NA=Approaches\r\n    to Brest\r\n    NU="), std::string::npos);
    EXPECT_NE(header.find(",GD=European\r\n    Datum 1950,PR="), std::string::npos);
    EXPECT_NE(header.find("CED/SE=1\r\n    RE=2\r\nOST/1"), std::string::npos);
}

TEST(Records, ProjectionParameterFromPpOrLon0) {
    struct row {
        std::initializer_list<std::string> lines;
        const char* ending;
    };
    const row rows[] = {
        {{"PR=2", "LON0=-75.5"}, ",PP=-75.5"},
        {{"PR=1", "LON0=-75.5"}, ",PP=UNKNOWN"},
        {{"PR=2", "PP=-75", "LON0=-80"}, ",PP=-75"},
        {{"PR=2", "LON0=0"}, ",PP=0"},
        {{"PR=2", "LON0=-123.456789"}, ",PP=-123.457"},
        {{"PR=2", "PP=UNKNOWN", "LON0=3"}, ",PP=3"},  // the word UNKNOWN reads as 0, which counts
        {{"PR=2", "LON0="}, ",PP=UNKNOWN"},
        {{"PR=2", "LON0=x"}, ",PP=0"},
    };
    for (const auto& r : rows) {
        const auto line = knp_line(r.lines);
        EXPECT_EQ(line.substr(line.rfind(",PP=")), r.ending) << line;
    }
}

TEST(Records, AdditionalLinesStopAtTheFirstGap) {
    const auto header = whole_header(chart_of({"[A]", "ADD1=A", "ADD2=", "ADD3=C"}));
    EXPECT_NE(header.find("    DX=-2.14748e+09,DY=-2.14748e+09\r\nA\r\nOST/1\r\n"), std::string::npos);

    input_buffer twelve;
    std::string expected;
    for (int n = 1; n <= 12; ++n) {
        twelve.append_line("ADD" + std::to_string(n) + "=line " + std::to_string(n));
        expected += "line " + std::to_string(n) + "\r\n";
    }
    EXPECT_NE(whole_header(twelve).find(expected + "OST/1\r\n"), std::string::npos);
}

TEST(Records, ReferencePointsBorderAndDatumShift) {
    EXPECT_EQ(reference_block(chart_of({"C1=12,34,48.5,-4.25", "C2=3000,2000,47.75,-3.5", "B1=48.5,-4.25",
                                        "DS=0.0005,-0.001"})),
              "OST/1\r\nREF/1,12,34,48.5,-4.25\r\nREF/2,3000,2000,47.75,-3.5\r\nCPH/0.0\r\n"
              "PLY/1,48.5,-4.25\r\nDTM/1.8,-3.6\r\n");
    EXPECT_EQ(reference_block(chart_of({"C1=0,0,10,190", "C2=12.9,-0.5,48.123456789,180", "C3=1,2",
                                        "C4=", "C5=9,9,9,9", "B1=1,540.5", "B2=x,y", "B4=4,4", "DS=0,0"})),
              "OST/1\r\nREF/1,0,0,10,-170\r\nREF/2,12,0,48.1234568,180\r\n"
              "REF/3,1,2,-2.14748365e+09,-2.14748365e+09\r\nCPH/0.0\r\n"
              "PLY/1,1,180.5\r\nPLY/2,0,0\r\nDTM/0,0\r\n");
    // A field written as the marker itself counts as missing, like an absent one.
    EXPECT_EQ(reference_block(chart_of({"DS=-2147483647,2"})), "OST/1\r\nCPH/0.0\r\nDTM/0,7200\r\n");
}

TEST(Records, MeridianFlagNeedsOppositeExtremesWithEastLeftOfWest) {
    struct row {
        std::initializer_list<std::string> points;
        const char* cph;
    };
    const row rows[] = {
        {{"C1=100,50,10,179.5", "C2=200,50,10,-179.5"}, "CPH/180.0"},
        {{"C1=200,50,10,179.5", "C2=100,50,10,-179.5"}, "CPH/0.0"},
        {{"C1=100,50,10,179.5", "C2=200,50,10,180.5"}, "CPH/180.0"},   // 180.5 is -179.5
        {{"C1=100,0,0,10", "C2=200,0,0,20"}, "CPH/0.0"},
        {{"C1=100,0,0,-10", "C2=200,0,0,-20"}, "CPH/0.0"},
        {{"C1=100,0,0,-10"}, "CPH/0.0"},
        {{}, "CPH/0.0"},
        {{"C1=100,0,0,nan", "C2=200,0,0,nan"}, "CPH/0.0"},
        {{"C1=100,0,0,179", "C2=100,0,0,179", "C3=50,0,0,-179", "C4=300,0,0,-179"}, "CPH/0.0"},
        {{"C1=300,0,0,179", "C2=100,0,0,179", "C3=400,0,0,-179", "C4=50,0,0,-179"}, "CPH/180.0"},
        {{"C1=20,0,0", "C2=10,0,0,5"}, "CPH/180.0"},  // the missing longitude is far west
    };
    for (const auto& r : rows) {
        const auto block = reference_block(chart_of(r.points));
        EXPECT_NE(block.find(std::string("\r\n") + r.cph + "\r\n"), std::string::npos) << block;
    }
}

}  // namespace
}  // namespace hdrmill
