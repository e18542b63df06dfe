#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/reg_exp.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace melvara::platform {
namespace {

// One search may spend this much effort and heap before it is given up; a
// pathological pattern then ends the search instead of exhausting the process.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kHeapLimitKiB = 256 * 1024;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 16 * 1024 * 1024;

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct JitStackFree {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, JitStackFree>;

constexpr char16_t kReplacementCharacter = 0xFFFD;

std::atomic<RegExpFactory> gFactory{nullptr};

PCRE2_SPTR Units(std::u16string_view text) {
    return reinterpret_cast<PCRE2_SPTR>(text.data());
}

using SharedCode = std::shared_ptr<const pcre2_code>;

// Compiling (and JIT-compiling) a pattern costs far more than matching a small
// page, and the program runs the same few patterns once per page. A compiled
// and JIT-compiled pattern is read-only, so threads share it; each match keeps
// its own match data and JIT stack. The cache is small and simply starts over
// when full.
class CompiledPatterns {
  public:
    SharedCode Get(const std::u16string& pattern, std::uint32_t options) {
        std::lock_guard lock(mutex_);
        const auto key = std::make_pair(options, pattern);
        if (auto found = cache_.find(key); found != cache_.end()) {
            return found->second;
        }
        SharedCode code = Compile(pattern, options);
        if (code) {
            if (cache_.size() >= kMaxEntries) {
                cache_.clear();
            }
            cache_.emplace(key, code);
        }
        return code;
    }

  private:
    static constexpr std::size_t kMaxEntries = 64;

    static SharedCode Compile(const std::u16string& pattern, std::uint32_t options) {
        CompileContextPtr context(pcre2_compile_context_create(nullptr));
        if (context) {
            pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
        }
        int errorCode = 0;
        PCRE2_SIZE errorOffset = 0;
        CodePtr code(pcre2_compile(Units(pattern), pattern.size(), options, &errorCode,
                                   &errorOffset, context.get()));
        if (!code) {
            return nullptr;
        }
        // JIT is an optimisation only: without it the interpreter does the work.
        pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
        return SharedCode(code.release(), CodeFree{});
    }

    std::mutex mutex_;
    std::map<std::pair<std::uint32_t, std::u16string>, SharedCode> cache_;
};

CompiledPatterns& Patterns() {
    static CompiledPatterns patterns;
    return patterns;
}

// One JIT stack per thread, grown by the engine up to its limit: a search
// runs on one thread at a time, and a stack per search would be allocated for
// every fetched page.
pcre2_jit_stack* ThreadJitStack() {
    thread_local const JitStackPtr stack(
        pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    return stack.get();
}

bool HasJitCode(const pcre2_code* code) {
    std::size_t jitSize = 0;
    return pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &jitSize) == 0 && jitSize > 0;
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// subject as valid UTF-16: a lone surrogate becomes U+FFFD, one unit for one,
// so every offset stays the same. Checking once here lets each search skip
// the engine's own check, which would scan the rest of the subject every time.
std::u16string_view ValidUtf16(std::u16string_view subject, std::u16string& storage) {
    std::size_t i = 0;
    auto loneSurrogateAt = [&subject](std::size_t at) {
        if (IsHighSurrogate(subject[at])) {
            return at + 1 == subject.size() || !IsLowSurrogate(subject[at + 1]);
        }
        return IsLowSurrogate(subject[at]) && (at == 0 || !IsHighSurrogate(subject[at - 1]));
    };
    while (i < subject.size() && !loneSurrogateAt(i)) {
        ++i;
    }
    if (i == subject.size()) {
        return subject;
    }
    storage.assign(subject);
    for (; i < storage.size(); ++i) {
        if (loneSurrogateAt(i)) {
            storage[i] = kReplacementCharacter;
        }
    }
    return storage;
}

// The groups of one match as the ovector gives them; unset groups are "".
std::vector<std::u16string> Groups(std::u16string_view subject, const PCRE2_SIZE* ovector,
                                   std::uint32_t ovectorPairs, std::uint32_t captureCount) {
    std::vector<std::u16string> groups;
    groups.reserve(captureCount);
    for (std::uint32_t group = 1; group <= captureCount; ++group) {
        if (group >= ovectorPairs || ovector[2 * group] == PCRE2_UNSET) {
            groups.emplace_back();
        } else {
            groups.emplace_back(
                subject.substr(ovector[2 * group], ovector[2 * group + 1] - ovector[2 * group]));
        }
    }
    return groups;
}

}  // namespace

const std::u16string* SubMatches::Item(int index) const {
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return &groups_[static_cast<std::size_t>(index)];
}

const Match* MatchCollection::Item(int index) const {
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return &matches_[static_cast<std::size_t>(index)];
}

struct RegExp::Impl {
    bool ignoreCase = false;
    bool multiline = false;
    bool global = false;
    std::u16string pattern;

    // The compiled pattern, rebuilt when a property has changed since.
    bool compileTried = false;
    SharedCode code;
    bool jitCompiled = false;
    MatchContextPtr matchContext{pcre2_match_context_create(nullptr)};
    std::uint32_t captureCount = 0;

    Impl() {
        if (matchContext) {
            pcre2_set_match_limit(matchContext.get(), kMatchLimit);
            pcre2_set_heap_limit(matchContext.get(), kHeapLimitKiB);
        }
    }

    void Invalidate() {
        compileTried = false;
        code.reset();
        jitCompiled = false;
    }

    const pcre2_code* Compiled();
    int RunMatch(std::u16string_view subject, PCRE2_SIZE offset, pcre2_match_data* data) const;

    // Calls onMatch(ovector, pairs) for each match (the first only unless
    // Global). Returns 0 when the search ran to its end, or the engine's error.
    template <typename OnMatch>
    int ForEachMatch(std::u16string_view subject, OnMatch onMatch);
};

const pcre2_code* RegExp::Impl::Compiled() {
    if (compileTried) {
        return code.get();
    }
    compileTried = true;

    // ALT_BSUX gives \uhhhh and \xhh their script-dialect meaning; DOLLAR_ENDONLY
    // keeps "$" from matching before a final newline outside multi-line mode.
    std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY;
    if (ignoreCase) {
        options |= PCRE2_CASELESS;
    }
    if (multiline) {
        options |= PCRE2_MULTILINE;
    }
    code = Patterns().Get(pattern, options);
    if (!code) {
        return nullptr;
    }
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captureCount);

    jitCompiled = HasJitCode(code.get());
    return code.get();
}

int RegExp::Impl::RunMatch(std::u16string_view subject, PCRE2_SIZE offset,
                           pcre2_match_data* data) const {
    // Callers pass valid UTF-16 (see ValidUtf16).
    int rc = pcre2_match(code.get(), Units(subject), subject.size(), offset, PCRE2_NO_UTF_CHECK,
                         data, matchContext.get());
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        // The interpreter keeps its backtracking frames on the heap and may
        // still finish what the JIT stack could not hold.
        rc = pcre2_match(code.get(), Units(subject), subject.size(), offset,
                         PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT, data, matchContext.get());
    }
    return rc;
}

