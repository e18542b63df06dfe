#include "platform/codepage.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

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

constexpr int kTrailCount = 0xFE - 0x40 + 1;

// Code page 936 read out of iconv once, character by character, into two
// tables. Converting through the tables gives iconv's results without calling
// it per text, and the tables never change after they are built, so every
// thread may use them at once.
class GbkTables {
  public:
    GbkTables() : pairs_((0xFE - 0x81 + 1) * kTrailCount, 0), encoded_(0x10000, 0) {
        IconvHandle decoder(kUtf16Name, kGbkName);
        IconvHandle encoder(kGbkName, kUtf16Name);
        if (!decoder.IsValid() || !encoder.IsValid())
            return;
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            const char input[1] = {static_cast<char>(byte)};
            singles_[byte - 0x80] = DecodeOne(decoder, input, 1);
        }
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char input[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                pairs_[static_cast<std::size_t>(PairIndex(static_cast<unsigned char>(lead),
                                                          static_cast<unsigned char>(trail)))] =
                    DecodeOne(decoder, input, 2);
            }
        }
        for (char32_t unit = 0x80; unit < 0x10000; ++unit) {
            if (unit >= 0xD800 && unit <= 0xDFFF)
                continue;
            encoded_[unit] = EncodeOne(encoder, static_cast<char16_t>(unit));
        }
        valid_ = true;
    }

    bool IsValid() const { return valid_; }
    // U+0000 when the byte alone is no character.
    char16_t Single(unsigned char byte) const { return singles_[byte - 0x80]; }
    // U+0000 when the pair is no character.
    char16_t Pair(unsigned char lead, unsigned char trail) const {
        return pairs_[static_cast<std::size_t>(PairIndex(lead, trail))];
    }
    // 0 when the character has no form; below 0x100 a single byte, else lead * 256 + trail.
    std::uint16_t Encoded(char16_t unit) const { return encoded_[unit]; }

  private:
    static int PairIndex(unsigned char lead, unsigned char trail) {
        return (lead - 0x81) * kTrailCount + (trail - 0x40);
    }

    static char16_t DecodeOne(IconvHandle& decoder, const char* bytes, std::size_t length) {
        char* in = const_cast<char*>(bytes);
        char16_t unit[2] = {0, 0};
        char* out = reinterpret_cast<char*>(unit);
        std::size_t outLeft = sizeof(unit);
        if (iconv(decoder.Fresh(), &in, &length, &out, &outLeft) == static_cast<std::size_t>(-1) ||
            length != 0 || outLeft != sizeof(char16_t)) {
            return 0;
        }
        return unit[0];
    }

    static std::uint16_t EncodeOne(IconvHandle& encoder, char16_t unit) {
        char* in = reinterpret_cast<char*>(&unit);
        std::size_t inLeft = sizeof(unit);
        unsigned char bytes[4] = {0, 0, 0, 0};
        char* out = reinterpret_cast<char*>(bytes);
        std::size_t outLeft = sizeof(bytes);
        if (iconv(encoder.Fresh(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            return 0;
        }
        const std::size_t written = sizeof(bytes) - outLeft;
        if (written == 1)
            return bytes[0];
        if (written == 2)
            return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
        return 0;
    }

    bool valid_ = false;
    char16_t singles_[0x80] = {};
    std::vector<char16_t> pairs_;
    std::vector<std::uint16_t> encoded_;
};

const GbkTables& Tables() {
    static const GbkTables tables;
    return tables;
}

// A byte that is no character, or a lead byte with a well-formed trail that the
// code page does not map, becomes one U+FFFD; a lead byte followed by anything
// else becomes U+FFFD alone and the next byte is decoded on its own.
bool DecodeGbk(std::string_view input, std::u16string& output) {
    const GbkTables& tables = Tables();
    if (!tables.IsValid())
        return false;
    output.reserve(output.size() + input.size());
    std::size_t pos = 0;
    while (pos < input.size()) {
        const auto byte = static_cast<unsigned char>(input[pos]);
        if (byte < 0x80) {
            output.push_back(byte);
            ++pos;
            continue;
        }
        const auto trail = pos + 1 < input.size() ? static_cast<unsigned char>(input[pos + 1]) : 0;
        if (IsGbkLead(byte) && IsGbkTrail(trail)) {
            const char16_t unit = tables.Pair(byte, trail);
            output.push_back(unit != 0 ? unit : kReplacementCharacter);
            pos += 2;
            continue;
        }
        const char16_t unit = tables.Single(byte);
        output.push_back(unit != 0 ? unit : kReplacementCharacter);
        ++pos;
    }
    return true;
}

// A character that code page 936 cannot hold (a surrogate pair counts as one
// character, a lone surrogate as one too) becomes the default character.
bool EncodeGbk(std::u16string_view input, std::string& output, std::string_view defaultChar,
               bool& usedDefault) {
    const GbkTables& tables = Tables();
    if (!tables.IsValid())
        return false;
    output.reserve(output.size() + input.size() * 2);
    for (std::size_t pos = 0; pos < input.size(); ++pos) {
        const char16_t unit = input[pos];
        if (unit < 0x80) {
            output.push_back(static_cast<char>(unit));
            continue;
        }
        const std::uint16_t encoded = tables.Encoded(unit);
        if (encoded == 0) {
            if (IsHighSurrogate(unit) && pos + 1 < input.size() && IsLowSurrogate(input[pos + 1])) {
                ++pos;
            }
            output.append(defaultChar);
            usedDefault = true;
        } else if (encoded < 0x100) {
            output.push_back(static_cast<char>(encoded));
        } else {
            output.push_back(static_cast<char>(encoded >> 8));
            output.push_back(static_cast<char>(encoded & 0xFF));
        }
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
