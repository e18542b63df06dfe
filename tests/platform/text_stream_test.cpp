#include "platform/text_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace melvara::platform {
namespace {

std::vector<std::uint8_t> BytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// The sequence a page decoder runs: bytes in, rewind, text out in charset.
std::optional<std::string> Decode(std::string_view bytes, std::string_view charset) {
    TextStream stream;
    EXPECT_TRUE(stream.SetType(TextStream::kTypeBinary));
    EXPECT_TRUE(stream.SetMode(TextStream::kModeReadWrite));
    EXPECT_TRUE(stream.Open());
    EXPECT_TRUE(stream.Write(BytesOf(bytes)));
    EXPECT_TRUE(stream.SetPosition(0));
    EXPECT_TRUE(stream.SetType(TextStream::kTypeText));
    EXPECT_TRUE(stream.SetCharset(charset));
    auto text = stream.ReadText();
    EXPECT_TRUE(stream.Close());
    return text;
}

TEST(TextStream, DecodesNamedCharsetsIntoGbk) {
    struct Case {
        std::string_view charset;
        std::string_view bytes;
        std::string_view expectedGbk;
    };
    const std::string_view zhongWenGbk = "\xD6\xD0\xCE\xC4";  // 中文
    const std::vector<Case> cases = {
        {"utf-8",
         "\xE4\xB8\xAD\xE6\x96\x87"
         "abc",
         "\xD6\xD0\xCE\xC4"
         "abc"},
        {"UTF-8", "\xE4\xB8\xAD\xE6\x96\x87", zhongWenGbk},
        {"utf8", "\xE4\xB8\xAD\xE6\x96\x87", zhongWenGbk},
        {"gbk", zhongWenGbk, zhongWenGbk},
        // Pages labelled GB2312 carry GBK bytes: 镕 (E9 46) is outside GB2312.
        {"gb2312", "\xE9\x46", "\xE9\x46"},
        {"GB2312",
         "\xE9\x46"
         "\xD6\xD0",
         "\xE9\x46"
         "\xD6\xD0"},
        {"big5", "\xA4\xA4\xA4\xE5", zhongWenGbk},
        {"iso-8859-1", "\xE9", "\xA8\xA6"},     // é
        {"windows-1252", "\x93", "\xA1\xB0"},   // left double quote
        {"shift_jis", "\x82\xA0", "\xA4\xA2"},  // あ
        {"unicode", std::string_view("a\0\x2D\x4E", 4), "a\xD6\xD0"},
        {"no-such-charset", zhongWenGbk, zhongWenGbk},
        {"", zhongWenGbk, zhongWenGbk},
        // iconv option suffixes are not accepted from a page: decoded as GBK.
        {"utf-8//IGNORE", zhongWenGbk, zhongWenGbk},
        {"utf-8",
         "a\xFF"
         "b",
         "a?b"},                         // malformed byte
        {"utf-8", "a\xE4\xB8", "a?"},    // cut-off sequence at the end
        {"utf-8", "\xE0\xB8\x81", "?"},  // Thai: not in GBK
        {"utf-8",
         "\xEF\xBB\xBF"
         "a",
         "a"},                                              // byte-order mark dropped
        {"utf-8", std::string_view("ab\0cd", 5), "ab"},     // a Text ends before NUL
        {"utf-16le", std::string_view("a\0b\0", 4), "ab"},  // zero bytes inside characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.charset) + " / " + std::string(c.bytes));
        EXPECT_EQ(Decode(c.bytes, c.charset), std::string(c.expectedGbk));
    }
}

TEST(TextStream, CallsTheStateDoesNotAllowFail) {
    TextStream stream;
    EXPECT_EQ(stream.ReadText(), std::nullopt);  // closed
    EXPECT_FALSE(stream.Close());
    EXPECT_FALSE(stream.SetPosition(0));
    EXPECT_FALSE(stream.SetType(7));

    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(stream.Open());
    EXPECT_FALSE(stream.SetMode(TextStream::kModeReadWrite));  // only while closed
    EXPECT_FALSE(stream.Write(BytesOf("ab")));                 // a text stream
    ASSERT_TRUE(stream.SetType(TextStream::kTypeBinary));
    ASSERT_TRUE(stream.Write(BytesOf("ab")));
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_EQ(stream.ReadText(), std::nullopt);  // a binary stream
    EXPECT_FALSE(stream.SetType(TextStream::kTypeText));
    EXPECT_FALSE(stream.SetCharset("utf-8"));
    EXPECT_FALSE(stream.SetPosition(3));

    // From position 0 the type may change; reading starts at the position.
    ASSERT_TRUE(stream.SetPosition(0));
    ASSERT_TRUE(stream.SetType(TextStream::kTypeText));
    ASSERT_TRUE(stream.SetCharset("utf-8"));
    ASSERT_TRUE(stream.SetPosition(1));
    EXPECT_EQ(stream.ReadText(), "b");
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_TRUE(stream.Close());
    EXPECT_FALSE(stream.IsOpen());
}

TEST(TextStream, WritesOverwriteAtThePosition) {
    TextStream stream;
    ASSERT_TRUE(stream.SetType(TextStream::kTypeBinary));
    ASSERT_TRUE(stream.Open());
    ASSERT_TRUE(stream.Write(BytesOf("abcd")));
    ASSERT_TRUE(stream.SetPosition(1));
    ASSERT_TRUE(stream.Write(BytesOf("XYZW")));
    ASSERT_TRUE(stream.SetPosition(0));
    ASSERT_TRUE(stream.SetType(TextStream::kTypeText));
    ASSERT_TRUE(stream.SetCharset("utf-8"));
    EXPECT_EQ(stream.ReadText(), "aXYZW");
}

TEST(TextStream, FactoryCanBeMadeToFail) {
    const TextStreamFactory previous =
        SetTextStreamFactory([] { return std::unique_ptr<TextStream>(); });
    EXPECT_EQ(CreateTextStream(), nullptr);
    SetTextStreamFactory(previous);
    EXPECT_NE(CreateTextStream(), nullptr);
}

}  // namespace
}  // namespace melvara::platform
