#include "text/text_ops.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace melvara::text {
namespace {

// GBK characters whose trail byte looks like ASCII: 95 5C ends in '\', B0 41 in 'A'.
constexpr const char* kBackslashTrail = "\x95\x5C";
constexpr const char* kLetterTrail = "\xB0\x41";

struct FindCase {
    std::string haystack;
    std::string needle;
    int start;
    bool caseInsensitive;
    int expected;
};

TEST(FindTest, PositionsStartsAndCharacterBoundaries) {
    const std::vector<FindCase> cases = {
        {"abcabc", "c", 1, false, 3},
        {"abcabc", "c", 4, false, 6},
        {"abcabc", "c", 0, false, 3},
        {"abcabc", "c", -7, false, 3},
        {"abcabc", "c", 7, false, -1},
        {"abcabc", "c", 1000, false, -1},
        {"abc", "abcd", 1, false, -1},
        {"abc", "", 2, false, 2},
        {"abc", "", 4, false, -1},
        {"", "", 1, false, -1},
        {"", "a", 1, false, -1},
        // a match never begins on a trail byte
        {std::string(kBackslashTrail) + "\\", "\\", 1, false, 3},
        {std::string(kBackslashTrail), "\\", 1, false, -1},
        {std::string(kLetterTrail) + "A", "A", 1, false, 3},
        {"\x81\x81\x81\x5C", "\\", 1, false, -1},  // 81 81 | 81 5C
        {"\x81\x81\x5C", "\\", 1, false, 3},       // 81 81 | 5C
        {"a\xB0", "\xB0", 1, false, 2},            // lone lead byte at the end
        {std::string(kBackslashTrail) + "x" + kBackslashTrail, kBackslashTrail, 2, false, 4},
        // ASCII letters fold, trail bytes and other bytes do not
        {"xAbC", "abc", 1, true, 2},
        {"xAbC", "abc", 1, false, -1},
        {"\xB0\x61", kLetterTrail, 1, true, -1},
        {kLetterTrail, kLetterTrail, 1, true, 1},
        {std::string(kLetterTrail) + "x", "ax", 1, true, -1},
        {std::string("X") + kLetterTrail, "x", 1, true, 1},
        {"a[B]", "[b]", 1, true, 2},
        {"@[", "`{", 1, true, -1},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(Find(c.haystack, c.needle, c.start, c.caseInsensitive), c.expected)
            << "'" << c.haystack << "' / '" << c.needle << "' from " << c.start;
    }
    EXPECT_TRUE(Contains("abc", "BC", true));
    EXPECT_FALSE(Contains(kBackslashTrail, "\\"));
}

// Straightforward reference: walk the characters and compare at each one.
int ReferenceFind(const std::string& text, const std::string& needle, bool caseInsensitive) {
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    std::size_t pos = 0;
    while (pos + needle.size() <= text.size()) {
        bool match = true;
        for (std::size_t i = 0; i < needle.size() && match;) {
            const auto n = static_cast<unsigned char>(needle[i]);
            const auto h = static_cast<unsigned char>(text[pos + i]);
            if (n >= 0x80) {
                match = h == n && (i + 1 >= needle.size() || text[pos + i + 1] == needle[i + 1]);
                i += 2;
            } else {
                match = caseInsensitive ? fold(h) == fold(n) : h == n;
                ++i;
            }
        }
        if (match)
            return static_cast<int>(pos) + 1;
        pos += static_cast<unsigned char>(text[pos]) >= 0x80 ? 2 : 1;
    }
    return -1;
}

TEST(FindTest, AgreesWithCharacterWalkOnRandomGbk) {
    // A small alphabet of lead bytes, letters and the trail-lookalikes makes
    // matches across character boundaries frequent.
    const std::string alphabet = "aA\\\x95\xB0\x81";
    std::mt19937 random(12345);
    auto make = [&](std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string text = make(random() % 40);
        const std::string needle = make(1 + random() % 3);
        const bool caseInsensitive = round % 2 == 1;
        ASSERT_EQ(Find(text, needle, 1, caseInsensitive),
                  ReferenceFind(text, needle, caseInsensitive))
            << "round " << round;
    }
}

TEST(FindTest, LongTextWithManyTrailByteCandidates) {
    // Every "\\" in the run is a trail byte; only the last one is a character.
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += kBackslashTrail;
    text += "\\";
    EXPECT_EQ(Find(text, "\\"), static_cast<int>(text.size()));
}

TEST(TrimTest, AsciiAndFullWidthSpacesAtBothEnds) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  a b  ", "a b"},
        {"\xA1\xA1 a\xA1\xA1", "a"},
        {"\ta\r\n ", "\ta\r\n"},
        {"   ", ""},
        {"", ""},
        {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},  // B0 A1 | A1 A1 (space)
        {"\xC4\xA1\xA1", "\xC4\xA1\xA1"},  // C4 A1 | lone A1: no space
        {"\xA1\xA1\xA1", "\xA1"},          // A1 A1 (space) | lone A1
        {" \xA1\xA1"
         "x"
         " \xA1\xA1",
         "x"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(Trim(input), expected) << input;
}

TEST(RemoveSpacesTest, RemovesOnlyWholeSpaceCharacters) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {" a \xA1\xA1"
         "b\t",
         "ab\t"},
        {"\xC4\xA1\xA1"
         "b",
         "\xC4\xA1\xA1"
         "b"},  // C4 A1 | A1 62: no space inside
        {"    ", ""},
        {"", ""},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(RemoveSpaces(input), expected) << input;
}

