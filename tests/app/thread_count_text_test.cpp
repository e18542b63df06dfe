#include "app/thread_count_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string_view>

namespace melvara::app {
namespace {

struct Case {
    std::string_view text;
    int expected;
};

TEST(ReadThreadCountTest, ReadsLeadingNumberWithFullWidthForms) {
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    const Case cases[] = {
        {"5", 5},
        {"", 0},
        {"0", 0},
        {"abc", 0},
        {"  12x", 12},
        {"\t4", 4},
        {"-3", -3},
        {"+7", 7},
        {"- 5", 0},
        {"\xA3\xB5", 5},           // full-width five
        {"\xA3\xB1\xA3\xB2", 12},  // full-width one, two
        {"5\xA3\xB5", 55},         // mixed widths
        {"\xA3\xAD\xA3\xB2", -2},  // full-width minus
        {"\xA3\xAB\xA3\xB3", 3},   // full-width plus
        {"\xA1\xA1 \xA3\xB5", 5},  // full-width and ASCII blanks
        {"\xD6\xD0"
         "5",
         0},  // a CJK character before the digits
        {"7\xD6\xD0"
         "5",
         7},          // ... and after them
        {"\xA3", 0},  // a lone lead byte
        {"99999999999", kMax},
        {"-99999999999", kMin},
        {"2147483647", kMax},
        {"-2147483648", kMin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadThreadCount(c.text), c.expected) << "text: " << c.text;
    }
}

}  // namespace
}  // namespace melvara::app
