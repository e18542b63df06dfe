#include "http/wide_text.h"

#include <gtest/gtest.h>

namespace melvara::http {
namespace {

TEST(WideTextTest, AnsiToUtf16EndsWithOneZeroUnitExceptForTheEmptyText) {
    EXPECT_TRUE(AnsiToUtf16("").empty());
    // "A" and the GBK character D6 D0 (U+4E2D).
    EXPECT_EQ(AnsiToUtf16("A\xD6\xD0"), (WideText{0x41, 0, 0x2D, 0x4E, 0, 0}));
}

TEST(WideTextTest, Utf16ToAnsiStopsAtTheFirstZeroUnitAndIgnoresAnOddByte) {
    struct Case {
        WideText wide;
        Text expected;
    };
    const Case cases[] = {
        {{0x41, 0, 0x2D, 0x4E}, "A\xD6\xD0"},
        {{0x41, 0, 0, 0, 0x42, 0}, "A"},
        {{0x41, 0, 0x42}, "A"},
        {{}, ""},
        {{0x41}, ""},
        {{0x00, 0x26}, "?"},  // U+2600, a sun, is not in code page 936
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToAnsi(c.wide), c.expected);
    }
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16("Round \xD6\xD0\xCE\xC4 trip")),
              "Round \xD6\xD0\xCE\xC4 trip");
}

}  // namespace
}  // namespace melvara::http
