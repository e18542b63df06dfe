#include "http/wide_text.h"

#include "platform/codepage.h"
#include "text/text_utils.h"

namespace melvara::http {

WideText AnsiToUtf16(const Text& text) {
    if (text.empty()) {
        return {};  // no zero unit either
    }
    return text::TextToWide(text, platform::kCodePageGbk);
}

Text Utf16ToAnsi(const WideText& wide) {
    return text::WideToText(wide, platform::kCodePageGbk);
}

}  // namespace melvara::http
