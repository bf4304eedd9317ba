#include <gtest/gtest.h>

#include <string>

#include "header/header_text.hpp"
#include "header/reference_records.hpp"
#include "header_test_support.hpp"

namespace hdrmill {
namespace {

using testing::chart_of;

std::string whole_header(input_buffer record) { return render_header(record).text; }

std::string reference_block(const input_buffer& record) {
    header_stream header;
    write_reference_records(record, header);
    return header.take_text();
}

TEST(Records, ContinuedValuesStayInsideTheirRecord) {
    const auto header = whole_header(chart_of({"[A]", "NA=Approaches\nto Brest", "GD=European\nDatum 1950",
                                               "ADD1=CED/SE=1\nRE=2"}));
    EXPECT_NE(header.find("BSB/NA=Approaches\r\n    to Brest\r\n    NU="), std::string::npos);
    EXPECT_NE(header.find(",GD=European\r\n    Datum 1950,PR="), std::string::npos);
    EXPECT_NE(header.find("CED/SE=1\r\n    RE=2\r\nOST/1"), std::string::npos);
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

}  // namespace
}  // namespace hdrmill
