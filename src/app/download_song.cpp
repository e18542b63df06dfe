#include "app/download_song.h"

#include <atomic>
#include <optional>
#include <string_view>

#include "app/download_pool.h"
#include "app/job_window.h"
#include "app/link_claim.h"
#include "app/list_generation.h"
#include "app/main_window.h"
#include "app/playlist_job.h"
#include "app/song_file_name.h"
#include "app/song_status.h"
#include "http/request_object_fetch.h"
#include "platform/file_system.h"

namespace melvara::app {
namespace {

std::atomic<int> tasksRunning{0};

struct RowInput {
    Text link;
    Text name;
    Text folder;
};

bool IsSuccess(int status) {
    return status >= 200 && status < 300;
}

// Fetches link and writes it to path whole; false on any failure, in which
// case an earlier file at path is left as it was.
bool FetchToFile(const Text& link, const Text& path) {
    const LinkClaim claim(link);
    int status = 0;
    http::RequestObjectFetchOptions options;
    options.method = 0;
    options.statusCode = &status;
    const Bytes body = http::FetchWithRequestObject(link, options);
    if (!IsSuccess(status) || body.empty()) {
        return false;
    }
    return WriteUnlessReleased([&] { return platform::ReplaceFileContents(path, body); });
}

}  // namespace

bool HasSongLink(const Text& link) {
    // The markers alone: the playlist job found no link on the download page.
    const bool bareMarkers = link.size() == kMp3LinkFront.size() + kMp3LinkBack.size() &&
                             link.starts_with(kMp3LinkFront) && link.ends_with(kMp3LinkBack);
    return !link.empty() && !bareMarkers;
}

void DownloadSong(std::int32_t row, std::int32_t generation) {
    tasksRunning.fetch_add(1);
    struct Done {
        ~Done() { tasksRunning.fetch_sub(1); }
    } done;
    const JobWindow window = CurrentJobWindow();
    const auto current = [generation] { return CurrentListGeneration() == generation; };

    std::optional<RowInput> input;
    window.caller.Run([&] {
        if (current()) {
            input = RowInput{window.controls.CellText(row, kColumnLink),
                             window.controls.CellText(row, kColumnName),
                             window.controls.EditText(EditRole::FolderBox)};
        }
    });
    if (!input) {
        return;
    }

    std::string_view status = kStatusNoLink;
    if (HasSongLink(input->link)) {
        const Text path = SongFilePath(input->folder, input->name);
        status = FetchToFile(input->link, path) ? kStatusDone : kStatusFailed;
    }
    window.caller.Run([&] {
        if (current()) {
            window.controls.SetCellText(row, kColumnStatus, Text(status));
        }
    });
}

int DownloadTasksRunning() {
    return tasksRunning.load();
}

}  // namespace melvara::app
