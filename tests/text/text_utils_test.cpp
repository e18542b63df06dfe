#include "text/text_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace melvara::text {
namespace {

const std::string kQuote(kQuoteMarker);

struct BetweenCase {
    std::string text;
    std::string front;
    std::string back;
    int start;
    bool caseInsensitive;
    std::string expected;
};

TEST(TextBetweenTest, CutsBetweenMarkers) {
    const std::vector<BetweenCase> cases = {
        {"x[a]y[b]", "[", "]", 0, false, "a"},
        {"k|v|w", "|", "|", 0, false, "v"},  // same marker twice
        {"a|b", "|", "#", 0, false, ""},     // back marker missing
        {"a|b", "#", "b", 0, false, ""},     // front marker missing
        {"ab[", "[", "]", 0, false, ""},     // front marker at the very end
        {"[]", "[", "]", 0, false, ""},
        {"a[b]c]", "[", "]", 0, false, "b"},
        {"<a href=\"x.mp3\">", "href=" + kQuote, kQuote, 0, false, "x.mp3"},
        {"<a href='x.mp3'>", "href=" + kQuote, kQuote, 0, false, ""},
        // start: below 1 is the first byte; a front marker before start is skipped
        {"[ab][cd]", "[", "]", 0, false, "ab"},
        {"[ab][cd]", "[", "]", -3, false, "ab"},
        {"[ab][cd]", "[", "]", 2, false, "cd"},
        {"[ab][cd]", "[", "]", 5, false, "cd"},
        {"[ab][cd]", "[", "]", 6, false, ""},
        {"[ab][cd]", "[", "]", 50, false, ""},
        // a back marker "\" does not match the trail byte of 95 5C
        {"[\x95\x5C\\", "[", "\\", 0, false, "\x95\x5C"},
        {"[\x95\x5C", "[", "\\", 0, false, ""},
        {"Set-Cookie: a=1; path=/", "set-cookie:", ";", 0, true, " a=1"},
        {"Set-Cookie: a=1; path=/", "set-cookie:", ";", 0, false, ""},
        {"go https://mp3.site.example/s/1.mp3 now", "https://mp3", ".mp3", 0, false,
         ".site.example/s/1"},
    };
    for (const BetweenCase& c : cases) {
        EXPECT_EQ(TextBetween(c.text, c.front, c.back, c.start, c.caseInsensitive), c.expected)
            << "'" << c.text << "' between '" << c.front << "' and '" << c.back << "' from "
            << c.start;
    }
}

WideText Wide(std::initializer_list<char16_t> units) {
    WideText bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

TEST(ConversionTest, Utf8ToAnsi) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xE6\x99\xB4\xE5\xA4\xA9 - \xE5\x91\xA8", "\xC7\xE7\xCC\xEC - \xD6\xDC"},  // 晴天 - 周
        {"Plain ASCII 123 ~", "Plain ASCII 123 ~"},
        {"", ""},
        {"\xE2\x82\xAC", "\x80"},  // euro sign
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b"},  // emoji: one '?'
        {"a\xE0\xB8\x81"
         "b",
         "a?b"},  // Thai letter, not in 936
        {"a\xFF"
         "b",
         "a?b"},  // malformed -> U+FFFD -> '?'
        {"a\xE6\x99"
         "b",
         "a?b"},                           // cut-off sequence
        {std::string("ab\0cd", 5), "ab"},  // ends at the first zero byte
    };
    for (const auto& [utf8, gbk] : cases)
        EXPECT_EQ(Utf8ToAnsi(utf8), gbk) << utf8;
}

TEST(ConversionTest, TextToWideEndsWithOneZeroUnit) {
    EXPECT_EQ(TextToWide(""), Wide({0}));
    EXPECT_EQ(TextToWide("a"), Wide({u'a', 0}));
    EXPECT_EQ(TextToWide("\xE6\x99\xB4"), Wide({0x6674, 0}));
    EXPECT_EQ(TextToWide("\xC7\xE7", 936), Wide({0x6674, 0}));
    EXPECT_EQ(TextToWide("\xC7\xE7", 0), Wide({0x6674, 0}));
    EXPECT_EQ(TextToWide("\xF0\x9F\x98\x80"), Wide({0xD83D, 0xDE00, 0}));
    EXPECT_EQ(TextToWide("\xC0\xAF"), Wide({0xFFFD, 0xFFFD, 0}));
    EXPECT_EQ(TextToWide("a", 1234), WideText());  // unknown code page
}

TEST(ConversionTest, WideToText) {
    EXPECT_EQ(WideToText(WideText()), "");
    EXPECT_EQ(WideToText(Wide({0})), "");
    EXPECT_EQ(WideToText(Wide({0x6674, u'x', 0})), "\xC7\xE7x");
    EXPECT_EQ(WideToText(Wide({u'a', 0, u'b', 0})), "a");  // up to the first zero unit
    EXPECT_EQ(WideToText(Wide({u'a', u'b'})), "ab");       // no zero unit at all
    WideText odd = Wide({u'a', 0});
    odd.insert(odd.begin() + 2, 0x41);  // a stray byte: 'a', 0x0041 ... odd length
    EXPECT_EQ(WideToText(odd), "aA");
    // A character 936 lacks is one '?' there but four bytes in UTF-8: the whole
    // text still comes out.
    EXPECT_EQ(WideToText(Wide({0xD83D, 0xDE00, 0}), 65001), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToText(Wide({0x6674, 0}), 65001), "\xE6\x99\xB4");
}

}  // namespace
}  // namespace melvara::text
