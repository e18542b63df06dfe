#pragma once

#include <cstddef>
#include <string>

namespace melvara::tools {

struct Song;

// The bytes an MP3 address of the site serves: a small ID3v2 tag naming the song, an
// MPEG frame header, then bytes that depend only on the song id, the link (first or
// alternative) and the position. Any stretch can be produced on its own, so large bodies
// are streamed without being held whole.

// Writes body bytes [offset, offset + length) into out.
void FillMp3Bytes(const Song& song, bool alternative, std::size_t offset, char* out,
                  std::size_t length);

// The whole body (for comparing downloaded files).
std::string Mp3Body(const Song& song, bool alternative = false);

}  // namespace melvara::tools
