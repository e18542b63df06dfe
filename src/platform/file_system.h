#pragma once

// Directories and files, addressed by GBK paths with '/' as the separator. The
// paths are converted to UTF-8 for the operating system.

#include <string_view>

#include "text/text_types.h"

namespace melvara::platform {

inline constexpr int kFileAttributeDirectory = 16;

// 16 when the path names an existing directory, 0 otherwise.
int PathIsDirectory(std::string_view gbkPath);

// Creates every missing directory named up to the last '/' of the path ("a/b"
// creates "a" only, "a/b/" both). True when they all exist afterwards.
bool MakeSureDirectoryPathExists(std::string_view gbkPath);

// Replaces the file's contents with bytes, or creates the file. The bytes go
// into a temporary file in the same folder that is renamed over the target only
// once everything is written; on any failure the temporary is removed, an
// existing target is left untouched and the result is false.
bool ReplaceFileContents(std::string_view gbkPath, const Bytes& bytes);

bool SetCurrentDirectory(std::string_view gbkPath);

// The directory that holds the running executable, without a trailing '/', in
// GBK; "." when it cannot be found.
Text RunDirectory();

}  // namespace melvara::platform
