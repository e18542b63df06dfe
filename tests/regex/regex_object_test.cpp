#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/com.h"

namespace melvara::regex {
namespace {

// Test texts are written in UTF-8 and handed to the object as GBK.
Text Gbk(std::string_view utf8) {
    return platform::Utf8ToGbk(utf8);
}

std::vector<Text> AllMatches(const RegexObject& regex) {
    std::vector<Text> texts;
    for (int i = 1; i <= regex.MatchCount(); ++i) {
        texts.push_back(regex.MatchText(i));
    }
    return texts;
}

TEST(RegexObject, SearchFlagsAndDialect) {
    struct Case {
        const char* name;
        Text pattern;
        Text text;
        std::optional<bool> caseSensitive;
        std::optional<bool> multiline;
        std::optional<bool> global;
        std::optional<bool> quoteMarker;
        std::vector<Text> expected;
    };
    const std::vector<Case> cases = {
        {"no match", "xyz", "abc", {}, {}, {}, {}, {}},
        {"case ignored, every match by default",
         "ab",
         "AB ab aB",
         {},
         {},
         {},
         {},
         {"AB", "ab", "aB"}},
        {"caret at every line by default",
         "^\\w+",
         "one\ntwo\nthree",
         {},
         {},
         {},
         {},
         {"one", "two", "three"}},
        {"multiline false", "^\\w+", "one\ntwo", {}, false, {}, {}, {"one"}},
        {"global false", "ab", "ab ab", {}, {}, false, {}, {"ab"}},
        {"case sensitive", "ab", "AB ab", true, {}, {}, {}, {"ab"}},
        {"given as false is case ignored", "ab", "AB", false, {}, {}, {}, {"AB"}},
        {"dot stops at a line break", "a.b", "a\nb a-b", {}, {}, {}, {}, {"a-b"}},
        {"lazy repetition", "<(.+?)>", "<a><b>", {}, {}, {}, {}, {"<a>", "<b>"}},
        {"word class is ASCII", "\\w+", Gbk("中文abc_1"), {}, {}, {}, {}, {"abc_1"}},
        {"bracket expression", "[-\\w]+", Gbk("x:utf-8;"), {}, {}, {}, {}, {"x", "utf-8"}},
        {"Chinese pattern",
         Gbk("歌\\d"),
         Gbk("歌1 曲2 歌3"),
         {},
         {},
         {},
         {},
         {Gbk("歌1"), Gbk("歌3")}},
        {"quote marker replaced", Gbk("a#引号b"), "a\"b", {}, {}, {}, true, {"a\"b"}},
        {"quote marker literal when omitted",
         Gbk("a#引号b"),
         Gbk("a\"b a#引号b"),
         {},
         {},
         {},
         {},
         {Gbk("a#引号b")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegexObject regex;
        ASSERT_TRUE(
            regex.Search(c.pattern, c.text, c.caseSensitive, c.multiline, c.global, c.quoteMarker));
        EXPECT_EQ(AllMatches(regex), c.expected);
    }
}

TEST(RegexObject, EmptyAndOutOfRangeReads) {
    RegexObject fresh;
    EXPECT_EQ(fresh.MatchCount(), 0);
    EXPECT_EQ(fresh.SubMatchCount(), 0);
    EXPECT_EQ(fresh.MatchText(1), "");
    EXPECT_EQ(fresh.SubMatchText(1, 1), "");
    EXPECT_EQ(fresh.GetPattern(), "");
    EXPECT_EQ(fresh.ReplaceMatches("x"), "");

    RegexObject regex;
    ASSERT_TRUE(regex.Search("zz", "abc"));
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.SubMatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), "");
    EXPECT_EQ(regex.SubMatchText(1, 1), "");

    ASSERT_TRUE(regex.Search("(\\d)(x)?", "1x 2"));
    ASSERT_EQ(regex.MatchCount(), 2);
    EXPECT_EQ(regex.MatchText(0), "");
    EXPECT_EQ(regex.MatchText(3), "");
    EXPECT_EQ(regex.MatchText(-1), "");
    EXPECT_EQ(regex.SubMatchText(2, 1), "2");
    EXPECT_EQ(regex.SubMatchText(1, 2), "x");
    EXPECT_EQ(regex.SubMatchText(2, 2), "");  // did not take part
    EXPECT_EQ(regex.SubMatchText(1, 0), "");
    EXPECT_EQ(regex.SubMatchText(1, 3), "");
    EXPECT_EQ(regex.SubMatchText(3, 1), "");
}

TEST(RegexObject, SubMatchCountCountsGroupsThatDidNotTakePart) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search("(a)|(b)(c)?", "b a"));
    EXPECT_EQ(regex.SubMatchCount(), 3);
    EXPECT_EQ(regex.SubMatchText(1, 2), "b");
    EXPECT_EQ(regex.SubMatchText(2, 1), "a");
}

