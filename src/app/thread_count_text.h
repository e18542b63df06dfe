#pragma once

#include <string_view>

namespace melvara::app {

// Reads the number typed into the thread-count box (GBK): leading blanks, then
// an optional sign, then digits up to the first non-digit. The full-width
// digits, signs and space of code page 936 count as their ASCII forms. Text
// that does not begin with a number gives 0; values beyond the int range are
// clamped to it.
int ReadThreadCount(std::string_view text);

}  // namespace melvara::app
