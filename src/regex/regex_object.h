#pragma once

// Regular-expression matching through the "VBScript.RegExp" automation object:
// one Search compiles a pattern with its flags and runs it over a text; later
// calls read the matches and their groups by 1-based indices. Texts are GBK.

#include <memory>
#include <optional>

#include "platform/reg_exp.h"
#include "text/text_types.h"

namespace melvara::regex {

class RegexObject {
  public:
    // Initialises COM on the constructing thread for the object's lifetime; the
    // object must be destroyed on that thread.
    RegexObject();
    ~RegexObject();
    // Never copied or moved: a copy would share the automation objects and
    // unbalance the thread's COM initialisation.
    RegexObject(const RegexObject&) = delete;
    RegexObject& operator=(const RegexObject&) = delete;

    // Compiles pattern (with "#引号" turned into '"' when quoteMarker) and runs
    // it over text. Omitted flags: case ignored, anchors at every line, every
    // match. True when a match collection came back, even an empty one; false
    // when the object cannot be created or the pattern is invalid.
    bool Search(const Text& pattern, const Text& text, std::optional<bool> caseSensitive = {},
                std::optional<bool> multiline = {}, std::optional<bool> global = {},
                std::optional<bool> quoteMarker = {});

    // The pattern of the last Search as the object holds it; "" before any.
    Text GetPattern() const;
    // The last Search's text with its matches replaced ("$1" is group 1); ""
    // when that fails or before any Search.
    Text ReplaceMatches(const Text& replacement);

    int MatchCount() const;
    // The text of match matchIndex (1-based); "" when there is none. position,
    // when given, receives its 0-based byte offset in the text, -2 when unknown.
    Text MatchText(int matchIndex, int* position = nullptr) const;
    // The text of group groupIndex (1-based) of match matchIndex; "" when there
    // is none or the group did not take part. position as for MatchText.
    Text SubMatchText(int matchIndex, int groupIndex, int* position = nullptr) const;
    // The number of groups of the first match; 0 when nothing matched.
    int SubMatchCount() const;

  private:
    int BytePosition(const platform::Match& match, const Text& found) const;

    std::unique_ptr<platform::RegExp> regExp;
    std::shared_ptr<const platform::MatchCollection> matches;
    Text subject;
};

}  // namespace melvara::regex
