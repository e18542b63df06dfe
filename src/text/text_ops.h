#pragma once

// The byte-level operations on GBK text that every subsystem shares. Positions
// are 1-based; a search that finds nothing gives -1. Searches step over a
// two-byte character as one unit, so a match never starts on a trail byte.

#include <string_view>
#include <vector>

#include "text/text_types.h"

namespace melvara::text {

// Position of the first occurrence of needle at or after start (below 1 means 1),
// or -1. caseInsensitive folds ASCII letters only. An empty needle is found at start
// when start lies within the text.
int Find(std::string_view haystack, std::string_view needle, int start = 1,
         bool caseInsensitive = false);
bool Contains(std::string_view haystack, std::string_view needle, bool caseInsensitive = false);

// Removes ASCII spaces and full-width spaces (A1 A1) at both ends; tabs and
// line breaks stay.
Text Trim(std::string_view text);
// Removes every ASCII space and full-width space.
Text RemoveSpaces(std::string_view text);

// No piece for an empty text; a piece ends at every separator (empty pieces
// included); what follows the last separator is kept only when non-empty.
std::vector<Text> Split(std::string_view text, std::string_view separator);

// Replaces every occurrence of from, left to right.
Text Replace(std::string_view text, std::string_view from, std::string_view to,
             bool caseInsensitive = false);

// A count of 0 or less gives "". Middle's start is 1-based.
Text Left(std::string_view text, int count);
Text Right(std::string_view text, int count);
Text Middle(std::string_view text, int start, int count);

}  // namespace melvara::text
