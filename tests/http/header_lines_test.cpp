#include "http/header_lines.h"

#include <gtest/gtest.h>

namespace melvara::http {
namespace {

TEST(HeaderLinesTest, NameAndValueSplitAtTheFirstColonAndAreTrimmed) {
    struct Case {
        const char* line;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"Accept: */*", "Accept", "*/*"},
        {"  X-Note :  Referer: none  ", "X-Note", "Referer: none"},
        {"Referer: http://a.localhost:8080/p", "Referer", "http://a.localhost:8080/p"},
        {"\xA1\xA1Name\xA1\xA1:\xA1\xA1v\xA1\xA1", "Name", "v"},  // full-width spaces
        {"Tab:\tv\t", "Tab", "\tv\t"},                            // tabs stay
        {"no colon", "", ""},
        {"", "", ""},
        {":", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(HeaderName(c.line), c.name);
        EXPECT_EQ(HeaderValue(c.line), c.value);
    }
}

}  // namespace
}  // namespace melvara::http
