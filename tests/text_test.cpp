#include <gtest/gtest.h>

#include <string>

#include "text/list_pick.hpp"
#include "text/trim.hpp"

namespace hdrmill {
namespace {

TEST(Trim, RemovesOnlyLfCrTabAndBlankAtTheEnds) {
    struct row {
        std::string text, right, both;
    };
    const row rows[] = {
        {"abc \t\r\n", "abc", "abc"},
        {"  abc ", "  abc", "abc"},
        {" a b ", " a b", "a b"},
        {"\nabc\r", "\nabc", "abc"},
        {"", "", ""},
        {"   ", "", ""},  // whitespace only: both trims empty it, so the reader skips the line
        {"\t", "", ""},
        {"\vabc\f", "\vabc\f", "\vabc\f"},  // vertical tab and form feed are ordinary
        {std::string("\0a\0", 3), std::string("\0a\0", 3), std::string("\0a\0", 3)},
        {"a\t \tb", "a\t \tb", "a\t \tb"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(trim_right(r.text), r.right) << '"' << r.text << '"';
        EXPECT_EQ(trim_both(r.text), r.both) << '"' << r.text << '"';
    }
}

TEST(PickListItem, TakesTheStretchBetweenCommasUntrimmed) {
    struct row {
        std::string list;
        std::uint32_t k;
        std::string item;
    };
    const row rows[] = {
        {"UNKNOWN,METERS,FEET,FATHOMS", 0, "UNKNOWN"},
        {"UNKNOWN,METERS,FEET,FATHOMS", 3, "FATHOMS"},
        {"UNKNOWN,METERS,FEET,FATHOMS", 4, ""},
        {"UNKNOWN,METERS,FEET,FATHOMS", 4294967295u, ""},  // a caller's -1
        {"UNKNOWN,MERCATOR,TRANSVERSE MERCATOR", 2, "TRANSVERSE MERCATOR"},
        {"a,,c", 1, ""},
        {"a,,c", 2, "c"},
        {"a, b", 1, " b"},
        {"a,b,", 2, ""},
        {"a,b,", 3, ""},
        {",a", 0, ""},
        {",a", 1, "a"},
        {"", 0, ""},
        {"whole", 0, "whole"},
        {"whole", 1, ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(pick_list_item(r.list, r.k), r.item) << r.list << " item " << r.k;
    }
}

}  // namespace
}  // namespace hdrmill
