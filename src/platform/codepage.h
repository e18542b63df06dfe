#pragma once

// Code-page conversion with the results the system's own conversion calls give:
// malformed input becomes U+FFFD, characters the target cannot hold become '?',
// and with an input length of -1 the input runs to its terminating zero, which
// is converted and counted too. Sizes are returned when the output is null/0.

#include <cstdint>
#include <string>
#include <string_view>

namespace melvara::platform {

inline constexpr unsigned kCodePageAnsi = 0;  // the ANSI code page, which is 936 here
inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageUtf8 = 65001;

// Number of UTF-16 units written (or needed when outputUnits is 0); 0 on failure.
int MultiByteToWideChar(unsigned codePage, std::uint32_t flags, const char* input, int inputLength,
                        char16_t* output, int outputUnits);

// Number of bytes written (or needed when outputBytes is 0); 0 on failure.
int WideCharToMultiByte(unsigned codePage, std::uint32_t flags, const char16_t* input,
                        int inputLength, char* output, int outputBytes, const char* defaultChar,
                        bool* usedDefaultChar);

// Whole-string helpers for the edges (GUI, file system, regex engine).
std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view utf16);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace melvara::platform
