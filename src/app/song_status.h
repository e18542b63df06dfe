#pragma once

// The texts a download task leaves in a row's status column (GBK).

#include <string_view>

namespace melvara::app {

inline constexpr std::string_view kStatusNoLink = "\xBD\xE2\xCE\xF6\xCA\xA7\xB0\xDC";  // 解析失败
inline constexpr std::string_view kStatusDone = "\xCF\xC2\xD4\xD8\xB3\xC9\xB9\xA6";  // 下载成功
inline constexpr std::string_view kStatusFailed = "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC";  // 下载失败

}  // namespace melvara::app
