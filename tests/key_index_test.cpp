#include <gtest/gtest.h>

#include <string>

#include "calibration/key_index.hpp"

namespace hdrmill {
namespace {

std::string point_key(std::size_t n) {
    std::string key = "C";
    key += std::to_string(n);
    return key;
}

TEST(KeyIndex, TheFirstLineOfAKeyWinsThroughGrowthAndClears) {
    key_index index;
    for (int round = 0; round < 2; ++round) {
        // Enough keys to grow far past the size a cleared index keeps.
        for (std::size_t line = 0; line < 5000; ++line) {
            index.add(point_key(line % 2500), line);
        }
        index.add(std::string("N\0A", 3), 7);
        index.add("", 8);
        // In the order added, then backwards: the guess of the next key must not be
        // taken for a key of the same length.
        for (std::size_t n = 0; n < 2500; ++n) {
            ASSERT_EQ(index.find(point_key(n)), n);
        }
        for (std::size_t n = 2500; n-- > 0;) {
            ASSERT_EQ(index.find(point_key(n)), n);
        }
        EXPECT_EQ(index.find(std::string("N\0A", 3)), 7u);
        EXPECT_EQ(index.find("N"), std::nullopt);
        EXPECT_EQ(index.find(""), 8u);
        EXPECT_EQ(index.find("C2500"), std::nullopt);
        index.clear();
        EXPECT_EQ(index.find("C1"), std::nullopt);
    }
}

}  // namespace
}  // namespace hdrmill
