#include "text/text_ops.h"

#include <algorithm>
#include <cstring>

namespace melvara::text {

namespace {

bool IsLeadByte(unsigned char byte) {
    return byte >= 0x80;
}

unsigned char FoldAscii(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

unsigned char At(std::string_view text, std::size_t index) {
    return static_cast<unsigned char>(text[index]);
}

// Compares needle with the text at pos, one character at a time: an ASCII byte
// folds when asked, a two-byte character must match exactly (its trail byte may
// look like a letter but is not one).
bool MatchesAt(std::string_view text, std::size_t pos, std::string_view needle,
               bool caseInsensitive) {
    if (text.size() - pos < needle.size())
        return false;
    if (!caseInsensitive)
        return std::memcmp(text.data() + pos, needle.data(), needle.size()) == 0;
    std::size_t i = 0;
    while (i < needle.size()) {
        const unsigned char n = At(needle, i);
        const unsigned char h = At(text, pos + i);
        if (IsLeadByte(n)) {
            if (h != n)
                return false;
            if (i + 1 < needle.size() && At(text, pos + i + 1) != At(needle, i + 1))
                return false;
            i += 2;
        } else {
            if (FoldAscii(h) != FoldAscii(n))
                return false;
            ++i;
        }
    }
    return true;
}

// A position known to start a character, at or before pos and not before
// floor: two bytes below 0x80 in a row end a character whatever came before
// them (the first is a character or a trail byte, the second then stands
// alone). Scanning back for such a pair is short in real pages, where the
// forward walk from floor could cover megabytes.
std::size_t BoundaryNear(std::string_view text, std::size_t pos, std::size_t floor) {
    for (std::size_t i = pos; i >= floor + 2; --i) {
        if (At(text, i - 1) < 0x80 && At(text, i - 2) < 0x80)
            return i;
    }
    return floor;
}

// Exact search: memmem finds candidates quickly, and a candidate counts only
// when walking the characters from a known boundary lands on it.
std::size_t FindExact(std::string_view text, std::string_view needle, std::size_t from) {
    std::size_t boundary = from;
    std::size_t searchFrom = from;
    while (searchFrom + needle.size() <= text.size()) {
        const void* hit = memmem(text.data() + searchFrom, text.size() - searchFrom, needle.data(),
                                 needle.size());
        if (hit == nullptr)
            return std::string_view::npos;
        const std::size_t candidate =
            static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        boundary = BoundaryNear(text, candidate, boundary);
        while (boundary < candidate)
            boundary += IsLeadByte(At(text, boundary)) ? 2 : 1;
        if (boundary == candidate)
            return candidate;
        searchFrom = boundary;  // the candidate began on a trail byte
    }
    return std::string_view::npos;
}

std::size_t FindFolded(std::string_view text, std::string_view needle, std::size_t from) {
    const unsigned char first = FoldAscii(At(needle, 0));
    for (std::size_t pos = from; pos + needle.size() <= text.size();
         pos += IsLeadByte(At(text, pos)) ? 2 : 1) {
        if (FoldAscii(At(text, pos)) == first && MatchesAt(text, pos, needle, true))
            return pos;
    }
    return std::string_view::npos;
}

// 0-based search from a 0-based start that is taken as a character boundary.
std::size_t FindFrom(std::string_view text, std::string_view needle, std::size_t from,
                     bool caseInsensitive) {
    if (from > text.size())
        return std::string_view::npos;
    if (needle.empty())
        return from < text.size() ? from : std::string_view::npos;
    return caseInsensitive ? FindFolded(text, needle, from) : FindExact(text, needle, from);
}

// Length of the space character at pos (ASCII space or A1 A1), or 0.
std::size_t SpaceAt(std::string_view text, std::size_t pos) {
    if (At(text, pos) == ' ')
        return 1;
    if (At(text, pos) == 0xA1 && pos + 1 < text.size() && At(text, pos + 1) == 0xA1)
        return 2;
    return 0;
}

std::size_t CharLength(std::string_view text, std::size_t pos) {
    return IsLeadByte(At(text, pos)) && pos + 1 < text.size() ? 2 : 1;
}

}  // namespace

int Find(std::string_view haystack, std::string_view needle, int start, bool caseInsensitive) {
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
    const std::size_t found = FindFrom(haystack, needle, from, caseInsensitive);
    return found == std::string_view::npos ? -1 : static_cast<int>(found) + 1;
}

bool Contains(std::string_view haystack, std::string_view needle, bool caseInsensitive) {
    return FindFrom(haystack, needle, 0, caseInsensitive) != std::string_view::npos;
}

Text Trim(std::string_view text) {
    // Walks forward so that a trailing A1 A1 is recognised only when it really
    // is one character and not the trail byte of one plus a lone lead byte.
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t space = SpaceAt(text, pos);
        if (space == 0)
            break;
        pos += space;
    }
    const std::size_t begin = pos;
    std::size_t end = begin;
    while (pos < text.size()) {
        const std::size_t space = SpaceAt(text, pos);
        if (space != 0) {
            pos += space;
        } else {
            pos += CharLength(text, pos);
            end = pos;
        }
    }
    return Text(text.substr(begin, end - begin));
}

Text RemoveSpaces(std::string_view text) {
    Text result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t space = SpaceAt(text, pos);
        if (space != 0) {
            pos += space;
            continue;
        }
        const std::size_t length = CharLength(text, pos);
        result.append(text.substr(pos, length));
        pos += length;
    }
    return result;
}

std::vector<Text> Split(std::string_view text, std::string_view separator) {
    std::vector<Text> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t found = FindFrom(text, separator, pos, false);
        if (found == std::string_view::npos)
            break;
        pieces.emplace_back(text.substr(pos, found - pos));
        pos = found + separator.size();
    }
    if (pos < text.size())
        pieces.emplace_back(text.substr(pos));
    return pieces;
}

Text Replace(std::string_view text, std::string_view from, std::string_view to,
             bool caseInsensitive) {
    if (from.empty())
        return Text(text);
    Text result;
    result.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t found = FindFrom(text, from, pos, caseInsensitive);
        if (found == std::string_view::npos)
            break;
        result.append(text.substr(pos, found - pos));
        result.append(to);
        pos = found + from.size();
    }
    result.append(text.substr(pos));
    return result;
}

Text Left(std::string_view text, int count) {
    if (count <= 0)
        return Text();
    return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text Right(std::string_view text, int count) {
    if (count <= 0)
        return Text();
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(count));
    return Text(text.substr(text.size() - n));
}

Text Middle(std::string_view text, int start, int count) {
    if (count <= 0)
        return Text();
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (from >= text.size())
        return Text();
    return Text(text.substr(from, static_cast<std::size_t>(count)));
}

}  // namespace melvara::text
