#include "demo_site/catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <set>

namespace melvara::tools {

std::vector<Song> DefaultCatalogue() {
    static constexpr std::array<const char*, 20> kNames = {
        "茉莉花",         "康定情歌", "在那遥远的地方", "草原之夜",       "南泥湾",
        "绣金匾",         "小河淌水", "敖包相会",       "浏阳河",         "洪湖水浪打浪",
        "让我们荡起双桨", "我的祖国", "红梅赞",         "映山红",         "北京的金山上",
        "送战友",         "乡恋",     "军港之夜",       "月亮代表我的心", "半个月亮爬上来",
    };
    std::vector<Song> songs;
    songs.reserve(kNames.size());
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        Song song;
        song.id = "lg" + std::to_string(20301 + i * 7);
        song.name = kNames[i];
        song.pageEncoding = i % 3 == 1 ? PageEncoding::Gbk : PageEncoding::Utf8;
        song.mp3Size = (96 + 37 * i % 160) * 1024;
        songs.push_back(std::move(song));
    }
    songs[6].mp3Links = 2;
    songs[12].mp3Links = 0;
    return songs;
}

std::vector<Song> GeneratedCatalogue(std::size_t count, std::size_t mp3Size) {
    std::vector<Song> songs;
    songs.reserve(count);
    for (std::size_t i = 1; i <= count; ++i) {
        std::array<char, 32> number{};
        std::snprintf(number.data(), number.size(), "%04zu", i);
        Song song;
        song.id = std::string("t") + number.data();
        song.name = std::string("测试歌曲 ") + number.data();
        song.pageEncoding = i % 2 == 0 ? PageEncoding::Gbk : PageEncoding::Utf8;
        song.mp3Size = mp3Size;
        songs.push_back(std::move(song));
    }
    return songs;
}

std::string CatalogueProblem(const std::vector<Song>& songs) {
    std::set<std::string> ids;
    for (const Song& song : songs) {
        const bool idOk =
            !song.id.empty() && song.id.size() <= 64 &&
            std::all_of(song.id.begin(), song.id.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
            });
        if (!idOk) {
            return "bad song id \"" + song.id + "\"";
        }
        if (!ids.insert(song.id).second) {
            return "duplicate song id \"" + song.id + "\"";
        }
        if (song.mp3Links < 0 || song.mp3Links > 2) {
            return "song " + song.id + ": mp3Links must be 0, 1 or 2";
        }
        if (song.dropAfterBytes && *song.dropAfterBytes > song.mp3Size) {
            return "song " + song.id + ": drop point beyond the end of the body";
        }
        const bool labelOk =
            std::all_of(song.charsetLabel.begin(), song.charsetLabel.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
            });
        if (!labelOk) {
            return "song " + song.id + ": bad charset label";
        }
    }
    return {};
}

}  // namespace melvara::tools
