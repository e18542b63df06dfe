#include "app/thread_count_text.h"

#include <cstdint>
#include <limits>

namespace melvara::app {
namespace {

// GBK full-width forms: digits A3B0..A3B9, plus A3AB, minus A3AD, space A1A1.
constexpr unsigned char kFullWidthLead = 0xA3;
constexpr unsigned char kFullWidthZero = 0xB0;
constexpr unsigned char kFullWidthPlus = 0xAB;
constexpr unsigned char kFullWidthMinus = 0xAD;
constexpr unsigned char kFullWidthSpaceByte = 0xA1;

// One character of the text in its ASCII form, and how many bytes it took.
struct Unit {
    char ascii = '\0';
    std::size_t length = 1;
};

Unit NextUnit(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return {static_cast<char>(lead), 1};
    }
    if (pos + 1 >= text.size()) {
        return {'\0', 1};
    }
    const auto trail = static_cast<unsigned char>(text[pos + 1]);
    if (lead == kFullWidthLead) {
        if (trail >= kFullWidthZero && trail <= kFullWidthZero + 9) {
            return {static_cast<char>('0' + (trail - kFullWidthZero)), 2};
        }
        if (trail == kFullWidthPlus) {
            return {'+', 2};
        }
        if (trail == kFullWidthMinus) {
            return {'-', 2};
        }
    }
    if (lead == kFullWidthSpaceByte && trail == kFullWidthSpaceByte) {
        return {' ', 2};
    }
    // Any other two-byte character ends the number.
    return {'\0', 2};
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int ReadThreadCount(std::string_view text) {
    std::size_t pos = 0;
    Unit unit;
    while (pos < text.size()) {
        unit = NextUnit(text, pos);
        if (!IsBlank(unit.ascii)) {
            break;
        }
        pos += unit.length;
    }
    if (pos >= text.size()) {
        return 0;
    }
    bool negative = false;
    if (unit.ascii == '+' || unit.ascii == '-') {
        negative = unit.ascii == '-';
        pos += unit.length;
    }
    // Accumulate in 64 bits and stop growing once beyond the int range.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t value = 0;
    while (pos < text.size()) {
        unit = NextUnit(text, pos);
        if (unit.ascii < '0' || unit.ascii > '9') {
            break;
        }
        if (value < kLimit) {
            value = value * 10 + (unit.ascii - '0');
        }
        pos += unit.length;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    if (value < std::numeric_limits<int>::min()) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

}  // namespace melvara::app
