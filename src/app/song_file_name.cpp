#include "app/song_file_name.h"

#include <string>

#include "platform/codepage.h"

namespace melvara::app {
namespace {

constexpr std::string_view kExtension = ".mp3";
// The longest file name most Linux file systems accept, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;
constexpr std::size_t kMaxStemBytes = kMaxFileNameBytes - kExtension.size();

bool IsGbkLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

bool IsGbkTrail(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

}  // namespace

Text SongFileName(std::string_view name) {
    Text result;
    std::size_t utf8Bytes = 0;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const auto lead = static_cast<unsigned char>(name[pos]);
        std::string_view unit = name.substr(pos, 1);
        std::size_t unitUtf8 = 1;
        bool replace = false;
        if (lead < 0x80) {
            replace = lead == '/' || lead < 0x20 || lead == 0x7F;
        } else if (IsGbkLead(lead) && pos + 1 < name.size() &&
                   IsGbkTrail(static_cast<unsigned char>(name[pos + 1]))) {
            unit = name.substr(pos, 2);
            unitUtf8 = platform::GbkToUtf8(unit).size();
            // A character without a Unicode form cannot be named reliably.
            replace = unitUtf8 == 0;
        } else {
            replace = true;
        }
        if (replace) {
            unitUtf8 = 1;
        }
        if (utf8Bytes + unitUtf8 > kMaxStemBytes) {
            break;
        }
        if (replace) {
            result += '_';
        } else {
            result.append(unit);
        }
        utf8Bytes += unitUtf8;
        pos += unit.size();
    }
    if (result.empty() || result == "." || result == "..") {
        return "_";
    }
    return result;
}

Text SongFilePath(std::string_view folder, std::string_view name) {
    Text path(folder);
    path += '/';
    path += SongFileName(name);
    path += kExtension;
    return path;
}

}  // namespace melvara::app