TEST(SplitTest, PiecesEndAtEverySeparator) {
    using Pieces = std::vector<Text>;
    const std::vector<std::tuple<std::string, std::string, Pieces>> cases = {
        {"", ",", {}},
        {"a,b", ",", {"a", "b"}},
        {"a,,b,", ",", {"a", "", "b"}},
        {",", ",", {""}},
        {"abc", ",", {"abc"}},
        {"abc", "", {"abc"}},
        {"a\r\nb\r\n", "\r\n", {"a", "b"}},
        {std::string(kBackslashTrail) + "\\x", "\\", {kBackslashTrail, "x"}},
    };
    for (const auto& [text, separator, expected] : cases) {
        EXPECT_EQ(Split(text, separator), expected) << text;
    }
}

TEST(ReplaceTest, AllOccurrencesLeftToRight) {
    const std::vector<std::tuple<std::string, std::string, std::string, bool, std::string>> cases =
        {
            {"aXbXc", "X", "--", false, "a--b--c"},
            {"aaa", "aa", "b", false, "ba"},
            {"a", "a", "aa", false, "aa"},
            {"abc", "b", "", false, "ac"},
            {"abc", "", "x", false, "abc"},
            {"AbaB", "ab", "x", true, "xx"},
            {"Abab", "ab", "x", false, "Abx"},
            {std::string(kBackslashTrail) + "\\", "\\", "/", false,
             std::string(kBackslashTrail) + "/"},
        };
    for (const auto& [text, from, to, caseInsensitive, expected] : cases) {
        EXPECT_EQ(Replace(text, from, to, caseInsensitive), expected) << text;
    }
}

TEST(PartsTest, LeftRightMiddleClampAndEmptyCounts) {
    EXPECT_EQ(Left("abc", 2), "ab");
    EXPECT_EQ(Left("abc", 5), "abc");
    EXPECT_EQ(Left("abc", 0), "");
    EXPECT_EQ(Left("abc", -1), "");
    EXPECT_EQ(Right("abc", 2), "bc");
    EXPECT_EQ(Right("abc", 9), "abc");
    EXPECT_EQ(Right("abc", 0), "");
    EXPECT_EQ(Middle("abcde", 2, 3), "bcd");
    EXPECT_EQ(Middle("abcde", 4, 10), "de");
    EXPECT_EQ(Middle("abcde", 6, 1), "");
    EXPECT_EQ(Middle("abcde", 0, 2), "ab");
    EXPECT_EQ(Middle("abcde", 2, 0), "");
    EXPECT_EQ(Middle("abcde", 2, -3), "");
}

}  // namespace
}  // namespace melvara::text
