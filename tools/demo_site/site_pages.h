#pragma once

#include "demo_site/catalogue.h"

#include <string>
#include <vector>

namespace melvara::tools {

// The site's addresses.
inline constexpr const char* kPlaylistPath = "/laoge/500shou.htm";
std::string DownloadPagePath(const std::string& songId);
std::string Mp3Path(const std::string& songId, bool alternative);

// Text escaped for HTML content and attribute values.
std::string EscapeHtml(const std::string& text);

// The front page: a link to the playlist.
std::string RenderHomePage();

// The playlist page, encoded as asked. Every song is one anchor
//   <a href="/play/ID.htm" class="songName ">NAME</a>
// on a line of its own, among navigation, play buttons and a sidebar whose anchors
// point at /play/ too but carry other classes. extraHtml is put into the list as is.
std::string RenderPlaylistPage(const std::vector<Song>& songs, PageEncoding encoding,
                               const std::string& extraHtml);

// The song's download page in its encoding; mp3Origin is "https://host:port" of the MP3s.
std::string RenderDownloadPage(const Song& song, const std::string& mp3Origin);

// Content-Type header value for a page in the given encoding.
std::string HtmlContentType(PageEncoding encoding);

}  // namespace melvara::tools
