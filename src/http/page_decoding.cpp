#include "http/page_decoding.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

#include "platform/com.h"
#include "platform/message_pump.h"
#include "platform/text_stream.h"

namespace melvara::http {
namespace {

constexpr std::size_t kSampleBytes = 1024;
constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// The whole body decoded from charset through the stream; nullopt when no
// stream can be created. A failed read gives "".
std::optional<Text> ConvertThroughStream(const Bytes& body, const Text& charset) {
    std::unique_ptr<platform::TextStream> stream = platform::CreateTextStream();
    if (!stream) {
        return std::nullopt;
    }
    // As with the automation object, no call's outcome stops the next one.
    stream->SetType(platform::TextStream::kTypeBinary);
    stream->SetMode(platform::TextStream::kModeReadWrite);
    stream->Open();
    stream->Write(body);
    stream->SetPosition(0);
    stream->SetType(platform::TextStream::kTypeText);
    stream->SetCharset(charset);
    Text text = stream->ReadText().value_or(Text());
    stream->Close();
    return text;
}

}  // namespace

Text DecodePageText(const Bytes& body, regex::RegexObject& regex) {
    const auto firstZero = std::find(body.begin(), body.end(), std::uint8_t{0});
    Text text(body.begin(), firstZero);

    platform::ComScope com;
    const Text sample = text.substr(0, kSampleBytes);
    if (regex.Search(kCharsetPattern, sample)) {
        const Text charset = regex.SubMatchText(1, 1);
        if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
            if (auto converted = ConvertThroughStream(body, charset)) {
                text = std::move(*converted);
            }
        }
        platform::ProcessPendingMessages();
    }
    return text;
}

}  // namespace melvara::http
