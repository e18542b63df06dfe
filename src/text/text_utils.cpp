#include "text/text_utils.h"

#include <algorithm>
#include <string>

#include "platform/codepage.h"
#include "text/text_ops.h"

namespace melvara::text {

namespace {

// The units of a wide text up to and including its first zero unit; a zero unit
// is added when the buffer has none, so the conversions never read past it.
std::u16string TerminatedUnits(const WideText& wide) {
    std::u16string units;
    units.reserve(wide.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
        const auto unit = static_cast<char16_t>(wide[i] | (wide[i + 1] << 8));
        units.push_back(unit);
        if (unit == 0)
            return units;
    }
    units.push_back(0);
    return units;
}

}  // namespace

Text TextBetween(std::string_view text, std::string_view front, std::string_view back, int start,
                 bool caseInsensitive) {
    const Text frontMarker = Replace(front, kQuoteMarker, "\"");
    const Text backMarker = Replace(back, kQuoteMarker, "\"");
    int p = Find(text, frontMarker, start < 1 ? 1 : start, caseInsensitive);
    if (p != -1)
        p += static_cast<int>(frontMarker.size());
    const int q = Find(text, backMarker, p == -1 ? 1 : p, caseInsensitive);
    if (p == -1 || q == -1)
        return Text();
    return Middle(text, p, q - p);
}

WideText TextToWide(std::string_view text, unsigned codePage) {
    // Like the system call with length -1, the text ends at its first zero byte.
    const std::string terminated(text);
    const int units =
        platform::MultiByteToWideChar(codePage, 0, terminated.c_str(), -1, nullptr, 0);
    if (units <= 0)
        return WideText();
    std::u16string buffer(static_cast<std::size_t>(units), u'\0');
    platform::MultiByteToWideChar(codePage, 0, terminated.c_str(), -1, buffer.data(), units);
    WideText wide(buffer.size() * 2);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        wide[2 * i] = static_cast<std::uint8_t>(buffer[i] & 0xFF);
        wide[2 * i + 1] = static_cast<std::uint8_t>(buffer[i] >> 8);
    }
    return wide;
}

Text WideToText(const WideText& wide, unsigned codePage) {
    const std::u16string units = TerminatedUnits(wide);
    const int ansiBytes = platform::WideCharToMultiByte(platform::kCodePageAnsi, 0, units.c_str(),
                                                        -1, nullptr, 0, nullptr, nullptr);
    // Twice the ANSI size covers every text in code page 936; a UTF-8 target
    // can need more (a character 936 lacks is one '?' there but up to four bytes
    // in UTF-8), so for another code page its own size is the floor.
    int size = 2 * ansiBytes;
    if (codePage != platform::kCodePageAnsi && codePage != platform::kCodePageGbk) {
        size = std::max(size, platform::WideCharToMultiByte(codePage, 0, units.c_str(), -1, nullptr,
                                                            0, nullptr, nullptr));
    }
    if (size <= 0)
        return Text();
    std::string buffer(static_cast<std::size_t>(size), '\0');
    platform::WideCharToMultiByte(codePage, 0, units.c_str(), -1, buffer.data(), size, nullptr,
                                  nullptr);
    return Text(buffer.c_str());
}

Text Utf8ToAnsi(std::string_view text) {
    return WideToText(TextToWide(text), platform::kCodePageGbk);
}

}  // namespace melvara::text
