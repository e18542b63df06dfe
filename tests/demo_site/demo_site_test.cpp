#include "demo_site/demo_site.h"
#include "demo_site/mp3_body.h"

#include "curl_fetch.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <regex>
#include <thread>

namespace melvara::tools {
namespace {

using testing::CurlGet;
using testing::FetchResult;
using testing::TempDir;

// The expression the program picks songs with, letter case disregarded.
const std::regex kSongPattern(R"re(href="/play/(.*?).htm" class="songName ">(.*?)</a>)re",
                              std::regex::icase);

std::vector<std::pair<std::string, std::string>> SongsInPage(const std::string& page) {
    std::vector<std::pair<std::string, std::string>> songs;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), kSongPattern);
         it != std::sregex_iterator(); ++it) {
        songs.emplace_back((*it)[1], (*it)[2]);
    }
    return songs;
}

// What the program cuts out of a download page: from the first "https://mp3" to the next
// ".mp3", both included; "" when there is none.
std::string FirstMp3Link(const std::string& page) {
    const auto front = page.find("https://mp3");
    if (front == std::string::npos) {
        return {};
    }
    const auto back = page.find(".mp3", front + 11);
    return back == std::string::npos ? std::string() : page.substr(front, back + 4 - front);
}

Song MakeSong(std::string id, std::string name) {
    Song song;
    song.id = std::move(id);
    song.name = std::move(name);
    song.mp3Size = 150 * 1024;
    return song;
}

class DemoSiteTest : public ::testing::Test {
  protected:
    void StartSite(std::vector<Song> catalogue) {
        DemoSiteOptions options;
        options.catalogue = std::move(catalogue);
        options.certificateDir = certs_.path();
        site_ = std::make_unique<DemoSite>(std::move(options));
        site_->Start();
    }
    FetchResult Get(const std::string& url, long timeoutMs = 20000) const {
        return CurlGet(url, site_->CaFile().string(), timeoutMs);
    }

    TempDir certs_;
    std::unique_ptr<DemoSite> site_;
};

