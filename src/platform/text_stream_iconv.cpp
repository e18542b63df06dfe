#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/codepage.h"
#include "platform/text_stream.h"

namespace melvara::platform {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char16_t kByteOrderMark = 0xFEFF;

std::atomic<TextStreamFactory> gFactory{nullptr};

class Converter {
  public:
    // Invalid when iconv cannot convert between the two.
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (Valid()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const {
        return handle_ != reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));
    }
    iconv_t Get() const { return handle_; }

  private:
    iconv_t handle_;
};

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The iconv name for a charset as pages and the stream name it. Names that
// pages use for GBK bytes all decode as code page 936; names outside a plain
// alphabet are refused so that iconv's "//" suffixes cannot be smuggled in.
std::string IconvName(std::string_view charset) {
    std::string lower;
    for (const char c : charset) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
        if (!plain) {
            return "CP936";
        }
        lower.push_back(AsciiLower(c));
    }
    struct Alias {
        std::string_view name;
        const char* iconvName;
    };
    static constexpr std::array<Alias, 19> kAliases{{
        {"gb2312", "CP936"},         {"gbk", "CP936"},         {"cp936", "CP936"},
        {"x-gbk", "CP936"},          {"gb_2312-80", "CP936"},  {"csgb2312", "CP936"},
        {"euc-cn", "CP936"},         {"unicode", "UTF-16LE"},  {"utf-16", "UTF-16LE"},
        {"utf8", "UTF-8"},           {"latin1", "ISO-8859-1"}, {"shift_jis", "CP932"},
        {"shift-jis", "CP932"},      {"sjis", "CP932"},        {"x-sjis", "CP932"},
        {"windows-31j", "CP932"},    {"ms_kanji", "CP932"},    {"windows-1252", "CP1252"},
        {"unicodefeff", "UTF-16LE"},
    }};
    for (const Alias& alias : kAliases) {
        if (alias.name == lower) {
            return alias.iconvName;
        }
    }
    if (lower.empty()) {
        return "CP936";
    }
    return lower;
}

void AppendUnits(std::u16string& out, const char* units, std::size_t byteCount) {
    for (std::size_t i = 0; i + 1 < byteCount; i += 2) {
        const auto low = static_cast<unsigned char>(units[i]);
        const auto high = static_cast<unsigned char>(units[i + 1]);
        out.push_back(static_cast<char16_t>(low | (high << 8)));
    }
}

}  // namespace

std::u16string DecodeCharset(std::span<const std::uint8_t> bytes, std::string_view charset) {
    // An unknown name is read as code page 936.
    std::optional<Converter> converter;
    converter.emplace("UTF-16LE", IconvName(charset).c_str());
    if (!converter->Valid()) {
        converter.emplace("UTF-16LE", "CP936");
    }
    if (!converter->Valid()) {
        return GbkToUtf16(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

    std::u16string out;
    out.reserve(bytes.size());
    // iconv's interface takes a non-const input pointer but does not write through it.
    char* input = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inputLeft = bytes.size();
    std::array<char, 8192> chunk{};
    while (inputLeft > 0) {
        char* output = chunk.data();
        std::size_t outputLeft = chunk.size();
        const std::size_t rc = iconv(converter->Get(), &input, &inputLeft, &output, &outputLeft);
        const int error = errno;
        AppendUnits(out, chunk.data(), chunk.size() - outputLeft);
        if (rc != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (error == E2BIG) {
            continue;
        }
        out.push_back(kReplacementCharacter);
        if (error == EILSEQ) {
            // Step over the offending byte and go on decoding after it.
            ++input;
            --inputLeft;
            iconv(converter->Get(), nullptr, nullptr, nullptr, nullptr);
        } else {
            // A sequence cut off at the end (EINVAL) or anything else ends it.
            break;
        }
    }
    // Flush any shift state of stateful charsets.
    char* output = chunk.data();
    std::size_t outputLeft = chunk.size();
    iconv(converter->Get(), nullptr, nullptr, &output, &outputLeft);
    AppendUnits(out, chunk.data(), chunk.size() - outputLeft);
    return out;
}

bool TextStream::SetType(int type) {
    if ((type != kTypeBinary && type != kTypeText) || (open_ && position_ != 0)) {
        return false;
    }
    type_ = type;
    return true;
}

bool TextStream::SetMode(int mode) {
    if (open_ || mode < 0 || mode > kModeReadWrite) {
        return false;
    }
    mode_ = mode;
    return true;
}

bool TextStream::Open() {
    if (open_) {
        return false;
    }
    open_ = true;
    buffer_.clear();
    position_ = 0;
    return true;
}

bool TextStream::Write(std::span<const std::uint8_t> bytes) {
    if (!open_ || type_ != kTypeBinary || mode_ == 1) {
        return false;
    }
    const auto at = static_cast<std::size_t>(position_);
    if (buffer_.size() < at + bytes.size()) {
        buffer_.resize(at + bytes.size());
    }
    std::memcpy(buffer_.data() + at, bytes.data(), bytes.size());
    position_ += static_cast<std::int64_t>(bytes.size());
    return true;
}

bool TextStream::SetPosition(std::int64_t position) {
    if (!open_ || position < 0 || position > static_cast<std::int64_t>(buffer_.size())) {
        return false;
    }
    position_ = position;
    return true;
}

bool TextStream::SetCharset(std::string_view charset) {
    if (open_ && position_ != 0) {
        return false;
    }
    charset_ = charset;
    return true;
}

std::optional<std::string> TextStream::ReadText() {
    if (!open_ || type_ != kTypeText || mode_ == 2) {
        return std::nullopt;
    }
    const auto from = static_cast<std::size_t>(position_);
    std::u16string wide =
        DecodeCharset(std::span<const std::uint8_t>(buffer_).subspan(from), charset_);
    position_ = static_cast<std::int64_t>(buffer_.size());

    std::u16string_view view = wide;
    if (from == 0 && !view.empty() && view.front() == kByteOrderMark) {
        view.remove_prefix(1);
    }
    view = view.substr(0, view.find(u'\0'));
    return Utf16ToGbk(view);
}

bool TextStream::Close() {
    if (!open_) {
        return false;
    }
    open_ = false;
    buffer_.clear();
    position_ = 0;
    return true;
}

std::unique_ptr<TextStream> CreateTextStream() {
    if (const TextStreamFactory factory = gFactory.load()) {
        return factory();
    }
    return std::make_unique<TextStream>();
}

TextStreamFactory SetTextStreamFactory(TextStreamFactory factory) {
    return gFactory.exchange(factory);
}

}  // namespace melvara::platform
