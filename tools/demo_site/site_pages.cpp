#include "demo_site/site_pages.h"

#include "demo_site/gbk_encoder.h"

namespace melvara::tools {
namespace {

std::string DefaultLabel(PageEncoding encoding) {
    return encoding == PageEncoding::Gbk ? "gbk" : "utf-8";
}

std::string Encode(const std::string& utf8, PageEncoding encoding) {
    return encoding == PageEncoding::Gbk ? EncodeGbk(utf8) : utf8;
}

std::string MetaTag(PageEncoding encoding, const std::string& label) {
    const std::string charset = label.empty() ? DefaultLabel(encoding) : label;
    // Both forms are common; the older http-equiv form is what GBK sites tend to carry.
    if (encoding == PageEncoding::Gbk) {
        return "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\">";
    }
    return "<meta charset=\"" + charset + "\">";
}

constexpr const char* kNavigation =
    "<div class=\"nav\">\n"
    "<a href=\"/\">首页</a>\n"
    "<a href=\"/laoge/\" class=\"current\">老歌</a>\n"
    "<a href=\"/xinge/\">新歌</a>\n"
    "<a href=\"/paihang/\">排行榜</a>\n"
    "</div>\n";

}  // namespace

std::string DownloadPagePath(const std::string& songId) {
    return "/down/" + songId + ".htm";
}

std::string Mp3Path(const std::string& songId, bool alternative) {
    return (alternative ? "/mp3/alt/" : "/mp3/") + songId + ".mp3";
}

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string RenderHomePage() {
    return std::string(
               "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
               "<title>音乐网</title>\n</head>\n<body>\n") +
           kNavigation + "<p><a href=\"" + kPlaylistPath +
           "\">经典老歌500首</a></p>\n</body>\n</html>\n";
}

std::string RenderPlaylistPage(const std::vector<Song>& songs, PageEncoding encoding,
                               const std::string& extraHtml) {
    std::string page = "<!DOCTYPE html>\n<html>\n<head>\n" + MetaTag(encoding, {}) +
                       "\n<title>经典老歌500首 - 音乐网</title>\n"
                       "<link rel=\"stylesheet\" href=\"/static/list.css\">\n</head>\n<body>\n";
    page += kNavigation;
    page +=
        "<h1>经典老歌500首</h1>\n<div class=\"tools\">\n"
        "<a href=\"javascript:;\" class=\"playAll\">播放全部</a>\n"
        "<a href=\"/play/all.htm\" class=\"songBtn\">连播</a>\n</div>\n"
        "<ul class=\"list\">\n";
    int number = 0;
    for (const Song& song : songs) {
        const std::string id = song.id;
        const std::string name = EscapeHtml(song.name);
        page += "<li>\n<span class=\"num\">" + std::to_string(++number) + "</span>\n";
        page += "<input type=\"checkbox\" name=\"id\" value=\"" + id + "\">\n";
        if (song.capitalLink) {
            page += "<A HREF=\"/play/" + id + ".htm\" CLASS=\"SONGNAME \">" + name + "</A>\n";
        } else {
            page += "<a href=\"/play/" + id + ".htm\" class=\"songName \">" + name + "</a>\n";
        }
        page += "<a href=\"/play/" + id + ".htm\" class=\"songPlay\" target=\"_blank\">播放</a>\n";
        page += "<a href=\"" + DownloadPagePath(id) + "\" class=\"songDown\">下载</a>\n</li>\n";
    }
    page += extraHtml;
    page += "</ul>\n<div class=\"side\">\n<h2>热门歌曲</h2>\n";
    for (std::size_t i = 0; i < songs.size() && i < 5; ++i) {
        page += "<a href=\"/play/" + songs[i].id + ".htm\" class=\"songName\">" +
                EscapeHtml(songs[i].name) + "</a>\n";
    }
    page += "</div>\n<div class=\"footer\">音乐网 版权所有</div>\n</body>\n</html>\n";
    return Encode(page, encoding);
}

std::string RenderDownloadPage(const Song& song, const std::string& mp3Origin) {
    const std::string name = EscapeHtml(song.name);
    std::string page = "<!DOCTYPE html>\n<html>\n<head>\n" +
                       MetaTag(song.pageEncoding, song.charsetLabel) + "\n<title>" + name +
                       " MP3下载 - 音乐网</title>\n</head>\n<body>\n";
    page += kNavigation;
    page += "<h1>" + name + "</h1>\n<div class=\"info\">\n<p>歌曲：" + name +
            "</p>\n<p>格式：MP3 128kbps</p>\n</div>\n<div class=\"down\">\n";
    if (song.mp3Links == 0) {
        page += "<p>抱歉，该歌曲暂无下载。</p>\n";
    }
    for (int link = 0; link < song.mp3Links; ++link) {
        const bool alternative = link == 1;
        page += "<p><a href=\"" + mp3Origin + Mp3Path(song.id, alternative) +
                "\" rel=\"nofollow\" target=\"_blank\">" + (alternative ? "备用下载" : "点击下载") +
                "</a></p>\n";
    }
    page +=
        "</div>\n<p class=\"tip\">右键点击链接，选择“另存为”即可保存歌曲。</p>\n"
        "<div class=\"footer\">音乐网 版权所有</div>\n</body>\n</html>\n";
    return Encode(page, song.pageEncoding);
}

std::string HtmlContentType(PageEncoding encoding) {
    return "text/html; charset=" + DefaultLabel(encoding);
}

}  // namespace melvara::tools
