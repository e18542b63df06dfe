#include "http/winhttp_fetch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "http/request_object_fetch.h"
#include "loopback_server.h"
#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/message_pump.h"
#include "raw_server.h"
#include "test_certificates.h"

namespace melvara::http {
namespace {

using test::CannedReply;
using test::HeaderLinesOf;
using test::RawServer;
using test::Reply;
using testing::ElementsAre;
using testing::ElementsAreArray;

const std::vector<std::string> kDefaultLines = {
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
    "Accept: text/html, application/xhtml+xml, */*",
    "Accept-Encoding: gbk, GB2312",
    "Accept-Language: zh-cn",
    "Content-Type: application/x-www-form-urlencoded",
    "Cache-Control: no-cache",
};

Text Gbk(const char* utf8) {
    return platform::Utf8ToGbk(utf8);
}

RawServer OkServer(const std::string& headerLines = "", const std::string& body = "ok") {
    return RawServer({{Reply("200 OK", headerLines, body)}});
}

TEST(WinHttpFetchTest, MessagesHaveTheirExactTexts) {
    const std::pair<int, const char*> messages[] = {
        {700, "700 当前系统不支持WinHttp服务!"},
        {701, "701 解析URL地址失败!"},
        {702, "702 创建WinHttp会话失败!"},
        {703, "703 创建WinHttp连接失败!"},
        {704, "704 创建WinHttp请求失败!"},
        {705, "705 设置超时时间失败!"},
        {706, ""},
        {707, "707 设置代理凭证失败!"},
        {708, "708 禁止自动设置Cookies失败!"},
        {709, "709 重定向设置失败!"},
        {710, "710 设置协议头失败!"},
        {711, "711 发送请求失败!"},
        {712, "712 服务器未响应!"},
        {713, "713 读取数据失败!"},
        {699, ""},
        {714, ""},
    };
    for (const auto& [number, text] : messages) {
        EXPECT_EQ(WinHttpFetchMessage(number), Gbk(text)) << number;
    }
}

TEST(WinHttpFetchTest, DefaultHeadersGoOnTheWireInOrderForEveryMethod) {
    struct Case {
        std::optional<int> method;
        const char* verb;
    };
    const Case cases[] = {
        {std::nullopt, "GET"}, {1, "POST"}, {2, "HEAD"}, {3, "PUT"}, {9, "GET"}, {-1, "GET"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb);
        RawServer server = OkServer();
        Text status;
        FetchWithWinHttp(server.Url("/p?a=1"), {.method = c.method, .statusText = &status});
        EXPECT_EQ(status, "200 OK");
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(test::RequestLineOf(requests[0]), std::string(c.verb) + " /p?a=1 HTTP/1.1");
        EXPECT_THAT(HeaderLinesOf(requests[0]), ElementsAreArray(kDefaultLines));
    }
}

TEST(WinHttpFetchTest, ObjectNameIsThePathAndQueryOrSlash) {
    struct Case {
        const char* pathAndQuery;  // after host and port
        const char* target;
    };
    const Case cases[] = {
        {"", "/"},
        {"?a=1", "/?a=1"},
        {"/p?a=1#frag", "/p?a=1"},
        {"/down/\xB8\xE8 \xC7\xFA.htm", "/down/%E6%AD%8C%20%E6%9B%B2.htm"},  // GBK "歌 曲"
    };
    for (const Case& c : cases) {
        RawServer server = OkServer();
        FetchWithWinHttp("http://127.0.0.1:" + std::to_string(server.Port()) + c.pathAndQuery);
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(test::RequestLineOf(server.Requests()[0]),
                  std::string("GET ") + c.target + " HTTP/1.1");
    }
}

TEST(WinHttpFetchTest, CallerHeadersAndCookiesCombineWithTheDefaults) {
    struct Case {
        const char* headers;
        Text* cookies;
        std::vector<std::string> wire;
    };
    Text cookieA = "a=1";
    Text empty;
    const auto& d = kDefaultLines;
    const Case cases[] = {
        // Matched with letter case disregarded: no default User-Agent.
        {"user-agent: X", nullptr, {"user-agent: X", d[1], d[2], d[3], d[4], d[5]}},
        // "Content-Type:" is matched with case: the default is added and, as
        // the same header, takes the caller's line's place.
        {"content-type: text/plain", nullptr, {d[4], d[0], d[1], d[2], d[3], d[5]}},
        // "Accept: " needs its space: the default is added and replaces it.
        {"Accept:text/plain", nullptr, {d[1], d[0], d[2], d[3], d[4], d[5]}},
        // "Cookie: " found inside another line: no Cookie line.
        {"X-Info: Cookie: none",
         &cookieA,
         {"X-Info: Cookie: none", d[0], d[1], d[2], d[3], d[4], d[5]}},
        {"", &cookieA, {d[0], d[1], d[2], d[3], d[4], d[5], "Cookie: a=1"}},
        {"", &empty, {d[0], d[1], d[2], d[3], d[4], d[5]}},
        {"B: 2\r\nA: 1", nullptr, {"B: 2", "A: 1", d[0], d[1], d[2], d[3], d[4], d[5]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        RawServer server = OkServer();
        const Text headers = c.headers;
        FetchWithWinHttp(server.Url(), {.cookies = c.cookies, .headers = headers});
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_THAT(HeaderLinesOf(server.Requests()[0]), ElementsAreArray(c.wire));
    }
}

TEST(WinHttpFetchTest, PostDataIsTheBodyWhateverTheMethod) {
    for (const int method : {0, 1, 3}) {
        RawServer server = OkServer();
        FetchWithWinHttp(server.Url(), {.method = method, .postData = "a=1&b=\xD6\xD0"});
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(test::BodyOf(server.Requests()[0]), "a=1&b=\xD6\xD0");
    }
}

TEST(WinHttpFetchTest, ResponseCookiesAreNormalisedReturnedAndMergedWhenGiven) {
    struct Case {
        const char* responseHeaders;
        bool given;
        const char* cookiesBefore;
        const char* shownHeader;
        const char* returned;
        const char* cookiesAfter;
    };
    const Case cases[] = {
        {"Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\n", false, "", "Set-Cookie: b=2", "a=1; b=2",
         ""},
        {"Set-Cookie: a=1; path=/\r\nset-cookie: b=2\r\n", true, "x=9", "Set-Cookie: b=2",
         "a=1;b=2", "x=9;a=1;b=2;"},
        {"set-cookie: s=1; HttpOnly\r\n", true, "", "Set-Cookie: s=1; HttpOnly", "s=1", "s=1;"},
        {"SET-COOKIE: n=v\r\n", true, "", "Set-Cookie: n=v", "n=v", "n=v;"},
        {"X-Other: 1\r\n", true, "a = 1", "X-Other: 1", "", "a=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.responseHeaders);
        RawServer server = OkServer(c.responseHeaders);
        Text cookies = c.cookiesBefore;
        Text returned = "stale";
        Text responseHeaders;
        FetchWithWinHttp(server.Url(), {.cookies = c.given ? &cookies : nullptr,
                                        .returnedCookies = &returned,
                                        .responseHeaders = &responseHeaders});
        EXPECT_THAT(responseHeaders, testing::StartsWith("HTTP/1.1 200 OK\r\n"));
        EXPECT_THAT(responseHeaders, testing::HasSubstr(std::string(c.shownHeader) + "\r\n"));
        EXPECT_THAT(responseHeaders, testing::EndsWith("\r\n\r\n"));
        EXPECT_EQ(returned, c.returned);
        EXPECT_EQ(cookies, c.cookiesAfter);
    }
}

TEST(WinHttpFetchTest, OwnCookieHandlingRunsOnlyWhenCookiesAreGiven) {
    // A cookie set by a redirect comes back on the followed request only while
    // the fetch's own cookie handling is on (cookies given).
    for (const bool given : {false, true}) {
        SCOPED_TRACE(given);
        RawServer server({{Reply("302 Found", "Set-Cookie: r=1; path=/\r\nLocation: /next\r\n", ""),
                           CannedReply::Then::Close},
                          {Reply("200 OK", "", "ok")}});
        Text cookies;
        FetchWithWinHttp(server.Url("/start"), {.cookies = given ? &cookies : nullptr});
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(test::HeaderValueOf(requests[1], "Cookie"), given ? "r=1" : "");
    }
}

TEST(WinHttpFetchTest, RedirectsAreFollowedUnlessSwitchedOff) {
    for (const bool noRedirect : {false, true}) {
        SCOPED_TRACE(noRedirect);
        RawServer server(
            {{Reply("302 Found", "Location: /next\r\n", "moved"), CannedReply::Then::Close},
             {Reply("200 OK", "", "arrived")}});
        Text status;
        Text location = "unset";
        Bytes bytes;
        const Text page = FetchWithWinHttp(server.Url("/start"), {.noRedirect = noRedirect,
                                                                  .location = &location,
                                                                  .statusText = &status,
                                                                  .responseBytes = &bytes});
        EXPECT_EQ(status, noRedirect ? "302 Found" : "200 OK");
        EXPECT_EQ(page, noRedirect ? "moved" : "arrived");
        EXPECT_EQ(Text(bytes.begin(), bytes.end()), page);
        EXPECT_EQ(location, noRedirect ? "/next" : "unset");  // written only when present
    }
}

TEST(WinHttpFetchTest, BasicCredentialsForServerAndProxy) {
    struct Case {
        const char* user;
        const char* password;
        const char* authorization;
    };
    const Case cases[] = {{"u", "p", "Basic dTpw"}, {"u", "", ""}, {"", "p", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        RawServer server = OkServer();
        FetchWithWinHttp(server.Url(), {.user = c.user, .password = c.password});
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(test::HeaderValueOf(server.Requests()[0], "Authorization"), c.authorization);

        RawServer proxy = OkServer();
        Text status;
        FetchWithWinHttp("http://music.localhost/down/1.htm",
                         {.proxy = "127.0.0.1:" + std::to_string(proxy.Port()),
                          .proxyUser = c.user,
                          .proxyPassword = c.password,
                          .statusText = &status});
        EXPECT_EQ(status, "200 OK");
        ASSERT_EQ(proxy.Requests().size(), 1u);
        EXPECT_EQ(test::RequestLineOf(proxy.Requests()[0]),
                  "GET http://music.localhost/down/1.htm HTTP/1.1");
        EXPECT_EQ(test::HeaderValueOf(proxy.Requests()[0], "Proxy-Authorization"), c.authorization);
    }
}

TEST(WinHttpFetchTest, HttpsThroughAProxyAsksForATunnel) {
    RawServer proxy({{Reply("403 Forbidden", "", "")}});
    Text status;
    const Text page = FetchWithWinHttp("https://music.localhost/x",
                                       {.proxy = "127.0.0.1:" + std::to_string(proxy.Port()),
                                        .proxyUser = "pu",
                                        .proxyPassword = "pp",
                                        .statusText = &status});
    EXPECT_EQ(page, "");
    ASSERT_GE(proxy.Requests().size(), 1u);
    EXPECT_EQ(test::RequestLineOf(proxy.Requests()[0]), "CONNECT music.localhost:443 HTTP/1.1");
    EXPECT_EQ(test::HeaderValueOf(proxy.Requests()[0], "Proxy-Authorization"), "Basic cHU6cHA=");
}

TEST(WinHttpFetchTest, AnErrorStatusIsStillAResponse) {
    RawServer server({{Reply("404 Not Found", "", "no such page")}});
    Text status;
    EXPECT_EQ(FetchWithWinHttp(server.Url(), {.statusText = &status}), "no such page");
    EXPECT_EQ(status, "404 Not Found");
}

TEST(WinHttpFetchTest, ABodyCutShortKeepsWhatArrived) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst part";
    // The connection drops, or goes silent until the receive timeout.
    for (const auto then : {CannedReply::Then::Close, CannedReply::Then::Stall}) {
        RawServer server({{head, then}});
        Text status;
        Bytes bytes;
        const auto started = std::chrono::steady_clock::now();
        const Text page = FetchWithWinHttp(
            server.Url(), {.timeoutSeconds = 1, .statusText = &status, .responseBytes = &bytes});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
        EXPECT_EQ(Text(bytes.begin(), bytes.end()), "first part");
        EXPECT_EQ(page, "first part");
        EXPECT_EQ(status, "200 OK");  // the read failure's 713 is replaced
        server.Release();
    }
}

// Every output keeps its caller's value after a failure, except statusText.
struct Outputs {
    Text cookies = "c = 1";
    Text returned = "r";
    Text responseHeaders = "h";
    Text location = "l";
    Text status = "s";
    Bytes bytes = {'b'};

    WinHttpFetchOptions Options(int timeoutSeconds = 0) {
        return {.cookies = &cookies,
                .returnedCookies = &returned,
                .responseHeaders = &responseHeaders,
                .timeoutSeconds = timeoutSeconds,
                .location = &location,
                .statusText = &status,
                .responseBytes = &bytes};
    }
    void ExpectUntouchedBut(const Text& expectedStatus) const {
        EXPECT_EQ(status, expectedStatus);
        EXPECT_EQ(cookies, "c = 1");
        EXPECT_EQ(returned, "r");
        EXPECT_EQ(responseHeaders, "h");
        EXPECT_EQ(location, "l");
        EXPECT_EQ(bytes, Bytes{'b'});
    }
};

TEST(WinHttpFetchTest, FailuresWriteTheirMessageAndNothingElse) {
    RawServer silent({{"", CannedReply::Then::Stall}});
    RawServer headless({{"HTTP/1.1 200 OK\r\nContent-"}});
    test::FullBacklogPort backlogged;
    test::LoopbackServer untrusted(test::UntrustedCertificates());
    untrusted.Start();
    struct Case {
        const char* name;
        std::string url;
        int message;
        int timeoutSeconds;
    };
    const Case cases[] = {
        {"empty url", "", 701, 0},
        {"ftp", "ftp://music.localhost/a", 701, 0},
        {"relative", "/down/1.htm", 701, 0},
        {"bad port", "http://127.0.0.1:99999/", 701, 0},
        {"refused", "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", 711, 0},
        {"connect timeout", "http://127.0.0.1:" + std::to_string(backlogged.Port()) + "/", 711, 1},
        {"unknown CA", untrusted.Url("/", "music.localhost"), 711, 0},
        {"silent server", silent.Url(), 712, 1},
        {"head cut", headless.Url(), 712, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outputs out;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(FetchWithWinHttp(c.url, out.Options(c.timeoutSeconds)), "");
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
        out.ExpectUntouchedBut(WinHttpFetchMessage(c.message));
        EXPECT_EQ(platform::ComInitCount(), 0);
    }
    silent.Release();
}

TEST(WinHttpFetchTest, HttpsWithTheTrustedTestCaDecodesAUtf8Page) {
    test::TrustTestCa();
    test::LoopbackServer server(test::TestCertificates());
    server.server().Get("/down/1.htm", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
            "</head><body>歌曲下载</body></html>",
            "text/html");
    });
    server.Start();
    Text status;
    const Text page =
        FetchWithWinHttp(server.Url("/down/1.htm", "music.localhost"), {.statusText = &status});
    EXPECT_EQ(status, "200 OK");
    EXPECT_THAT(page, testing::HasSubstr(Gbk("<body>歌曲下载</body>")));
}

TEST(WinHttpFetchTest, CallsShareAConnectionButNothingElse) {
    test::TrustTestCa();
    test::LoopbackServer server(test::TestCertificates());
    server.server().Get("/set", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "session=secret; path=/");
        response.set_redirect("/plain");
    });
    server.server().Get("/plain", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("plain", "text/plain");
    });
    server.Start();

