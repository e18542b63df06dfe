#include "app/playlist_job.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <system_error>
#include <thread>

#include "app/job_window.h"
#include "app/list_generation.h"
#include "app/main_window.h"
#include "app/site_config.h"
#include "http/request_object_fetch.h"
#include "http/winhttp_fetch.h"
#include "regex/regex_object.h"
#include "text/text_utils.h"

namespace melvara::app {
namespace {

// Group 1 is the song ID, group 2 its name. The dot before htm is any character.
constexpr const char* kSongPattern = R"(href="/play/(.*?).htm" class="songName ">(.*?)</a>)";

std::atomic<int> jobsRunning{0};

}  // namespace

Text DownloadPageAddress(const Text& songId) {
    return "https://" + SiteHost() + "/down/" + songId + ".htm";
}

void OnParseClicked(const JobWindow& window) {
    const std::int32_t generation = StartNewListGeneration();
    window.controls.ClearRows();
    jobsRunning.fetch_add(1);
    try {
        std::thread([window, generation] {
            ParsePlaylist(window, generation);
            jobsRunning.fetch_sub(1);
        }).detach();
    } catch (const std::system_error&) {
        // No thread, no job: the list simply stays empty.
        jobsRunning.fetch_sub(1);
    }
}

void ParsePlaylist(const JobWindow& window, std::int32_t generation) {
    const auto current = [generation] { return CurrentListGeneration() == generation; };
    regex::RegexObject regex;
    const Text url = window.controls.EditText(EditRole::UrlBox);
    const Bytes body = http::FetchWithRequestObject(url);
    const auto end = std::find(body.begin(), body.end(), std::uint8_t{0});
    const Text page = text::Utf8ToAnsi(Text(body.begin(), end));
    regex.Search(kSongPattern, page);
    const int count = regex.MatchCount();

    for (int i = 1; i <= count; ++i) {
        const Text id = regex.SubMatchText(i, 1);
        const Text name = regex.SubMatchText(i, 2);
        // The check and the writes run as one step on the window's thread, so a
        // click that clears the list cannot fall between them.
        int row = -1;
        window.caller.Run([&] {
            if (!current()) {
                return;
            }
            row = window.controls.AppendRow();
            if (row < 0) {
                return;
            }
            window.controls.SetCellText(row, kColumnNumber, std::to_string(row + 1));
            window.controls.SetCellText(row, kColumnSongId, id);
            window.controls.SetCellText(row, kColumnName, name);
        });
        if (row < 0) {
            return;  // the list was replaced or the window is gone
        }
        const Text downloadPage = http::FetchWithWinHttp(DownloadPageAddress(id));
        const Text link = Text(kMp3LinkFront) +
                          text::TextBetween(downloadPage, kMp3LinkFront, kMp3LinkBack) +
                          Text(kMp3LinkBack);
        bool written = false;
        window.caller.Run([&] {
            if (current()) {
                window.controls.SetCellText(row, kColumnLink, link);
                written = true;
            }
        });
        if (!written) {
            return;
        }
    }
}

int ParseJobsRunning() {
    return jobsRunning.load();
}

}  // namespace melvara::app