template <typename OnMatch>
int RegExp::Impl::ForEachMatch(std::u16string_view subject, OnMatch onMatch) {
    if (matchContext) {
        pcre2_jit_stack_assign(matchContext.get(), nullptr,
                               jitCompiled ? ThreadJitStack() : nullptr);
    }
    MatchDataPtr data(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!data) {
        return PCRE2_ERROR_NOMEMORY;
    }
    const std::uint32_t pairs = pcre2_get_ovector_count(data.get());
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());

    PCRE2_SIZE offset = 0;
    while (offset <= subject.size()) {
        const int rc = RunMatch(subject, offset, data.get());
        if (rc == PCRE2_ERROR_NOMATCH) {
            return 0;
        }
        if (rc < 0) {
            return rc;
        }
        const PCRE2_SIZE start = ovector[0];
        const PCRE2_SIZE end = ovector[1];
        if (end < start) {
            // Only \K inside a lookaround can do this; treat it as the end.
            return 0;
        }
        onMatch(ovector, pairs);
        if (!global) {
            return 0;
        }
        if (end > start) {
            offset = end;
            continue;
        }
        // An empty match: the next search starts one character further on, so
        // a pattern like "a*" cannot find the same empty match forever.
        if (end >= subject.size()) {
            return 0;
        }
        offset = end + 1;
        if (offset < subject.size() && IsHighSurrogate(subject[end]) &&
            IsLowSurrogate(subject[offset])) {
            ++offset;
        }
    }
    return 0;
}

RegExp::RegExp() : impl_(std::make_unique<Impl>()) {}
RegExp::~RegExp() = default;

