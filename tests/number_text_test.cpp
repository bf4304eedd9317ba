#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "text/number_text.hpp"

namespace hdrmill {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

TEST(ReadNumber, ReadsTheLeadingNumberLikeStrtod) {
    struct row {
        std::string text;
        double value;
    };
    const row rows[] = {
        {"2.5", 2.5},         {"2.5m", 2.5},       {"  2.5", 2.5},      {"\t\v\f\r\n7", 7.0},
        {"+4", 4.0},          {"-3.7", -3.7},      {".5", 0.5},         {"5.", 5.0},
        {"1e3", 1000.0},      {"1E+3", 1000.0},    {"2e-2x", 0.02},     {"1e", 1.0},
        {"1e+", 1.0},         {"1e-", 1.0},        {"-2147483647", -2147483647.0},
        {"000000000000012", 12.0},                 {"12.5,3", 12.5},    {"3 4", 3.0},
        // Text that does not begin with a number reads as 0, never as missing.
        {"abc", 0.0},         {"", 0.0},           {"-", 0.0},          {"+", 0.0},
        {".", 0.0},           {"e5", 0.0},         {"--5", 0.0},        {"+-5", 0.0},
        {"-+5", 0.0},         {" - 5", 0.0},       {"0x1A", 0.0},
        {"1e300", 1e300},     {"-1e300", -1e300},
        // Beyond a double: infinity of the sign when too large, 0 when too small.
        {"1e400", infinity},  {"-1e400", -infinity}, {"1e-400", 0.0},
        {"0.00001e309", 1e304}, {"1e99999999999999999999999", infinity},
        {"1e-99999999999999999999999", 0.0},
        {"inf", infinity},    {"-Infinity", -infinity},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(read_number(r.text), r.value) << '"' << r.text << '"';
    }
    EXPECT_TRUE(std::isnan(read_number("nan")));
    EXPECT_TRUE(std::isnan(read_number("NaN(123)")));
    EXPECT_TRUE(std::signbit(read_number("-1e-400")));
}

TEST(ReadNumber, ReadsVeryLongDigitStrings) {
    EXPECT_EQ(read_number(std::string(400, '9')), infinity);
    EXPECT_EQ(read_number("1" + std::string(400, '0') + "e-400"), 1.0);
    EXPECT_EQ(read_number("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(read_number(std::string(100000, '0') + "42"), 42.0);
    EXPECT_EQ(read_number("0." + std::string(100000, '0') + "1e100005"), 1e4);
}

TEST(StrictNumbers, TheWholeTextIsAFiniteNumberOrACount) {
    struct row {
        std::string text;
        std::optional<double> number;
        std::optional<std::int32_t> count;
    };
    const row rows[] = {
        {"3000", 3000.0, 3000},         {" +3000\t", 3000.0, 3000},  {"0", 0.0, 0},
        {"-4.5", -4.5, std::nullopt},   {"+100", 100.0, 100},          {"1e1", 10.0, std::nullopt},
        {"3000.0", 3000.0, std::nullopt}, {".5", 0.5, std::nullopt},   {"5.", 5.0, std::nullopt},
        {"2147483647", 2147483647.0, 2147483647}, {"2147483648", 2147483648.0, std::nullopt},
        {"", std::nullopt, std::nullopt}, {" ", std::nullopt, std::nullopt}, {"+", std::nullopt, std::nullopt},
        {"5px", std::nullopt, std::nullopt}, {"3 4", std::nullopt, std::nullopt}, {"--5", std::nullopt, std::nullopt},
        {"+-5", std::nullopt, std::nullopt}, {"- 5", std::nullopt, std::nullopt}, {"inf", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt}, {"1e400", std::nullopt, std::nullopt}, {"0x1A", std::nullopt, std::nullopt},
        {"48.5\n7", std::nullopt, std::nullopt}, {"1,5", std::nullopt, std::nullopt}, {"e5", std::nullopt, std::nullopt},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(read_exact_number(r.text), r.number) << '"' << r.text << '"';
        EXPECT_EQ(read_count(r.text), r.count) << '"' << r.text << '"';
    }
}

}  // namespace
}  // namespace hdrmill
