#include "platform/codepage.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>

namespace melvara::platform {

namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr const char* kGbkName = "CP936";  // glibc's table, with the euro sign at 0x80
constexpr const char* kUtf16Name =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// Owns one conversion descriptor. glibc's iconv_open fails with (iconv_t)-1, not null.
class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (IsValid())
            iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool IsValid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Back to the initial shift state, so nothing leaks from an earlier call.
    iconv_t Fresh() {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        return handle_;
    }

  private:
    iconv_t handle_;
};

// Conversions run on several threads at once; each thread keeps its own
// descriptors, so no state is shared.
IconvHandle& GbkDecoder() {
    thread_local IconvHandle handle(kUtf16Name, kGbkName);
    return handle;
}

IconvHandle& GbkEncoder() {
    thread_local IconvHandle handle(kGbkName, kUtf16Name);
    return handle;
}

bool IsGbkLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}
bool IsGbkTrail(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}
bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A bad byte, or a lead byte with a well-formed trail that the table does not
// map, becomes one U+FFFD; a lead byte followed by anything else becomes U+FFFD
// alone and the next byte is decoded on its own.
bool DecodeGbk(std::string_view input, std::u16string& output) {
    IconvHandle& decoder = GbkDecoder();
    if (!decoder.IsValid())
        return false;
    iconv_t cd = decoder.Fresh();
    output.reserve(output.size() + input.size());
    char16_t chunk[4096];
    std::size_t pos = 0;
    while (pos < input.size()) {
        char* in = const_cast<char*>(input.data() + pos);
        std::size_t inLeft = input.size() - pos;
        char* out = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof(chunk);
        const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(chunk, (sizeof(chunk) - outLeft) / sizeof(char16_t));
        pos = input.size() - inLeft;
        if (result != static_cast<std::size_t>(-1) || error == E2BIG)
            continue;
        if (error != EILSEQ && error != EINVAL)
            return false;
        const auto lead = static_cast<unsigned char>(input[pos]);
        const bool pair = IsGbkLead(lead) && pos + 1 < input.size() &&
                          IsGbkTrail(static_cast<unsigned char>(input[pos + 1]));
        output.push_back(kReplacementCharacter);
        pos += pair ? 2 : 1;
    }
    return true;
}

// A character that code page 936 cannot hold (a surrogate pair counts as one
// character, a lone surrogate as one too) becomes the default character.
bool EncodeGbk(std::u16string_view input, std::string& output, std::string_view defaultChar,
               bool& usedDefault) {
    IconvHandle& encoder = GbkEncoder();
    if (!encoder.IsValid())
        return false;
    iconv_t cd = encoder.Fresh();
    output.reserve(output.size() + input.size() * 2);
    char chunk[8192];
    std::size_t pos = 0;
    while (pos < input.size()) {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(input.data() + pos));
        std::size_t inLeft = (input.size() - pos) * sizeof(char16_t);
        char* out = chunk;
        std::size_t outLeft = sizeof(chunk);
        const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(chunk, sizeof(chunk) - outLeft);
        pos = input.size() - inLeft / sizeof(char16_t);
        if (result != static_cast<std::size_t>(-1) || error == E2BIG)
            continue;
        if (error != EILSEQ && error != EINVAL)
            return false;
        const bool pair =
            IsHighSurrogate(input[pos]) && pos + 1 < input.size() && IsLowSurrogate(input[pos + 1]);
        output.append(defaultChar);
        usedDefault = true;
        pos += pair ? 2 : 1;
    }
    return true;
}