bool RegExp::IgnoreCase() const {
    return impl_->ignoreCase;
}
void RegExp::SetIgnoreCase(bool value) {
    impl_->ignoreCase = value;
    impl_->Invalidate();
}
bool RegExp::Multiline() const {
    return impl_->multiline;
}
void RegExp::SetMultiline(bool value) {
    impl_->multiline = value;
    impl_->Invalidate();
}
bool RegExp::Global() const {
    return impl_->global;
}
void RegExp::SetGlobal(bool value) {
    // Global only steers the loop over matches; the compiled form stays valid.
    impl_->global = value;
}
const std::u16string& RegExp::Pattern() const {
    return impl_->pattern;
}
void RegExp::SetPattern(std::u16string_view value) {
    impl_->pattern = value;
    impl_->Invalidate();
}

std::shared_ptr<const MatchCollection> RegExp::Execute(std::u16string_view subject) {
    if (impl_->Compiled() == nullptr) {
        return nullptr;
    }
    std::u16string storage;
    subject = ValidUtf16(subject, storage);
    std::vector<Match> matches;
    const std::uint32_t captureCount = impl_->captureCount;
    // An engine error (a limit reached) ends the search; the matches found so
    // far stand.
    impl_->ForEachMatch(subject, [&](const PCRE2_SIZE* ovector, std::uint32_t pairs) {
        const PCRE2_SIZE start = ovector[0];
        matches.emplace_back(subject.substr(start, ovector[1] - start), static_cast<int>(start),
                             SubMatches(Groups(subject, ovector, pairs, captureCount)));
    });
    return std::make_shared<const MatchCollection>(std::move(matches));
}

std::optional<std::u16string> RegExp::Replace(std::u16string_view subject,
                                              std::u16string_view replacement) {
    if (impl_->Compiled() == nullptr) {
        return std::nullopt;
    }
    std::u16string storage;
    subject = ValidUtf16(subject, storage);
    const std::uint32_t captureCount = impl_->captureCount;
    std::u16string result;
    PCRE2_SIZE copied = 0;
    const int rc =
        impl_->ForEachMatch(subject, [&](const PCRE2_SIZE* ovector, std::uint32_t pairs) {
            const PCRE2_SIZE start = ovector[0];
            const PCRE2_SIZE end = ovector[1];
            result.append(subject.substr(copied, start - copied));
            copied = end;

            auto appendGroup = [&](std::uint32_t group) {
                if (group < pairs && ovector[2 * group] != PCRE2_UNSET) {
                    result.append(subject.substr(ovector[2 * group],
                                                 ovector[2 * group + 1] - ovector[2 * group]));
                }
            };
            auto isDigit = [](char16_t unit) { return unit >= u'0' && unit <= u'9'; };

            for (std::size_t i = 0; i < replacement.size(); ++i) {
                const char16_t unit = replacement[i];
                if (unit != u'$' || i + 1 == replacement.size()) {
                    result.push_back(unit);
                    continue;
                }
                const char16_t next = replacement[i + 1];
                if (next == u'$') {
                    result.push_back(u'$');
                    ++i;
                } else if (next == u'&') {
                    result.append(subject.substr(start, end - start));
                    ++i;
                } else if (next == u'`') {
                    result.append(subject.substr(0, start));
                    ++i;
                } else if (next == u'\'') {
                    result.append(subject.substr(end));
                    ++i;
                } else if (isDigit(next)) {
                    // Two digits when that names a group, else one; "$0" and a
                    // group the pattern lacks stay literal.
                    const std::uint32_t one = next - u'0';
                    if (i + 2 < replacement.size() && isDigit(replacement[i + 2])) {
                        const std::uint32_t two = one * 10 + (replacement[i + 2] - u'0');
                        if (two >= 1 && two <= captureCount) {
                            appendGroup(two);
                            i += 2;
                            continue;
                        }
                    }
                    if (one >= 1 && one <= captureCount) {
                        appendGroup(one);
                        ++i;
                    } else {
                        result.push_back(u'$');
                    }
                } else {
                    result.push_back(u'$');
                }
            }
        });
    if (rc < 0) {
        return std::nullopt;
    }
    result.append(subject.substr(copied));
    return result;
}

std::unique_ptr<RegExp> CreateRegExp() {
    if (const RegExpFactory factory = gFactory.load()) {
        return factory();
    }
    return std::make_unique<RegExp>();
}

RegExpFactory SetRegExpFactory(RegExpFactory factory) {
    return gFactory.exchange(factory);
}

}  // namespace melvara::platform