TEST(RegexObject, InvalidPatternOrMissingObjectFails) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search("a", "aaa"));
    EXPECT_FALSE(regex.Search("(ab", "ab"));
    EXPECT_EQ(regex.MatchCount(), 0);
    EXPECT_EQ(regex.MatchText(1), "");
    EXPECT_EQ(regex.ReplaceMatches("x"), "");

    const platform::RegExpFactory previous =
        platform::SetRegExpFactory([] { return std::unique_ptr<platform::RegExp>(); });
    const bool found = regex.Search("a", "aaa");
    const int count = regex.MatchCount();
    const Text pattern = regex.GetPattern();
    const Text replaced = regex.ReplaceMatches("b");
    platform::SetRegExpFactory(previous);
    EXPECT_FALSE(found);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(pattern, "");
    EXPECT_EQ(replaced, "");
}

TEST(RegexObject, SecondSearchForgetsTheFirst) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search("(a)", "aaa"));
    ASSERT_EQ(regex.MatchCount(), 3);
    ASSERT_TRUE(regex.Search("b", "xbx"));
    EXPECT_EQ(regex.MatchCount(), 1);
    EXPECT_EQ(regex.MatchText(2), "");
    EXPECT_EQ(regex.SubMatchCount(), 0);
    EXPECT_EQ(regex.GetPattern(), "b");
    EXPECT_EQ(regex.ReplaceMatches("y"), "xyx");
}

TEST(RegexObject, GetPatternShowsTheQuoteInPlaceOfTheMarker) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search(Gbk("href=#引号(.*?)#引号"), "", {}, {}, {}, true));
    EXPECT_EQ(regex.GetPattern(), "href=\"(.*?)\"");
    ASSERT_TRUE(regex.Search(Gbk("歌#引号"), ""));
    EXPECT_EQ(regex.GetPattern(), Gbk("歌#引号"));
}

TEST(RegexObject, ReplaceMatchesUsesGroups) {
    RegexObject regex;
    ASSERT_TRUE(regex.Search("(\\w+)@(\\w+)", "a@b, c@d"));
    EXPECT_EQ(regex.ReplaceMatches("$2@$1"), "b@a, d@c");
    ASSERT_TRUE(regex.Search(Gbk("歌(\\d)"), Gbk("歌1和歌2"), {}, {}, false));
    EXPECT_EQ(regex.ReplaceMatches(Gbk("曲$1")), Gbk("曲1和歌2"));
}

