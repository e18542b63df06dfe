#include "http/wide_text.h"

#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace melvara::http {

namespace {
constexpr std::uint32_t kCompositeCheck = 0x200;
}

WideText AnsiToUtf16(const Text& text) {
    if (text.empty()) {
        return {};
    }
    const int units =
        platform::MultiByteToWideChar(platform::kCodePageGbk, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) {
        return {};
    }
    std::u16string buffer(static_cast<std::size_t>(units), u'\0');
    platform::MultiByteToWideChar(platform::kCodePageGbk, 0, text.c_str(), -1, buffer.data(),
                                  units);
    WideText wide(buffer.size() * 2);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        wide[2 * i] = static_cast<std::uint8_t>(buffer[i] & 0xFF);
        wide[2 * i + 1] = static_cast<std::uint8_t>(buffer[i] >> 8);
    }
    return wide;
}

Text Utf16ToAnsi(const WideText& wide) {
    const std::size_t units = wide.size() / 2;
    if (units == 0) {
        return {};
    }
    std::u16string buffer(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        buffer[i] = static_cast<char16_t>(wide[2 * i] | (wide[2 * i + 1] << 8));
    }
    const int size =
        platform::WideCharToMultiByte(platform::kCodePageGbk, kCompositeCheck, buffer.data(),
                                      static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    Text text(static_cast<std::size_t>(size), '\0');
    platform::WideCharToMultiByte(platform::kCodePageGbk, kCompositeCheck, buffer.data(),
                                  static_cast<int>(units), text.data(), size, nullptr, nullptr);
    const auto zero = text.find('\0');
    if (zero != Text::npos) {
        text.resize(zero);
    }
    return text;
}

}  // namespace melvara::http
