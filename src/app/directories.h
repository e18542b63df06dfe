#pragma once

// The two directory routines that the window's creation and the download job share.

#include "text/text_types.h"

namespace melvara::app {

// True exactly when the path names an existing directory.
bool IsDirectory(const Text& path);

// Creates the directory and every missing one above it ('/' is appended unless
// the path already ends in one). True when they all exist afterwards.
bool EnsureDirectory(const Text& path);

}  // namespace melvara::app
