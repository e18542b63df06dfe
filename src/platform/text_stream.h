#pragma once

// Stand-in for the "Adodb.Stream" automation object, as far as turning bytes in
// a named charset into GBK text goes: open, write bytes, rewind, switch to text,
// name the charset, read the text, close. Each call reports whether it worked;
// a call the stream's state does not allow fails and changes nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace melvara::platform {

class TextStream {
  public:
    static constexpr int kTypeBinary = 1;
    static constexpr int kTypeText = 2;
    static constexpr int kModeReadWrite = 3;

    // A new stream is closed, of type text, with the charset "unicode" (UTF-16LE).
    TextStream() = default;

    // The type may change while closed or at position 0 only.
    bool SetType(int type);
    int Type() const { return type_; }
    // 1 read, 2 write, 3 read and write; only while closed.
    bool SetMode(int mode);
    int Mode() const { return mode_; }
    // Opens an empty stream at position 0; fails when already open.
    bool Open();
    // Binary streams only: writes bytes at the position, which moves past them.
    bool Write(std::span<const std::uint8_t> bytes);
    // A byte offset within the written bytes (the end included).
    bool SetPosition(std::int64_t position);
    std::int64_t Position() const { return position_; }
    // The charset that ReadText decodes from, as pages name it ("utf-8",
    // "gb2312", "big5", "windows-1252", ...); only at position 0. A name the
    // stream does not know is decoded as GBK.
    bool SetCharset(std::string_view charset);
    const std::string& Charset() const { return charset_; }
    // Text streams only: the bytes from the position to the end, decoded from
    // the charset, as GBK text; the position moves to the end. Malformed input
    // and characters GBK cannot hold become '?'. The text ends before the first
    // NUL character, as a Text holds no zero bytes.
    std::optional<std::string> ReadText();
    bool Close();
    bool IsOpen() const { return open_; }

  private:
    bool open_ = false;
    int type_ = kTypeText;
    int mode_ = 0;
    std::string charset_ = "unicode";
    std::vector<std::uint8_t> buffer_;
    std::int64_t position_ = 0;
};

// Creates an "Adodb.Stream" object; null when creation fails.
std::unique_ptr<TextStream> CreateTextStream();

// How CreateTextStream makes objects. Tests install a factory that returns null
// to make creation fail; nullptr restores the default. Returns the previous one.
using TextStreamFactory = std::unique_ptr<TextStream> (*)();
TextStreamFactory SetTextStreamFactory(TextStreamFactory factory);

// bytes decoded from charset (as SetCharset names it) into UTF-16; malformed
// sequences become U+FFFD. An unknown charset name decodes as GBK.
std::u16string DecodeCharset(std::span<const std::uint8_t> bytes, std::string_view charset);

}  // namespace melvara::platform
