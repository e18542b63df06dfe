#include "http/cookies.h"

#include <utility>
#include <vector>

#include "text/text_ops.h"

namespace melvara::http {
namespace {

using CookieJar = std::vector<std::pair<Text, Text>>;

CookieJar ParseCookies(std::string_view cookieText) {
    CookieJar jar;
    for (const Text& piece : text::Split(cookieText, ";")) {
        jar.emplace_back(CookieName(piece), CookieValue(piece));
    }
    return jar;
}

}  // namespace

Text CookieName(std::string_view piece) {
    const int equals = text::Find(piece, "=");
    if (equals == -1) {
        return text::Trim(piece);
    }
    return text::Trim(piece.substr(0, static_cast<std::size_t>(equals - 1)));
}

Text CookieValue(std::string_view piece) {
    const int equals = text::Find(piece, "=");
    if (equals == -1) {
        return {};
    }
    return Text(piece.substr(static_cast<std::size_t>(equals)));
}

Text MergeCookies(Text& cookies, Text& newCookies) {
    cookies = text::RemoveSpaces(cookies);
    newCookies = text::RemoveSpaces(newCookies);
    if (newCookies.empty()) {
        return cookies;
    }

    CookieJar jar = ParseCookies(cookies);
    for (auto& [name, value] : ParseCookies(newCookies)) {
        auto existing = jar.begin();
        while (existing != jar.end() && existing->first != name) {
            ++existing;
        }
        if (existing != jar.end()) {
            existing->second = std::move(value);
        } else {
            jar.emplace_back(std::move(name), std::move(value));
        }
    }

    Text merged;
    for (const auto& [name, value] : jar) {
        if (name.empty() || value.empty() || value == "deleted") {
            continue;
        }
        merged += name + "=" + value + ";";
    }
    cookies = merged;
    return merged;
}

}  // namespace melvara::http
