#pragma once

// The playlist parsing job: ParseButton empties the song list and starts a
// thread that fetches the playlist page, appends one row per song and cuts each
// song's MP3 link out of its download page.

#include <cstdint>
#include <string_view>

#include "text/text_types.h"

namespace melvara::app {

struct JobWindow;

// A song's MP3 link is cut out of its download page between these markers and
// written with them; a page without them gives the two markers alone.
inline constexpr std::string_view kMp3LinkFront = "https://mp3";
inline constexpr std::string_view kMp3LinkBack = ".mp3";

// The click handler, on the window's thread: starts a new list generation,
// deletes all rows and starts ParsePlaylist on a thread of its own. A job
// still running from an earlier click writes nothing more and stops at its
// next song.
void OnParseClicked(const JobWindow& window);

// The job. Returns when every song has been handled, or as soon as the list
// it fills has been replaced or the window is gone.
void ParsePlaylist(const JobWindow& window, std::int32_t generation);

// The address of a song's download page on the site.
Text DownloadPageAddress(const Text& songId);

// Jobs started and not yet ended.
int ParseJobsRunning();

}  // namespace melvara::app
