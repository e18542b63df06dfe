#pragma once

// Stand-in for the "VBScript.RegExp" automation object: a regular expression in
// that object's dialect, run over UTF-16 text. Offsets are in UTF-16 units.
// Dialect: lazy repetition, \w as [A-Za-z0-9_], bracket expressions, capturing
// groups; the dot does not match "\n"; with Multiline the anchors match at every
// "\n"; without it "$" matches only at the very end.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace melvara::platform {

// The groups of one match ("SubMatches"). A group that did not take part in the
// match has the empty text, as the automation object reports it.
class SubMatches {
  public:
    explicit SubMatches(std::vector<std::u16string> groups) : groups_(std::move(groups)) {}

    int Count() const { return static_cast<int>(groups_.size()); }
    // 0-based; null when there is no such group.
    const std::u16string* Item(int index) const;

  private:
    std::vector<std::u16string> groups_;
};

// One match: its text, its 0-based offset in the subject and its groups.
class Match {
  public:
    Match(std::u16string_view value, int firstIndex, SubMatches subMatches)
        : value_(value), firstIndex_(firstIndex), subMatches_(std::move(subMatches)) {}

    const std::u16string& Value() const { return value_; }
    int FirstIndex() const { return firstIndex_; }
    const SubMatches& GetSubMatches() const { return subMatches_; }

  private:
    std::u16string value_;
    int firstIndex_;
    SubMatches subMatches_;
};

// What "Execute" returns: every match, in order.
class MatchCollection {
  public:
    explicit MatchCollection(std::vector<Match> matches) : matches_(std::move(matches)) {}

    int Count() const { return static_cast<int>(matches_.size()); }
    // 0-based; null when there is no such match.
    const Match* Item(int index) const;

  private:
    std::vector<Match> matches_;
};

class RegExp {
  public:
    RegExp();
    ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    // Properties; a new object has every flag off and an empty pattern.
    bool IgnoreCase() const;
    void SetIgnoreCase(bool value);
    bool Multiline() const;
    void SetMultiline(bool value);
    bool Global() const;
    void SetGlobal(bool value);
    const std::u16string& Pattern() const;
    void SetPattern(std::u16string_view value);

    // Runs the pattern over subject: every match when Global, else the first.
    // Null when the pattern does not compile. When the engine gives up on a
    // pathological search (match or memory limit), the matches found before it
    // are the result.
    std::shared_ptr<const MatchCollection> Execute(std::u16string_view subject);

    // subject with its matches (all when Global, else the first) replaced by
    // replacement, in which "$1".."$99" stand for a group's text, "$&" for the
    // match, "$`" / "$'" for the text before / after it and "$$" for "$"; any
    // other "$" is literal. nullopt when the pattern does not compile or the
    // engine gives up.
    std::optional<std::u16string> Replace(std::u16string_view subject,
                                          std::u16string_view replacement);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Creates a "VBScript.RegExp" object; null when creation fails.
std::unique_ptr<RegExp> CreateRegExp();

// How CreateRegExp makes objects. Tests install a factory that returns null to
// make creation fail; nullptr restores the default. Returns the previous one.
using RegExpFactory = std::unique_ptr<RegExp> (*)();
RegExpFactory SetRegExpFactory(RegExpFactory factory);

}  // namespace melvara::platform