TEST(RegexObject, BytePositions) {
    struct Case {
        const char* name;
        Text pattern;
        Text text;
        int matchIndex;
        int groupIndex;  // 0: the whole match
        Text expectedText;
        int expectedPosition;
    };
    const std::vector<Case> cases = {
        {"after two-byte characters", "abc", Gbk("中文abc中文abc"), 2, 0, "abc", 11},
        {"first of two", "abc", Gbk("中文abc中文abc"), 1, 0, "abc", 4},
        // The same text one character earlier must not be taken for the match.
        {"adjacent equal matches", "a", "aa", 2, 0, "a", 1},
        // Character offset 2 is the second byte of the first character.
        {"behind repeated characters", "a", Gbk("中中a"), 1, 0, "a", 4},
        {"Chinese match", Gbk("文"), Gbk("中文中文"), 2, 0, Gbk("文"), 6},
        {"case ignored", "ABC", "xabc", 1, 0, "abc", 1},
        {"group", Gbk("文(a)(b)"), Gbk("中文ab"), 1, 2, "b", 5},
        {"empty match at the end", "$", Gbk("中a"), 1, 0, "", 3},
        {"group that did not take part", "(x)?a", Gbk("中a"), 1, 1, "", 2},
        {"no such match", "a", "a", 2, 0, "", -2},
        {"no such group", "a", "a", 1, 1, "", -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegexObject regex;
        ASSERT_TRUE(regex.Search(c.pattern, c.text));
        int position = -100;
        const Text found = c.groupIndex == 0
                               ? regex.MatchText(c.matchIndex, &position)
                               : regex.SubMatchText(c.matchIndex, c.groupIndex, &position);
        EXPECT_EQ(found, c.expectedText);
        EXPECT_EQ(position, c.expectedPosition);
    }
}

TEST(RegexObject, SongPatternOnAGbkPlaylistPage) {
    const Text songPattern = "href=\"/play/(.*?).htm\" class=\"songName \">(.*?)</a>";
    const Text page =
        Gbk("<ul>\r\n"
            "<li><A HREF=\"/play/1234.htm\" CLASS=\"songName \">晴天</A></li>\r\n"
            "<li><a href=\"/play/98.htm\" class=\"songName \">七里香 (Live)</a></li>\r\n"
            "<li><a href=\"/play/77.htm\" class=\"singer \">不是歌</a></li>\r\n"
            "</ul>");
    RegexObject regex;
    ASSERT_TRUE(regex.Search(songPattern, page));
    ASSERT_EQ(regex.MatchCount(), 2);
    EXPECT_EQ(regex.SubMatchCount(), 2);
    EXPECT_EQ(regex.SubMatchText(1, 1), "1234");
    EXPECT_EQ(regex.SubMatchText(1, 2), Gbk("晴天"));
    EXPECT_EQ(regex.SubMatchText(2, 1), "98");
    EXPECT_EQ(regex.SubMatchText(2, 2), Gbk("七里香 (Live)"));
}

TEST(RegexObject, SeveralMegabytePagesAreSearchedWhole) {
    const Text row = Gbk("<li><a href=\"/play/42.htm\" class=\"songName \">歌名</a></li>");
    const int rows = 100'000;  // about 6 MiB, on one line as minified pages are
    Text page;
    page.reserve(row.size() * rows + 16);
    for (int i = 0; i < rows; ++i) {
        page += row;
    }
    const Text songPattern = "href=\"/play/(.*?).htm\" class=\"songName \">(.*?)</a>";
    RegexObject regex;
    ASSERT_TRUE(regex.Search(songPattern, page));
    EXPECT_EQ(regex.MatchCount(), rows);
    EXPECT_EQ(regex.SubMatchText(rows, 2), Gbk("歌名"));

    // An opening that never closes on its line sends the lazy group across
    // megabytes before it fails; the row on the next line is still found.
    const Text unclosed = "href=\"/play/" + Text(3 * 1024 * 1024, '\xD6') + "\n" + row;
    ASSERT_TRUE(regex.Search(songPattern, unclosed));
    ASSERT_EQ(regex.MatchCount(), 1);
    EXPECT_EQ(regex.SubMatchText(1, 1), "42");
}

TEST(RegexObject, ComInitialisationLastsForTheObjectsLifetime) {
    const int before = platform::ComInitCount();
    {
        RegexObject regex;
        EXPECT_EQ(platform::ComInitCount(), before + 1);
        regex.Search("a", "a");
        regex.ReplaceMatches("b");
        regex.MatchText(1);
        EXPECT_EQ(platform::ComInitCount(), before + 1);
    }
    EXPECT_EQ(platform::ComInitCount(), before);
}

}  // namespace
}  // namespace melvara::regex
