#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace melvara::platform {
namespace {

const std::string kTitleUtf8 = "\xE6\x99\xB4\xE5\xA4\xA9";  // 晴天
const std::string kTitleGbk = "\xC7\xE7\xCC\xEC";
const std::u16string kTitleUtf16 = u"\u6674\u5929";

std::u16string Decode(unsigned codePage, const std::string& input) {
    const int units =
        MultiByteToWideChar(codePage, 0, input.data(), static_cast<int>(input.size()), nullptr, 0);
    std::u16string output(static_cast<std::size_t>(units), u'\0');
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, input.data(), static_cast<int>(input.size()),
                                  output.data(), units),
              units);
    return output;
}

std::string Encode(unsigned codePage, const std::u16string& input,
                   const char* defaultChar = nullptr, bool* usedDefault = nullptr) {
    const int bytes = WideCharToMultiByte(codePage, 0, input.data(), static_cast<int>(input.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string output(static_cast<std::size_t>(bytes), '\0');
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, input.data(), static_cast<int>(input.size()),
                                  output.data(), bytes, defaultChar, usedDefault),
              bytes);
    return output;
}

TEST(CodePageTest, Utf8DecodingReplacesEachIllFormedPart) {
    const std::vector<std::pair<std::string, std::u16string>> cases = {
        {kTitleUtf8, kTitleUtf16},
        {"abc", u"abc"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\x80", u"\uFFFD"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong '/'
        {"\xE6\x99", u"\uFFFD"},        // cut off at the end
        {"\xE6\x99"
         "A",
         u"\uFFFDA"},                                       // cut off before ASCII
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\xFE\xFF", u"\uFFFD\uFFFD"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(Decode(kCodePageUtf8, input), expected);
}

TEST(CodePageTest, GbkDecoding) {
    const std::vector<std::pair<std::string, std::u16string>> cases = {
        {kTitleGbk, kTitleUtf16},
        {"a\xA1\xA1z", u"a\u3000z"},
        {"\x80", u"\u20AC"},      // euro sign, as code page 936 has it
        {"\x95\x5C", u"\u661E"},  // trail byte 0x5C
        {"\xB0\x41", u"\u7646"},  // trail byte 'A'
        {"\xFF", u"\uFFFD"},
        {"\x81\x30",
         u"\uFFFD"
         u"0"},                   // lead byte with a bad trail: the trail stays
        {"\xA1\x40", u"\uFFFD"},  // well-formed pair the table lacks
        {"a\xB0", u"a\uFFFD"},    // lead byte at the end
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(Decode(kCodePageGbk, input), expected);
        EXPECT_EQ(Decode(kCodePageAnsi, input), expected);
    }
}

TEST(CodePageTest, GbkEncodingUsesDefaultCharacter) {
    EXPECT_EQ(Encode(kCodePageGbk, kTitleUtf16), kTitleGbk);
    EXPECT_EQ(Encode(kCodePageGbk, u"\u20AC"), "\x80");

    const std::vector<std::pair<std::u16string, std::string>> unmappable = {
        {u"a\U0001F600b", "a?b"},  // surrogate pair: one character
        {u"a\xD800"
         u"b",
         "a?b"},             // lone high surrogate
        {u"a\xDC00", "a?"},  // lone low surrogate
        {u"\xD800", "?"},    // high surrogate at the very end
        {u"\u0E01", "?"},
    };
    for (const auto& [input, expected] : unmappable) {
        bool used = false;
        EXPECT_EQ(Encode(kCodePageGbk, input, nullptr, &used), expected);
        EXPECT_TRUE(used);
    }
    bool used = true;
    EXPECT_EQ(Encode(kCodePageGbk, u"ab", nullptr, &used), "ab");
    EXPECT_FALSE(used);
    EXPECT_EQ(Encode(kCodePageGbk, u"a\u0E01", "*"), "a*");
}

TEST(CodePageTest, Utf8EncodingReplacesLoneSurrogates) {
    EXPECT_EQ(Encode(kCodePageUtf8, kTitleUtf16), kTitleUtf8);
    EXPECT_EQ(Encode(kCodePageUtf8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Encode(kCodePageUtf8, u"\u00E9\u07FF\u0800"), "\xC3\xA9\xDF\xBF\xE0\xA0\x80");
    EXPECT_EQ(Encode(kCodePageUtf8,
                     u"a\xDC00"
                     u"b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(CodePageTest, LengthMinusOneCountsTheTerminatingZero) {
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, kTitleUtf8.c_str(), -1, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, "", -1, nullptr, 0), 1);
    EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, kTitleGbk.c_str(), -1, nullptr, 0), 3);
    char16_t wide[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, kTitleUtf8.c_str(), -1, wide, 3), 3);
    EXPECT_EQ(std::u16string(wide, 3), kTitleUtf16 + u'\0');

    EXPECT_EQ(
        WideCharToMultiByte(kCodePageGbk, 0, kTitleUtf16.c_str(), -1, nullptr, 0, nullptr, nullptr),
        5);
    EXPECT_EQ(WideCharToMultiByte(kCodePageUtf8, 0, kTitleUtf16.c_str(), -1, nullptr, 0, nullptr,
                                  nullptr),
              7);
    char bytes[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(
        WideCharToMultiByte(kCodePageGbk, 0, kTitleUtf16.c_str(), -1, bytes, 5, nullptr, nullptr),
        5);
    EXPECT_EQ(std::string(bytes, 5), kTitleGbk + '\0');
}

TEST(CodePageTest, FailuresReturnZeroAndWriteNothing) {
    char16_t wide[2] = {u'x', u'x'};
    char bytes[2] = {'x', 'x'};
    EXPECT_EQ(MultiByteToWideChar(1234, 0, "a", -1, nullptr, 0), 0);          // unknown code page
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, "a", 0, nullptr, 0), 0);  // zero length
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, "a", -2, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, nullptr, -1, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, "abc", -1, wide, 2), 0);  // too small
    EXPECT_EQ(MultiByteToWideChar(kCodePageUtf8, 0, "a", -1, nullptr, 5), 0);
    EXPECT_EQ(wide[0], u'x');
    EXPECT_EQ(WideCharToMultiByte(1234, 0, u"a", -1, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, u"a", 0, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, u"abc", -1, bytes, 2, nullptr, nullptr), 0);
    EXPECT_EQ(bytes[0], 'x');
}

