#include "demo_site/command_line.h"
#include "demo_site/gbk_encoder.h"

#include <gtest/gtest.h>

namespace melvara::tools {
namespace {

TEST(GbkEncoder, EncodesChineseAndReplacesWhatGbkLacks) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"茉莉花", "\xdc\xd4\xc0\xf2\xbb\xa8"},
        {"abc", "abc"},
        {"", ""},
        {"a\xf0\x9f\x98\x80"
         "b",
         "a?b"},  // emoji: no GBK form
        {"a\xff"
         "b",
         "a?b"},              // not UTF-8
        {"a\xe8\x8c", "a?"},  // cut-off sequence at the end
    };
    for (const auto& [utf8, gbk] : cases) {
        EXPECT_EQ(EncodeGbk(utf8), gbk) << utf8;
    }
}

TEST(DemoSiteCommandLine, SizesAndArguments) {
    const std::vector<std::pair<std::string, std::optional<std::size_t>>> sizes = {
        {"4096", 4096},
        {"64KiB", 64 * 1024},
        {"4MiB", 4 * 1024 * 1024},
        {"4m", 4 * 1024 * 1024},
        {"0", 0},
        {"", std::nullopt},
        {"MiB", std::nullopt},
        {"-1", std::nullopt},
        {"1.5M", std::nullopt},
        {"4TiB", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, size] : sizes) {
        EXPECT_EQ(ParseByteSize(text), size) << text;
    }

    const ParsedCommandLine good =
        ParseCommandLine({"--port", "8443", "--dir", "/tmp/x", "--songs", "500", "--size", "4MiB"});
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(good.commandLine.port, 8443);
    EXPECT_EQ(good.commandLine.dir, "/tmp/x");
    EXPECT_EQ(good.commandLine.songs, 500u);
    EXPECT_EQ(good.commandLine.size, 4u * 1024 * 1024);

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--port"},
                                               {"--port", "65536"},
                                               {"--port", "x"},
                                               {"--songs", "-3"},
                                               {"--bogus"},
                                               {"--size", "lots"},
                                               {"--dir", ""}}) {
        EXPECT_NE(ParseCommandLine(bad).error, "") << bad[0];
    }
}

}  // namespace
}  // namespace melvara::tools
