#include "demo_site/mp3_body.h"

#include "demo_site/catalogue.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace melvara::tools {
namespace {

std::uint64_t Fnv1a(const std::string& text, bool alternative) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return alternative ? ~hash : hash;
}

std::uint64_t SplitMix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// ID3v2.3 tag with one TIT2 frame, followed by an MPEG-1 layer III frame header.
std::string Header(const Song& song, bool alternative) {
    const std::string title = "song " + song.id + (alternative ? " (alt)" : "");
    std::string frame = "TIT2";
    const std::size_t frameSize = title.size() + 1;  // encoding byte + text
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(static_cast<char>((frameSize >> shift) & 0xFF));
    }
    frame += std::string(2, '\0');  // flags
    frame.push_back('\0');          // ISO-8859-1
    frame += title;

    std::string tag = "ID3";
    tag += std::string("\x03\x00\x00", 3);
    for (int shift = 21; shift >= 0; shift -= 7) {  // synchsafe size
        tag.push_back(static_cast<char>((frame.size() >> shift) & 0x7F));
    }
    tag += frame;
    tag += std::string("\xFF\xFB\x90\x64", 4);
    return tag;
}

}  // namespace

void FillMp3Bytes(const Song& song, bool alternative, std::size_t offset, char* out,
                  std::size_t length) {
    const std::string header = Header(song, alternative);
    const std::uint64_t seed = Fnv1a(song.id, alternative);
    std::size_t done = 0;
    if (offset < header.size()) {
        done = std::min(length, header.size() - offset);
        std::memcpy(out, header.data() + offset, done);
    }
    // Byte i of the rest is byte i % 8 (little-endian) of SplitMix64(seed ^ i / 8).
    while (done < length) {
        const std::size_t position = offset + done;
        const std::uint64_t block = SplitMix64(seed ^ (position / 8));
        std::array<unsigned char, 8> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<unsigned char>((block >> (8 * i)) & 0xFF);
        }
        const std::size_t skip = position % 8;
        const std::size_t count = std::min(bytes.size() - skip, length - done);
        std::memcpy(out + done, bytes.data() + skip, count);
        done += count;
    }
}

std::string Mp3Body(const Song& song, bool alternative) {
    std::string body(song.mp3Size, '\0');
    FillMp3Bytes(song, alternative, 0, body.data(), body.size());
    return body;
}

}  // namespace melvara::tools
