#include "http/cookies.h"

#include <gtest/gtest.h>

#include <vector>

namespace melvara::http {
namespace {

TEST(MergeCookies, Cases) {
    struct Case {
        Text cookies;
        Text newCookies;
        Text merged;
        Text newCookiesAfter;
    };
    const Text fullWidthSpace = "\xA1\xA1";
    const std::vector<Case> cases = {
        {"a=1; b=2", "", "a=1;b=2", ""},
        {"", "a=1", "a=1;", "a=1"},
        {"a=1;b=2", "b=3;c=4", "a=1;b=3;c=4;", "b=3;c=4"},
        {"a=1;b=2", "a=deleted", "b=2;", "a=deleted"},
        {"a=1;b=2", "a=", "b=2;", "a="},
        {"a=1", "b=deleted", "a=1;", "b=deleted"},
        {"", "a=deleted", "", "a=deleted"},
        {"a=Deleted", "b=1", "a=Deleted;b=1;", "b=1"},
        {"SID=1", "sid=2", "SID=1;sid=2;", "sid=2"},
        {"a=1;a=2", "a=3", "a=3;a=2;", "a=3"},
        {"", "a=1;a=2", "a=2;", "a=1;a=2"},
        {"", "t=x==", "t=x==;", "t=x=="},
        {"flag;a=1", "b=2", "a=1;b=2;", "b=2"},
        {"", "n=a b", "n=ab;", "n=ab"},
        // The full-width space counts as a space, inside values too.
        {"a=1" + fullWidthSpace + ";" + fullWidthSpace + "b=2", "c=" + fullWidthSpace + "3",
         "a=1;b=2;c=3;", "c=3"},
        // Empty pieces between separators never reach the output.
        {";;a=1;", "=x;b=2", "a=1;b=2;", "=x;b=2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("cookies '" + c.cookies + "', new '" + c.newCookies + "'");
        Text cookies = c.cookies;
        Text newCookies = c.newCookies;
        const Text result = MergeCookies(cookies, newCookies);
        EXPECT_EQ(cookies, c.merged);
        EXPECT_EQ(result, c.merged);
        EXPECT_EQ(newCookies, c.newCookiesAfter);
    }
}

TEST(MergeCookies, NameAndValueOfAPiece) {
    struct Case {
        Text piece;
        Text name;
        Text value;
    };
    const std::vector<Case> cases = {
        {" a = 1 ", "a", " 1 "}, {"t=x==", "t", "x=="}, {" flag ", "flag", ""},
        {"=v", "", "v"},         {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.piece + "'");
        EXPECT_EQ(CookieName(c.piece), c.name);
        EXPECT_EQ(CookieValue(c.piece), c.value);
    }
}

}  // namespace
}  // namespace melvara::http