TEST(CodePageTest, WholeStringHelpersKeepEveryByte) {
    EXPECT_EQ(GbkToUtf8(kTitleGbk), kTitleUtf8);
    EXPECT_EQ(Utf8ToGbk(kTitleUtf8), kTitleGbk);
    EXPECT_EQ(GbkToUtf16(kTitleGbk), kTitleUtf16);
    EXPECT_EQ(Utf16ToGbk(kTitleUtf16), kTitleGbk);
    EXPECT_EQ(Utf8ToGbk(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(GbkToUtf8(""), "");
    EXPECT_EQ(Utf8ToGbk("\xF0\x9F\x98\x80!"), "?!");
    // Large enough to cross the internal chunk boundaries more than once.
    std::string longGbk;
    std::string longUtf8;
    for (int i = 0; i < 10000; ++i) {
        longGbk += kTitleGbk + "x";
        longUtf8 += kTitleUtf8 + "x";
    }
    EXPECT_EQ(GbkToUtf8(longGbk), longUtf8);
    EXPECT_EQ(Utf8ToGbk(longUtf8), longGbk);
}

TEST(CodePageTest, ThreadsConvertAtTheSameTime) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 2000; ++i) {
                if (Utf8ToGbk(kTitleUtf8 + "\xFF") != kTitleGbk + "?")
                    ++failures[t];
                if (GbkToUtf8(kTitleGbk + "\xFF") != kTitleUtf8 + "\xEF\xBF\xBD")
                    ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace melvara::platform
