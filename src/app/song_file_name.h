#pragma once

// Song names come from a web page; these turn one into a file name that stays
// inside the download folder.

#include <string_view>

#include "text/text_types.h"

namespace melvara::app {

// The file name (GBK, without ".mp3") for a song: '/', NUL, control characters
// and malformed bytes become '_'; an empty name, "." and ".." become "_"; the
// name is cut at a character boundary so that its UTF-8 form plus ".mp3" fits
// in 255 bytes.
Text SongFileName(std::string_view name);

// folder + "/" + SongFileName(name) + ".mp3", in GBK.
Text SongFilePath(std::string_view folder, std::string_view name);

}  // namespace melvara::app
