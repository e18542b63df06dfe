#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace melvara::tools {

// How a page's bytes are encoded; the page declares the same charset in a meta tag.
enum class PageEncoding { Utf8, Gbk };

// What the MP3 address of a song answers.
enum class Mp3Behaviour {
    Normal,       // 200 with the whole body
    NotFound,     // 404
    DropMidBody,  // 200 announcing the whole length, then the connection closes early
};

// One song of the site, as the playlist page, its download page and its MP3 present it.
struct Song {
    std::string id;    // letters, digits, '-' and '_'; used in every address of the song
    std::string name;  // UTF-8; HTML-escaped where the pages show it

    PageEncoding pageEncoding = PageEncoding::Utf8;
    std::string charsetLabel;       // what the meta tag says; empty: "utf-8" or "gbk"
    bool downloadPageFound = true;  // false: /down/ID.htm answers 404
    int mp3Links = 1;               // 0, 1 or 2 MP3 anchors on the download page
    bool capitalLink = false;       // playlist anchor written as <A HREF=... CLASS="SONGNAME ">

    Mp3Behaviour mp3 = Mp3Behaviour::Normal;
    std::size_t mp3Size = 256 * 1024;
    // With DropMidBody: bytes sent before the connection closes (default: half the body).
    std::optional<std::size_t> dropAfterBytes;
    std::chrono::milliseconds firstByteDelay{0};  // before the MP3 response starts
    std::chrono::milliseconds chunkDelay{0};      // before each further 64 KiB of body
};

// About twenty well-known old songs with a mix of UTF-8 and GBK download pages, one page
// with two links and one without any; every MP3 is served normally.
std::vector<Song> DefaultCatalogue();

// count songs named "测试歌曲 0001"… with ids "t0001"…, pages alternating UTF-8/GBK, each
// MP3 mp3Size bytes: for benchmarks.
std::vector<Song> GeneratedCatalogue(std::size_t count, std::size_t mp3Size);

// Empty when the catalogue can be served, otherwise what is wrong with it (bad or
// duplicate id, a link count outside 0..2, a drop point beyond the body).
std::string CatalogueProblem(const std::vector<Song>& songs);

}  // namespace melvara::tools
