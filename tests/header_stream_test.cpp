#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "header/header_stream.hpp"

namespace hdrmill {
namespace {

TEST(FormatReal, MatchesPrintfGAtBothPrecisions) {
    struct row {
        double number;
        const char* six;
        const char* nine;
    };
    const row rows[] = {
        {0.0, "0", "0"},
        {3.0, "3", "3"},
        {180.0, "180", "180"},
        {1.5, "1.5", "1.5"},
        {1.23456789, "1.23457", "1.23456789"},
        {48.123456789, "48.1235", "48.1234568"},
        {-123.456789, "-123.457", "-123.456789"},
        {-2147483647.0, "-2.14748e+09", "-2.14748365e+09"},
        {0.00001234, "1.234e-05", "1.234e-05"},
        {0.0001, "0.0001", "0.0001"},
        {999999.0, "999999", "999999"},
        {1000000.0, "1e+06", "1000000"},
        {123456789.0, "1.23457e+08", "123456789"},
        {1234567890.0, "1.23457e+09", "1.23456789e+09"},
        {-7730941129200.0, "-7.73094e+12", "-7.73094113e+12"},
        {1e300, "1e+300", "1e+300"},
        {-0.0, "-0", "-0"},
        {std::numeric_limits<double>::infinity(), "inf", "inf"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(format_real(r.number, 6), r.six);
        EXPECT_EQ(format_real(r.number, 9), r.nine);
    }
}

TEST(HeaderStream, EndsEveryLineWithCrLfAndContinuesValuesOverLfs) {
    header_stream header;
    header << "BSB/NA=" << "Approaches\nto Brest";
    header.end_line();
    EXPECT_EQ(header.size(), 33u);
    header << 42 << "," << 1.23456789;
    header.set_precision(9);
    header << "," << 1.23456789;
    header.end_line();
    EXPECT_EQ(header.take_text(), "BSB/NA=Approaches\r\n    to Brest\r\n42,1.23457,1.23456789\r\n");
    EXPECT_EQ(header.size(), 0u);
}

}  // namespace
}  // namespace hdrmill