    Text jar;
    EXPECT_EQ(
        FetchWithWinHttp(server.Url("/set", "music.localhost"),
                         {.cookies = &jar, .headers = "X-Secret: 1", .user = "u", .password = "p"}),
        "plain");
    Text fresh;
    EXPECT_EQ(FetchWithWinHttp(server.Url("/plain", "music.localhost"), {.cookies = &fresh}),
              "plain");
    EXPECT_EQ(FetchWithWinHttp(server.Url("/plain", "music.localhost")), "plain");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].headers.count("Cookie"), 1u);  // the redirect, within call one
    for (std::size_t i = 2; i < requests.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(requests[i].remotePort, requests[0].remotePort);  // one connection
        EXPECT_EQ(requests[i].headers.count("Cookie"), 0u);
        EXPECT_EQ(requests[i].headers.count("Authorization"), 0u);
        EXPECT_EQ(requests[i].headers.count("X-Secret"), 0u);
    }
}

TEST(WinHttpFetchTest, ThreadsFetchAtOnceThroughTheSharedCache) {
    test::TrustTestCa();
    test::LoopbackServer server(test::TestCertificates());
    server.server().Get(R"(/down/(\d+)\.htm)",
                        [](const httplib::Request& request, httplib::Response& response) {
                            response.set_content("page " + request.matches[1].str(), "text/plain");
                        });
    server.Start();
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string id = std::to_string(t * 100 + i);
                const std::string url = server.Url("/down/" + id + ".htm", "music.localhost");
                const Bytes bytes = FetchWithRequestObject(url);
                if (FetchWithWinHttp(url) == "page " + id &&
                    std::string(bytes.begin(), bytes.end()) == "page " + id) {
                    ++good;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(good.load(), 40);
}

std::atomic<int> pumped{0};
void CountingPump() {
    ++pumped;
}

TEST(WinHttpFetchTest, PendingMessagesAreProcessedPerHeaderLineAndOnTheWayOut) {
    platform::InstallMessagePump(&CountingPump);
    RawServer server = OkServer("A: 1\r\nB: 2\r\n");
    pumped = 0;
    FetchWithWinHttp(server.Url());
    // Status line, A, B, Content-Length, the blank line, and the way out.
    EXPECT_GE(pumped.load(), 6);
    pumped = 0;
    FetchWithWinHttp("");
    EXPECT_GE(pumped.load(), 1);
    platform::InstallMessagePump(nullptr);
}

}  // namespace
}  // namespace melvara::http