TEST_F(DemoSiteTest, PlaylistDownloadPagesAndMp3sAreServedAsTheProgramReadsThem) {
    Song utf8 = MakeSong("a1", "茉莉花");
    Song gbk = MakeSong("b-2", "康定情歌");
    gbk.pageEncoding = PageEncoding::Gbk;
    Song twoLinks = MakeSong("c_3", "Rock & Roll");
    twoLinks.mp3Links = 2;
    twoLinks.capitalLink = true;
    Song noLink = MakeSong("d4", "无链接");
    noLink.mp3Links = 0;
    StartSite({utf8, gbk, twoLinks, noLink});

    const FetchResult playlist = Get(site_->PlaylistUrl());
    ASSERT_EQ(playlist.code, CURLE_OK) << curl_easy_strerror(playlist.code);
    EXPECT_EQ(playlist.status, 200);
    EXPECT_NE(playlist.body.find("<meta charset=\"utf-8\">"), std::string::npos);
    // Only the song anchors match; play buttons, sidebar and navigation do not.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a1", "茉莉花"}, {"b-2", "康定情歌"}, {"c_3", "Rock &amp; Roll"}, {"d4", "无链接"}};
    EXPECT_EQ(SongsInPage(playlist.body), expected);

    const FetchResult utf8Page = Get(site_->DownloadPageUrl("a1"));
    ASSERT_EQ(utf8Page.code, CURLE_OK);
    EXPECT_NE(utf8Page.body.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(utf8Page.body.find("茉莉花"), std::string::npos);
    EXPECT_EQ(FirstMp3Link(utf8Page.body), site_->Mp3Url("a1"));

    const FetchResult gbkPage = Get(site_->DownloadPageUrl("b-2"));
    ASSERT_EQ(gbkPage.code, CURLE_OK);
    EXPECT_NE(gbkPage.body.find("charset=gbk\""), std::string::npos);
    EXPECT_NE(gbkPage.body.find("\xbf\xb5\xb6\xa8\xc7\xe9\xb8\xe8"), std::string::npos);
    EXPECT_EQ(gbkPage.body.find("康定情歌"), std::string::npos);
    EXPECT_EQ(FirstMp3Link(gbkPage.body), site_->Mp3Url("b-2"));
    EXPECT_EQ(site_->Mp3Url("b-2").rfind("https://mp3.music.localhost:", 0), 0u);

    EXPECT_EQ(FirstMp3Link(Get(site_->DownloadPageUrl("c_3")).body), site_->Mp3Url("c_3"));
    EXPECT_EQ(FirstMp3Link(Get(site_->DownloadPageUrl("d4")).body), "");
    EXPECT_EQ(Get(site_->DownloadPageUrl("zz9")).status, 404);

    const FetchResult mp3 = Get(site_->Mp3Url("b-2"));
    ASSERT_EQ(mp3.code, CURLE_OK);
    EXPECT_EQ(mp3.status, 200);
    EXPECT_EQ(mp3.contentType, "audio/mpeg");
    EXPECT_EQ(mp3.contentLength, 150 * 1024);
    EXPECT_EQ(mp3.body, Mp3Body(gbk));
    EXPECT_EQ(mp3.body.substr(0, 3), "ID3");

    const FetchResult alternative = Get(site_->Mp3Url("c_3", true));
    ASSERT_EQ(alternative.code, CURLE_OK);
    EXPECT_EQ(alternative.body, Mp3Body(twoLinks, true));
    EXPECT_NE(alternative.body, Mp3Body(twoLinks, false));
    EXPECT_EQ(Get(site_->Mp3Url("a1", true)).status, 404);  // a1 has no second link

    const RequestCounts counts = site_->Counts();
    EXPECT_EQ(counts.playlist, 1u);
    EXPECT_EQ(counts.downloadPages, 5u);
    EXPECT_EQ(counts.mp3s, 3u);
    EXPECT_EQ(site_->RequestsFor("/mp3/b-2.mp3"), 1u);
}

TEST_F(DemoSiteTest, FaultyMp3sFailTheWayTheyAreConfiguredTo) {
    Song missing = MakeSong("missing", "缺失");
    missing.mp3 = Mp3Behaviour::NotFound;
    Song dropped = MakeSong("dropped", "中断");
    dropped.mp3 = Mp3Behaviour::DropMidBody;
    dropped.dropAfterBytes = 100 * 1024 + 17;
    Song droppedAtOnce = MakeSong("dropped0", "立即中断");
    droppedAtOnce.mp3 = Mp3Behaviour::DropMidBody;
    droppedAtOnce.dropAfterBytes = 0;
    Song trickle = MakeSong("trickle", "慢");
    trickle.chunkDelay = std::chrono::milliseconds(5);
    Song stalled = MakeSong("stalled", "很慢");
    stalled.firstByteDelay = std::chrono::minutes(10);
    StartSite({missing, dropped, droppedAtOnce, trickle, stalled});

    EXPECT_EQ(Get(site_->Mp3Url("missing")).status, 404);

    // The whole length is announced, part of it arrives, then the connection closes.
    const FetchResult cut = Get(site_->Mp3Url("dropped"));
    EXPECT_EQ(cut.code, CURLE_PARTIAL_FILE) << curl_easy_strerror(cut.code);
    EXPECT_EQ(cut.contentLength, 150 * 1024);
    EXPECT_EQ(cut.body, Mp3Body(dropped).substr(0, 100 * 1024 + 17));
    const FetchResult empty = Get(site_->Mp3Url("dropped0"));
    EXPECT_EQ(empty.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(empty.body, "");

    // Slow between chunks, yet complete and correct.
    const FetchResult slow = Get(site_->Mp3Url("trickle"));
    ASSERT_EQ(slow.code, CURLE_OK);
    EXPECT_EQ(slow.body, Mp3Body(trickle));

    // A client that gives up early times out; the site itself keeps going.
    EXPECT_EQ(Get(site_->Mp3Url("stalled"), 200).code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(Get(site_->Mp3Url("trickle")).code, CURLE_OK);
}

TEST_F(DemoSiteTest, StopCutsShortAResponseThatIsStillWaiting) {
    Song stalled = MakeSong("stalled", "很慢");
    stalled.firstByteDelay = std::chrono::minutes(10);
    StartSite({stalled});

    auto fetch = std::async(std::launch::async, [this] { return Get(site_->Mp3Url("stalled")); });
    // The request has reached the site once it is counted.
    while (site_->RequestsFor("/mp3/stalled.mp3") == 0) {
        std::this_thread::yield();
    }
    site_->Stop();
    const FetchResult result = fetch.get();  // would wait ten minutes if Stop did not cut in
    EXPECT_NE(result.status, 200);
    site_->Stop();  // a second Stop is harmless
}

TEST(DemoSite, RefusesWhatItCannotServe) {
    Song bad = MakeSong("a/b", "x");
    Song good = MakeSong("ok", "x");
    Song farDrop = MakeSong("far", "x");
    farDrop.dropAfterBytes = farDrop.mp3Size + 1;
    Song threeLinks = MakeSong("three", "x");
    threeLinks.mp3Links = 3;
    const std::vector<std::vector<Song>> catalogues = {
        {bad}, {good, good}, {farDrop}, {threeLinks}, {MakeSong("", "x")}};
    for (const auto& catalogue : catalogues) {
        DemoSiteOptions options;
        options.catalogue = catalogue;
        DemoSite site(options);
        EXPECT_THROW(site.Start(), DemoSiteError) << catalogue.front().id;
    }

    DemoSite first;
    first.Start();
    DemoSiteOptions samePort;
    samePort.port = first.Port();
    DemoSite second(samePort);
    EXPECT_THROW(second.Start(), DemoSiteError);
    EXPECT_THROW(first.Start(), DemoSiteError);
}

TEST(DemoSiteCatalogue, DefaultAndGeneratedCataloguesAreServable) {
    const std::vector<Song> songs = DefaultCatalogue();
    EXPECT_GE(songs.size(), 15u);
    EXPECT_EQ(CatalogueProblem(songs), "");
    EXPECT_TRUE(std::any_of(songs.begin(), songs.end(),
                            [](const Song& s) { return s.pageEncoding == PageEncoding::Gbk; }));

    const std::vector<Song> generated = GeneratedCatalogue(500, 4 * 1024 * 1024);
    ASSERT_EQ(generated.size(), 500u);
    EXPECT_EQ(CatalogueProblem(generated), "");
    EXPECT_EQ(generated[499].mp3Size, 4u * 1024 * 1024);

    // Any stretch of a body equals the same stretch of the whole body.
    Song song = MakeSong("x", "x");
    song.mp3Size = 1000;
    const std::string whole = Mp3Body(song);
    std::string part(333, '\0');
    FillMp3Bytes(song, false, 5, part.data(), part.size());
    EXPECT_EQ(part, whole.substr(5, 333));
}

}  // namespace
}  // namespace melvara::tools