void AppendCodePoint(std::u16string& output, char32_t codePoint) {
    if (codePoint < 0x10000) {
        output.push_back(static_cast<char16_t>(codePoint));
    } else {
        codePoint -= 0x10000;
        output.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        output.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
}

// UTF-8 is decoded here rather than by iconv so that each maximal ill-formed
// subpart becomes exactly one U+FFFD (the Unicode recommendation), including
// overlong forms, encoded surrogates and values past U+10FFFF.
void DecodeUtf8(std::string_view input, std::u16string& output) {
    output.reserve(output.size() + input.size());
    std::size_t i = 0;
    while (i < input.size()) {
        const auto first = static_cast<unsigned char>(input[i]);
        if (first < 0x80) {
            output.push_back(first);
            ++i;
            continue;
        }
        int trailCount = 0;
        char32_t codePoint = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (first >= 0xC2 && first <= 0xDF) {
            trailCount = 1;
            codePoint = first & 0x1F;
        } else if (first >= 0xE0 && first <= 0xEF) {
            trailCount = 2;
            codePoint = first & 0x0F;
            if (first == 0xE0)
                low = 0xA0;  // overlong
            if (first == 0xED)
                high = 0x9F;  // surrogates
        } else if (first >= 0xF0 && first <= 0xF4) {
            trailCount = 3;
            codePoint = first & 0x07;
            if (first == 0xF0)
                low = 0x90;  // overlong
            if (first == 0xF4)
                high = 0x8F;  // past U+10FFFF
        } else {
            output.push_back(kReplacementCharacter);
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        bool complete = true;
        for (int k = 0; k < trailCount; ++k, ++next) {
            if (next >= input.size()) {
                complete = false;
                break;
            }
            const auto byte = static_cast<unsigned char>(input[next]);
            if (byte < low || byte > high) {
                complete = false;
                break;
            }
            codePoint = (codePoint << 6) | (byte & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        if (complete) {
            AppendCodePoint(output, codePoint);
        } else {
            output.push_back(kReplacementCharacter);
        }
        i = next;
    }
}

// A lone surrogate becomes U+FFFD.
void EncodeUtf8(std::u16string_view input, std::string& output) {
    output.reserve(output.size() + input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        char32_t codePoint = input[i];
        if (IsHighSurrogate(input[i]) && i + 1 < input.size() && IsLowSurrogate(input[i + 1])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (input[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(input[i]) || IsLowSurrogate(input[i])) {
            codePoint = kReplacementCharacter;
        }
        if (codePoint < 0x80) {
            output.push_back(static_cast<char>(codePoint));
        } else if (codePoint < 0x800) {
            output.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
            output.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else if (codePoint < 0x10000) {
            output.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
            output.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            output.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else {
            output.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
            output.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
            output.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            output.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        }
    }
}

enum class Encoding { kNone, kGbk, kUtf8 };

Encoding EncodingOf(unsigned codePage) {
    switch (codePage) {
        case kCodePageAnsi:
        case kCodePageGbk:
            return Encoding::kGbk;
        case kCodePageUtf8:
            return Encoding::kUtf8;
        default:
            return Encoding::kNone;
    }
}

// The first character of the caller's default character, or '?'.
std::string_view DefaultCharOf(const char* defaultChar) {
    if (defaultChar == nullptr || defaultChar[0] == '\0')
        return "?";
    const bool twoBytes =
        static_cast<unsigned char>(defaultChar[0]) >= 0x80 && defaultChar[1] != '\0';
    return std::string_view(defaultChar, twoBytes ? 2 : 1);
}

}  // namespace

int MultiByteToWideChar(unsigned codePage, std::uint32_t /*flags*/, const char* input,
                        int inputLength, char16_t* output, int outputUnits) {
    if (input == nullptr || inputLength == 0 || inputLength < -1 || outputUnits < 0)
        return 0;
    if (outputUnits > 0 && output == nullptr)
        return 0;
    const std::size_t length =
        inputLength == -1 ? std::strlen(input) + 1 : static_cast<std::size_t>(inputLength);
    const std::string_view text(input, length);
    std::u16string wide;
    switch (EncodingOf(codePage)) {
        case Encoding::kGbk:
            if (!DecodeGbk(text, wide))
                return 0;
            break;
        case Encoding::kUtf8:
            DecodeUtf8(text, wide);
            break;
        case Encoding::kNone:
            return 0;
    }
    if (wide.size() > static_cast<std::size_t>(INT_MAX))
        return 0;
    const int units = static_cast<int>(wide.size());
    if (outputUnits == 0)
        return units;
    if (units > outputUnits)
        return 0;  // too small: nothing is written
    std::memcpy(output, wide.data(), wide.size() * sizeof(char16_t));
    return units;
}

int WideCharToMultiByte(unsigned codePage, std::uint32_t /*flags*/, const char16_t* input,
                        int inputLength, char* output, int outputBytes, const char* defaultChar,
                        bool* usedDefaultChar) {
    if (input == nullptr || inputLength == 0 || inputLength < -1 || outputBytes < 0)
        return 0;
    if (outputBytes > 0 && output == nullptr)
        return 0;
    const std::size_t length = inputLength == -1 ? std::char_traits<char16_t>::length(input) + 1
                                                 : static_cast<std::size_t>(inputLength);
    const std::u16string_view wide(input, length);
    std::string text;
    bool usedDefault = false;
    switch (EncodingOf(codePage)) {
        case Encoding::kGbk:
            if (!EncodeGbk(wide, text, DefaultCharOf(defaultChar), usedDefault))
                return 0;
            break;
        case Encoding::kUtf8:
            EncodeUtf8(wide, text);
            break;
        case Encoding::kNone:
            return 0;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX))
        return 0;
    const int bytes = static_cast<int>(text.size());
    if (outputBytes != 0 && bytes > outputBytes)
        return 0;  // too small: nothing is written
    if (outputBytes != 0)
        std::memcpy(output, text.data(), text.size());
    if (usedDefaultChar != nullptr)
        *usedDefaultChar = usedDefault;
    return bytes;
}

std::u16string GbkToUtf16(std::string_view gbk) {
    std::u16string wide;
    if (!DecodeGbk(gbk, wide))
        wide.clear();
    return wide;
}

std::string Utf16ToGbk(std::u16string_view utf16) {
    std::string text;
    bool usedDefault = false;
    if (!EncodeGbk(utf16, text, "?", usedDefault))
        text.clear();
    return text;
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string text;
    EncodeUtf8(GbkToUtf16(gbk), text);
    return text;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::u16string wide;
    DecodeUtf8(utf8, wide);
    return Utf16ToGbk(wide);
}

}  // namespace melvara::platform
