#include "platform/reg_exp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace melvara::platform {
namespace {

struct Flags {
    bool ignoreCase = false;
    bool multiline = false;
    bool global = true;
};

std::unique_ptr<RegExp> Make(std::u16string_view pattern, Flags flags = {}) {
    auto regExp = CreateRegExp();
    regExp->SetIgnoreCase(flags.ignoreCase);
    regExp->SetMultiline(flags.multiline);
    regExp->SetGlobal(flags.global);
    regExp->SetPattern(pattern);
    return regExp;
}

struct Found {
    std::u16string value;
    int firstIndex;
    bool operator==(const Found&) const = default;
};

std::vector<Found> Matches(RegExp& regExp, std::u16string_view subject) {
    std::vector<Found> found;
    const auto matches = regExp.Execute(subject);
    EXPECT_NE(matches, nullptr);
    for (int i = 0; matches && i < matches->Count(); ++i) {
        found.push_back({matches->Item(i)->Value(), matches->Item(i)->FirstIndex()});
    }
    return found;
}

TEST(RegExp, OffsetsAreUtf16UnitsAndEmptyMatchesAdvanceByOneCharacter) {
    struct Case {
        const char* name;
        std::u16string pattern;
        std::u16string subject;
        std::vector<Found> expected;
    };
    const std::vector<Case> cases = {
        {"after CJK", u"b+", u"\u4E2D\u6587bb", {{u"bb", 2}}},
        // U+1F600 is two UTF-16 units.
        {"after a surrogate pair", u"x", u"\U0001F600x", {{u"x", 2}}},
        {"empty matches around a run", u"a*", u"baaa", {{u"", 0}, {u"aaa", 1}, {u"", 4}}},
        {"empty matches step over a pair", u"", u"\U0001F600", {{u"", 0}, {u"", 2}}},
        {"dot spans one pair", u".", u"\U0001F600", {{u"\U0001F600", 0}}},
        // A lone surrogate is matched as U+FFFD, in its own place.
        {"lone surrogate",
         u".",
         std::u16string{u'a', static_cast<char16_t>(0xD800), u'b'},
         {{u"a", 0}, {u"\uFFFD", 1}, {u"b", 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto regExp = Make(c.pattern);
        EXPECT_EQ(Matches(*regExp, c.subject), c.expected);
    }
}

TEST(RegExp, DialectDetails) {
    struct Case {
        const char* name;
        std::u16string pattern;
        Flags flags;
        std::u16string subject;
        std::vector<std::u16string> expected;
    };
    const std::vector<Case> cases = {
        {"\\w is ASCII only", u"\\w+", {}, u"\u4E2D_a1\u00E9", {u"_a1"}},
        {"dot stops at LF, not CR", u"a.+", {}, u"a\r\nab", {u"a\r", u"ab"}},
        {"$ only at the very end", u"c$", {}, u"abc\n", {}},
        {"$ at each LF when multi-line", u"c$", {false, true, true}, u"abc\nc", {u"c", u"c"}},
        {"case folding beyond ASCII", u"\u00E9", {true, false, true}, u"\u00C9", {u"\u00C9"}},
        {"\\u escapes", u"\\u4E2D", {}, u"\u4E2D", {u"\u4E2D"}},
        {"lazy repetition", u"<(.+?)>", {}, u"<a><b>", {u"<a>", u"<b>"}},
        {"first match only", u"a", {false, false, false}, u"aaa", {u"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto regExp = Make(c.pattern, c.flags);
        std::vector<std::u16string> values;
        for (const Found& f : Matches(*regExp, c.subject)) {
            values.push_back(f.value);
        }
        EXPECT_EQ(values, c.expected);
    }
}

TEST(RegExp, GroupsIncludeThoseThatDidNotTakePart) {
    auto regExp = Make(u"(a)|(b)");
    const auto matches = regExp->Execute(u"b");
    ASSERT_NE(matches, nullptr);
    ASSERT_EQ(matches->Count(), 1);
    const SubMatches& groups = matches->Item(0)->GetSubMatches();
    ASSERT_EQ(groups.Count(), 2);
    EXPECT_EQ(*groups.Item(0), u"");
    EXPECT_EQ(*groups.Item(1), u"b");
    EXPECT_EQ(groups.Item(2), nullptr);
    EXPECT_EQ(groups.Item(-1), nullptr);
    EXPECT_EQ(matches->Item(1), nullptr);
    EXPECT_EQ(matches->Item(-1), nullptr);
}

TEST(RegExp, InvalidPatternFailsUntilThePatternChanges) {
    auto regExp = Make(u"(ab");
    EXPECT_EQ(regExp->Execute(u"ab"), nullptr);
    EXPECT_EQ(regExp->Replace(u"ab", u"x"), std::nullopt);
    regExp->SetPattern(u"(ab)");
    ASSERT_NE(regExp->Execute(u"ab"), nullptr);
    EXPECT_EQ(regExp->Execute(u"ab")->Count(), 1);
}

TEST(RegExp, PropertyChangesTakeEffectOnTheNextRun) {
    auto regExp = Make(u"^b");
    EXPECT_TRUE(Matches(*regExp, u"a\nB").empty());
    regExp->SetMultiline(true);
    regExp->SetIgnoreCase(true);
    EXPECT_EQ(Matches(*regExp, u"a\nB"), (std::vector<Found>{{u"B", 2}}));
    EXPECT_TRUE(regExp->IgnoreCase());
    EXPECT_TRUE(regExp->Multiline());
    EXPECT_EQ(regExp->Pattern(), u"^b");
}

TEST(RegExp, ReplacementSyntax) {
    struct Case {
        const char* name;
        std::u16string pattern;
        bool global;
        std::u16string subject;
        std::u16string replacement;
        std::u16string expected;
    };
    // Twelve groups, so that "$12" and "$1" followed by a digit can be told apart.
    const std::u16string twelve = u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)";
    const std::vector<Case> cases = {
        {"groups", u"(\\w)(\\w)", true, u"ab cd", u"$2$1", u"ba dc"},
        {"first only", u"(\\w)(\\w)", false, u"ab cd", u"$2$1", u"ba cd"},
        {"dollar, whole, before, after", u"b", true, u"abc", u"[$$|$&|$`|$']", u"a[$|b|a|c]c"},
        {"two-digit group", twelve, true, u"abcdefghijkl", u"$12", u"l"},
        {"one digit then a literal", u"(a)", true, u"a", u"$12", u"a2"},
        {"missing group, $0, stray and final $", u"(a)", true, u"a", u"$3$0$x$", u"$3$0$x$"},
        {"unset group is empty", u"(a)|(b)", true, u"b", u"<$1>", u"<>"},
        {"empty matches", u"a*", true, u"baaa", u"X", u"XbXX"},
        {"CJK", u"\u6B4C(\\d)", true, u"\u6B4C1\u548C\u6B4C2", u"\u66F2$1",
         u"\u66F21\u548C\u66F22"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto regExp = Make(c.pattern, {false, false, c.global});
        EXPECT_EQ(regExp->Replace(c.subject, c.replacement), c.expected);
    }
}

TEST(RegExp, PathologicalSearchStopsWithTheMatchesFoundSoFar) {
    // Nested repetition that cannot match: exponential backtracking that only
    // the match limit ends.
    auto regExp = Make(u"x|(a+)+$");
    const std::u16string subject = u"x" + std::u16string(40, u'a') + u"!";
    const auto matches = regExp->Execute(subject);
    ASSERT_NE(matches, nullptr);
    EXPECT_EQ(matches->Count(), 1);
    EXPECT_EQ(matches->Item(0)->Value(), u"x");
    EXPECT_EQ(regExp->Replace(subject, u"y"), std::nullopt);
}

TEST(RegExp, LongLazyScanOverSeveralMegabytesCompletes) {
    // A lazy group that has to run across the whole subject before it finds its end.
    const std::u16string subject = u"<" + std::u16string(6 * 1024 * 1024, u'\u4E2D') + u">";
    auto regExp = Make(u"<(.*?)>");
    const auto matches = regExp->Execute(subject);
    ASSERT_NE(matches, nullptr);
    ASSERT_EQ(matches->Count(), 1);
    EXPECT_EQ(matches->Item(0)->GetSubMatches().Item(0)->size(), 6u * 1024 * 1024);
}

TEST(RegExp, FactoryCanBeReplaced) {
    const RegExpFactory previous = SetRegExpFactory([] { return std::unique_ptr<RegExp>(); });
    EXPECT_EQ(CreateRegExp(), nullptr);
    SetRegExpFactory(previous);
    EXPECT_NE(CreateRegExp(), nullptr);
}

}  // namespace
}  // namespace melvara::platform
