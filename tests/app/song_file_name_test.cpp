#include "app/song_file_name.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace melvara::app {
namespace {

using namespace std::string_literals;

constexpr std::string_view kZhong = "\xD6\xD0";  // a CJK character: 2 bytes in GBK, 3 in UTF-8

std::string Repeat(std::string_view unit, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += unit;
    }
    return out;
}

TEST(SongFileNameTest, KeepsNamesInsideTheFolder) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"Song", "Song"},
        {"\xB8\xE8 \xC7\xFA", "\xB8\xE8 \xC7\xFA"},  // Chinese and a blank stay
        {"AC/DC", "AC_DC"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"/", "_"},
        {"", "_"},
        {".", "_"},
        {"..", "_"},
        {"...", "..."},
        {"a\x01"
         "b\x1F"
         "c\x7F",
         "a_b_c_"},
        {"a\0b"s, "a_b"},
        {"tab\there\r\n", "tab_here__"},
        {"\xD6", "_"},    // lead byte without its trail
        {"\xD6/", "__"},  // '/' is no trail byte: both become '_'
        {"x\x80y\xFFz", "x_y_z"},
        {"\\:*?\"<>|", "\\:*?\"<>|"},  // only '/' and NUL matter on this file system
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SongFileName(c.name), c.expected) << "name: " << c.name;
    }
}

TEST(SongFileNameTest, CutsLongNamesAtCharacterBoundary) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {Repeat("a", 251), Repeat("a", 251)},
        {Repeat("a", 300), Repeat("a", 251)},
        {Repeat(kZhong, 100), Repeat(kZhong, 83)},                // 83 * 3 = 249; one more is 252
        {"ab" + Repeat(kZhong, 100), "ab" + Repeat(kZhong, 83)},  // 2 + 249 = 251
        {"abc" + Repeat(kZhong, 100), "abc" + Repeat(kZhong, 82)},
        {Repeat("/", 300), Repeat("_", 251)},
    };
    for (const auto& c : cases) {
        const Text name = SongFileName(c.name);
        EXPECT_EQ(name, c.expected);
        EXPECT_LE(platform::GbkToUtf8(name).size() + 4, 255u);
    }
}

TEST(SongFileNameTest, PathJoinsFolderNameAndExtension) {
    EXPECT_EQ(SongFilePath("/music/mp3", "a/b"), "/music/mp3/a_b.mp3");
    EXPECT_EQ(SongFilePath("/music/mp3/", ".."), "/music/mp3//_.mp3");
    EXPECT_EQ(SongFilePath("", "x"), "/x.mp3");
}

}  // namespace
}  // namespace melvara::app
