#include "regex/regex_object.h"

#include <cstddef>

#include "platform/codepage.h"
#include "platform/com.h"
#include "text/text_ops.h"
#include "text/text_utils.h"

namespace melvara::regex {
namespace {

constexpr int kPositionUnknown = -2;

// Byte offset in GBK text of the character with the given 0-based index, each
// character counted as the conversion to UTF-16 counts it: a lead byte with a
// valid trail byte is one character of two bytes, every other byte one.
std::size_t ByteOffsetOfCharacter(const Text& text, int characterIndex) {
    auto byteAt = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t offset = 0;
    for (int i = 0; i < characterIndex && offset < text.size(); ++i) {
        const bool lead = byteAt(offset) >= 0x81 && byteAt(offset) <= 0xFE;
        const bool trail = offset + 1 < text.size() && byteAt(offset + 1) >= 0x40 &&
                           byteAt(offset + 1) <= 0xFE && byteAt(offset + 1) != 0x7F;
        offset += (lead && trail) ? 2 : 1;
    }
    return offset;
}

}  // namespace

RegexObject::RegexObject() {
    platform::CoInitialize();
}

RegexObject::~RegexObject() {
    regExp.reset();
    matches.reset();
    subject.clear();
    platform::CoUninitialize();
}

bool RegexObject::Search(const Text& pattern, const Text& text, std::optional<bool> caseSensitive,
                         std::optional<bool> multiline, std::optional<bool> global,
                         std::optional<bool> quoteMarker) {
    regExp.reset();
    matches.reset();
    regExp = platform::CreateRegExp();
    subject = text;
    if (!regExp) {
        return false;
    }
    regExp->SetIgnoreCase(!caseSensitive.value_or(false));
    regExp->SetMultiline(multiline.value_or(true));
    regExp->SetGlobal(global.value_or(true));
    const Text effectivePattern =
        quoteMarker.value_or(false) ? text::Replace(pattern, text::kQuoteMarker, "\"") : pattern;
    regExp->SetPattern(platform::GbkToUtf16(effectivePattern));
    matches = regExp->Execute(platform::GbkToUtf16(subject));
    return matches != nullptr;
}

Text RegexObject::GetPattern() const {
    if (!regExp) {
        return {};
    }
    return platform::Utf16ToGbk(regExp->Pattern());
}

Text RegexObject::ReplaceMatches(const Text& replacement) {
    if (!regExp) {
        return {};
    }
    const auto replaced =
        regExp->Replace(platform::GbkToUtf16(subject), platform::GbkToUtf16(replacement));
    return replaced ? platform::Utf16ToGbk(*replaced) : Text();
}

int RegexObject::MatchCount() const {
    return matches ? matches->Count() : 0;
}

Text RegexObject::MatchText(int matchIndex, int* position) const {
    const platform::Match* match = matches ? matches->Item(matchIndex - 1) : nullptr;
    if (match == nullptr) {
        if (position != nullptr) {
            *position = kPositionUnknown;
        }
        return {};
    }
    Text value = platform::Utf16ToGbk(match->Value());
    if (position != nullptr) {
        *position = BytePosition(*match, value);
    }
    return value;
}

Text RegexObject::SubMatchText(int matchIndex, int groupIndex, int* position) const {
    const platform::Match* match = matches ? matches->Item(matchIndex - 1) : nullptr;
    const std::u16string* group = match ? match->GetSubMatches().Item(groupIndex - 1) : nullptr;
    if (group == nullptr) {
        if (position != nullptr) {
            *position = kPositionUnknown;
        }
        return {};
    }
    Text value = platform::Utf16ToGbk(*group);
    if (position != nullptr) {
        *position = BytePosition(*match, value);
    }
    return value;
}

int RegexObject::SubMatchCount() const {
    const platform::Match* first = matches ? matches->Item(0) : nullptr;
    return first ? first->GetSubMatches().Count() : 0;
}

// The engine reports a match's place in characters; callers work in bytes. The
// returned text is searched for in the subject from the match's first byte,
// a whole character at a time. Starting exactly there (rather than somewhat
// before it) keeps an earlier equal text, or a start on the second byte of a
// character, from giving a wrong offset. A group's own place is not reported,
// so a group yields the first occurrence of its text within or after the match.
int RegexObject::BytePosition(const platform::Match& match, const Text& found) const {
    const std::size_t start = ByteOffsetOfCharacter(subject, match.FirstIndex());
    if (found.empty()) {
        return static_cast<int>(start);
    }
    // Case-sensitive unless the search ignored case.
    const bool ignoreCase = regExp && regExp->IgnoreCase();
    const int hit = text::Find(subject, found, static_cast<int>(start) + 1, ignoreCase);
    return hit == -1 ? kPositionUnknown : hit - 1;
}

}  // namespace melvara::regex
