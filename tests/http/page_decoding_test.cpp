#include "http/page_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/message_pump.h"
#include "platform/text_stream.h"

namespace melvara::http {
namespace {

Bytes BytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

Text Gbk(std::string_view utf8) {
    return platform::Utf8ToGbk(utf8);
}

std::string Page(std::string_view head, std::string_view body) {
    return "<html><head>" + std::string(head) + "</head><body>" + std::string(body) +
           "</body></html>";
}

int pumpCalls = 0;
void CountingPump() {
    ++pumpCalls;
}

TEST(DecodePageText, DecidesByTheDeclaredCharset) {
    const std::string utf8Song = "中文歌名";  // this source file is UTF-8
    const std::string contentGb2312 =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />";
    // 0xFF is no GBK byte: it survives only when the body is taken unchanged.
    const std::string rawGbk = Gbk(utf8Song) + "\xFF";
    const std::string padding(1100, ' ');

    struct Case {
        const char* name;
        std::string body;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"utf-8 in the content attribute",
         Page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">", utf8Song),
         Page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
              "\xD6\xD0\xCE\xC4\xB8\xE8\xC3\xFB")},
        {"UTF-8 in capitals, HTML5 form", Page("<META CHARSET=\"UTF-8\">", utf8Song),
         Page("<META CHARSET=\"UTF-8\">", Gbk(utf8Song))},
        {"gb2312 is taken unchanged", Page(contentGb2312, rawGbk), Page(contentGb2312, rawGbk)},
        {"gbk is taken unchanged", Page("<meta charset=gbk>", rawGbk),
         Page("<meta charset=gbk>", rawGbk)},
        {"GB2312 in capitals is converted, to the same bytes",
         Page("<meta charset='GB2312'>", Gbk(utf8Song)),
         Page("<meta charset='GB2312'>", Gbk(utf8Song))},
        {"GBK in capitals is converted", Page("<meta charset=GBK>", rawGbk),
         Page("<meta charset=GBK>", Gbk(utf8Song) + "?")},
        {"charset declared after 1024 bytes", padding + Page("<meta charset=utf-8>", utf8Song),
         padding + Page("<meta charset=utf-8>", utf8Song)},
        {"meta and charset on different lines", Page("<meta\ncharset=utf-8>", utf8Song),
         Page("<meta\ncharset=utf-8>", utf8Song)},
        {"no meta tag", Page("<title>x</title>", rawGbk), Page("<title>x</title>", rawGbk)},
        {"empty body", "", ""},
        {"unchanged text ends at a zero byte", std::string("<p>ab\0cd", 8), "<p>ab"},
        {"converted text ends at a zero byte", std::string("<meta charset=utf-8>ab\0cd", 25),
         "<meta charset=utf-8>ab"},
        {"unknown charset decodes as GBK", Page("<meta charset=x-nothing>", rawGbk),
         Page("<meta charset=x-nothing>", Gbk(utf8Song) + "?")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        regex::RegexObject regex;
        const int comBefore = platform::ComInitCount();
        EXPECT_EQ(DecodePageText(BytesOf(c.body), regex), c.expected);
        EXPECT_EQ(platform::ComInitCount(), comBefore);
    }
}

TEST(DecodePageText, KeepsTheBodyWhenNoStreamCanBeCreated) {
    const std::string body = Page("<meta charset=utf-8>", "中文");
    const platform::TextStreamFactory previous =
        platform::SetTextStreamFactory([] { return std::unique_ptr<platform::TextStream>(); });
    regex::RegexObject regex;
    const int comBefore = platform::ComInitCount();
    const Text text = DecodePageText(BytesOf(body), regex);
    const int comAfter = platform::ComInitCount();
    platform::SetTextStreamFactory(previous);
    EXPECT_EQ(text, body);
    EXPECT_EQ(comAfter, comBefore);
}

TEST(DecodePageText, ProcessesPendingMessagesAfterASearch) {
    pumpCalls = 0;
    platform::InstallMessagePump(&CountingPump);
    regex::RegexObject regex;
    DecodePageText(BytesOf(Page("<meta charset=utf-8>", "x")), regex);
    const int afterConversion = pumpCalls;
    DecodePageText(BytesOf(Page("", "x")), regex);
    const int afterPlainPage = pumpCalls;
    platform::InstallMessagePump(nullptr);
    EXPECT_EQ(afterConversion, 1);
    // The search ran and came back empty: messages are still processed.
    EXPECT_EQ(afterPlainPage, 2);
    // The caller's object holds the charset search.
    EXPECT_EQ(regex.GetPattern(), "<meta.+?charset=[^\\w]?([-\\w]+)");
}

TEST(DecodePageText, ThreadsDecodeIndependently) {
    // Each thread has its own regex object and COM count, as each fetch does.
    const std::string body = Page("<meta charset=utf-8>", "中文歌名");
    const Text expected = Page("<meta charset=utf-8>", Gbk("中文歌名"));
    constexpr int kThreads = 4;
    std::vector<int> correct(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            regex::RegexObject regex;
            for (int i = 0; i < 50; ++i) {
                correct[t] += DecodePageText(BytesOf(body), regex) == expected ? 1 : 0;
            }
            correct[t] += platform::ComInitCount() == 1 ? 1 : 0;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(correct, std::vector<int>(kThreads, 51));
}

}  // namespace
}  // namespace melvara::http
