#include "http/request_object_fetch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "platform/com.h"
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

const char* const kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
const char* const kContentType = "Content-Type: application/x-www-form-urlencoded";

std::string AsString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

RawServer OkServer(const std::string& headerLines = "", const std::string& body = "ok") {
    return RawServer({{Reply("200 OK", headerLines, body)}});
}

TEST(RequestObjectFetchTest, DefaultHeadersGoOnTheWireInOrderForEveryMethod) {
    struct Case {
        std::optional<int> method;
        const char* requestLine;
    };
    const Case cases[] = {{std::nullopt, "GET"}, {0, "GET"}, {1, "POST"},
                          {2, "HEAD"},           {7, "GET"}, {-1, "GET"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requestLine);
        RawServer server = OkServer();
        const std::string url = server.Url("/p?a=1");
        FetchWithRequestObject(url, {.method = c.method});
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(test::RequestLineOf(requests[0]),
                  std::string(c.requestLine) + " /p?a=1 HTTP/1.1");
        EXPECT_THAT(HeaderLinesOf(requests[0]),
                    ElementsAre("Accept: */*", "Referer: " + url, "Accept-Language: zh-cn",
                                kUserAgent, kContentType));
    }
}

TEST(RequestObjectFetchTest, CallerHeadersAreCompletedAndSentLineByLine) {
    struct Case {
        const char* headers;
        const char* cookies;
        std::vector<std::string> completedTail;  // appended after the caller's text
        std::vector<std::string> wire;           // before the defaults that were added
    };
    const Case cases[] = {
        // A lower-case "accept:" does not count, so both lines go out.
        {"accept: text/html",
         "",
         {"Accept: */*", "Referer", "Accept-Language", "UA", "CT"},
         {"accept: text/html"}},
        // "Referer:" found inside another line: no default Referer.
        {"X-Note: Referer: none",
         "",
         {"Accept: */*", "Accept-Language", "UA", "CT"},
         {"X-Note: Referer: none"}},
        // The empty line sends nothing; the other lines keep their order.
        {"B: 2\r\n\r\nA: 1",
         "",
         {"Accept: */*", "Referer", "Accept-Language", "UA", "CT"},
         {"B: 2", "A: 1"}},
        // A line without a colon has no name and sends nothing.
        {"garbage\r\nA: 1",
         "",
         {"Accept: */*", "Referer", "Accept-Language", "UA", "CT"},
         {"A: 1"}},
        // The Cookie header comes before all others.
        {"", "x=9", {"Accept: */*", "Referer", "Accept-Language", "UA", "CT"}, {"Cookie: x=9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        RawServer server = OkServer();
        const std::string url = server.Url("/");
        const std::string referer = "Referer: " + url;
        auto expand = [&](const std::string& line) -> std::string {
            if (line == "Referer")
                return referer;
            if (line == "Accept-Language")
                return "Accept-Language: zh-cn";
            if (line == "UA")
                return kUserAgent;
            if (line == "CT")
                return kContentType;
            return line;
        };
        Text headers = c.headers;
        Text cookies = c.cookies;
        FetchWithRequestObject(url, {.cookies = &cookies, .headers = &headers});

        std::string completed = c.headers;
        std::vector<std::string> wire = c.wire;
        for (const auto& line : c.completedTail) {
            const std::string full = expand(line);
            completed += completed.empty() ? full : "\r\n" + full;
            if (std::find(wire.begin(), wire.end(), full) == wire.end()) {
                wire.push_back(full);
            }
        }
        EXPECT_EQ(headers, completed);
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_THAT(HeaderLinesOf(requests[0]), ElementsAreArray(wire));
    }
}

TEST(RequestObjectFetchTest, AddressesInCodePage936GoOutAsEscapedUtf8) {
    RawServer server = OkServer();
    // "/歌 曲.mp3?名=1#top" in GBK.
    FetchWithRequestObject(server.Url("/\xB8\xE8 \xC7\xFA.mp3?\xC3\xFB=1#top"));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(test::RequestLineOf(server.Requests()[0]),
              "GET /%E6%AD%8C%20%E6%9B%B2.mp3?%E5%90%8D=1 HTTP/1.1");
}

TEST(RequestObjectFetchTest, PostBytesWinOverPostData) {
    RawServer server = OkServer();
    FetchWithRequestObject(server.Url(),
                           {.method = 1, .postData = "a=1", .postBytes = Bytes{'b', 0, 'c'}});
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(test::BodyOf(server.Requests()[0]), std::string("b\0c", 3));

    RawServer textServer = OkServer();
    FetchWithRequestObject(textServer.Url(),
                           {.method = 1, .postData = "a=1", .postBytes = Bytes{}});
    ASSERT_EQ(textServer.Requests().size(), 1u);
    EXPECT_EQ(test::BodyOf(textServer.Requests()[0]), "a=1");
}

TEST(RequestObjectFetchTest, ResponseCookiesAreNormalisedReturnedAndMerged) {
    struct Case {
        const char* responseHeaders;
        const char* cookiesBefore;
        const char* shownHeader;  // expected inside responseHeaders
        const char* returned;
        const char* cookiesAfter;
    };
    const Case cases[] = {
        {"set-cookie: SID=xyz; path=/\r\n", "", "Set-Cookie: SID=xyz; path=/", "SID=xyz",
         "SID=xyz;"},
        {"Set-Cookie: a=1; path=/\r\nSET-COOKIE: b=2\r\n", "x=9", "Set-Cookie: b=2", "a=1;b=2",
         "x=9;a=1;b=2;"},
        {"Set-Cookie: n=v\r\n", "", "Set-Cookie: n=v", "n=v", "n=v;"},
        {"X-Other: 1\r\n", "a = 1", "X-Other: 1", "", "a=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.responseHeaders);
        RawServer server = OkServer(c.responseHeaders);
        Text cookies = c.cookiesBefore;
        Text returned = "stale";
        Text responseHeaders;
        FetchWithRequestObject(server.Url(), {.cookies = &cookies,
                                              .returnedCookies = &returned,
                                              .responseHeaders = &responseHeaders});
        EXPECT_THAT(responseHeaders, testing::HasSubstr(std::string(c.shownHeader) + "\r\n"));
        EXPECT_EQ(returned, c.returned);
        EXPECT_EQ(cookies, c.cookiesAfter);
    }
}

TEST(RequestObjectFetchTest, RedirectsAreFollowedUnlessSwitchedOff) {
    for (const bool noRedirect : {false, true}) {
        SCOPED_TRACE(noRedirect);
        RawServer server(
            {{Reply("302 Found", "Location: /next\r\n", "moved"), CannedReply::Then::Close},
             {Reply("200 OK", "X-Last: yes\r\n", "arrived")}});
        int status = 0;
        Text responseHeaders;
        const Bytes body = FetchWithRequestObject(
            server.Url("/start"),
            {.responseHeaders = &responseHeaders, .statusCode = &status, .noRedirect = noRedirect});
        EXPECT_EQ(status, noRedirect ? 302 : 200);
        EXPECT_EQ(AsString(body), noRedirect ? "moved" : "arrived");
        EXPECT_EQ(responseHeaders.find("X-Last: yes") != Text::npos, !noRedirect);
        EXPECT_EQ(server.Requests().size(), noRedirect ? 1u : 2u);
    }
}

TEST(RequestObjectFetchTest, ProxyGetsTheRequestAndTheProxyCredentials) {
    RawServer proxy = OkServer();
    const Text proxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
    const Bytes body =
        FetchWithRequestObject("http://music.localhost/list.htm",
                               {.proxy = proxyAddress, .proxyUser = "pu", .proxyPassword = "pp"});
    EXPECT_EQ(AsString(body), "ok");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& request = requests[0];
    EXPECT_EQ(test::RequestLineOf(request), "GET http://music.localhost/list.htm HTTP/1.1");
    EXPECT_EQ(test::HeaderValueOf(request, "Proxy-Authorization"), "Basic cHU6cHA=");
    EXPECT_EQ(test::HeaderValueOf(request, "Authorization"), "");
}

TEST(RequestObjectFetchTest, FailedRequestsGiveAnEmptyBodyAndStatusZero) {
    RawServer silent({{"", CannedReply::Then::Stall}});
    RawServer cut({{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial"}});
    struct Case {
        const char* name;
        std::string url;
        int timeoutSeconds;
    };
    const Case cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", 5},
        {"silent", silent.Url(), 1},
        // A cut body is no body: a download must not pass for complete.
        {"cut body", cut.Url(), 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Text cookies = "a = 1";
        Text headers;
        Text responseHeaders = "stale";
        int status = -1;
        const auto started = std::chrono::steady_clock::now();
        const Bytes body = FetchWithRequestObject(c.url, {.cookies = &cookies,
                                                          .headers = &headers,
                                                          .responseHeaders = &responseHeaders,
                                                          .statusCode = &status,
                                                          .timeoutSeconds = c.timeoutSeconds});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
        EXPECT_TRUE(body.empty());
        EXPECT_EQ(status, 0);
        EXPECT_EQ(responseHeaders, "");
        EXPECT_EQ(cookies, "a=1");
        EXPECT_THAT(headers, testing::StartsWith("Accept: */*\r\nReferer: "));
    }
    silent.Release();
}

TEST(RequestObjectFetchTest, NotFoundIsStillAResponse) {
    RawServer server({{Reply("404 Not Found", "", "missing")}});
    int status = 0;
    EXPECT_EQ(AsString(FetchWithRequestObject(server.Url(), {.statusCode = &status})), "missing");
    EXPECT_EQ(status, 404);
}

TEST(RequestObjectFetchTest, CertificateErrorsAreIgnored) {
    test::LoopbackServer server(test::UntrustedCertificates());
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("secret page", "text/plain");
    });
    server.Start();
    int status = 0;
    const Bytes body =
        FetchWithRequestObject(server.Url("/", "music.localhost"), {.statusCode = &status});
    EXPECT_EQ(status, 200);
    EXPECT_EQ(AsString(body), "secret page");
}

// Records member calls; what the wire cannot show (COM balance, order of
// calls, object lifetime, creation failure).
class RecordingObject : public platform::RequestObject {
  public:
    explicit RecordingObject(std::vector<std::string>& calls) : calls_(calls) {}
    ~RecordingObject() override { Record("destroyed, COM count " + Count()); }

    bool SetTimeouts(long a, long b, long c, long d) override {
        return Record("SetTimeouts " + std::to_string(a) + " " + std::to_string(b) + " " +
                      std::to_string(c) + " " + std::to_string(d));
    }
    bool SetProxy(int setting, const std::string& server) override {
        return Record("SetProxy " + std::to_string(setting) + " " + server);
    }
    bool Open(const std::string& method, const std::string& url, bool async) override {
        return Record("Open " + method + " " + url + (async ? " async" : " sync"));
    }
    bool SetCredentials(const std::string& u, const std::string& p, int flags) override {
        return Record("SetCredentials " + u + " " + p + " " + std::to_string(flags));
    }
    bool SetOption(int index, long value) override {
        return Record("Option " + std::to_string(index) + " " + std::to_string(value));
    }
    bool SetRequestHeader(const std::string& name, const std::string& value) override {
        return Record("Header " + name + "|" + value);
    }
    bool Send(const std::vector<std::uint8_t>& body) override {
        return Record("Send bytes " + std::string(body.begin(), body.end()));
    }
    bool Send(const std::string& body) override {
        return Record("Send text " + body + ", COM count " + Count());
    }
    std::vector<std::uint8_t> ResponseBody() override {
        Record("ResponseBody");
        return {'b'};
    }
    std::string GetAllResponseHeaders() override {
        Record("GetAllResponseHeaders");
        return "Set-Cookie: k=v\r\n";
    }
    long Status() override {
        Record("Status");
        return 201;
    }

  private:
    bool Record(const std::string& call) {
        calls_.push_back(call);
        return true;
    }
    static std::string Count() { return std::to_string(platform::ComInitCount()); }
    std::vector<std::string>& calls_;
};

class RecordedFetchTest : public testing::Test {
  protected:
    void SetUp() override {
        previous_ = platform::SetRequestObjectFactory([this](std::string_view name) {
            calls_.push_back("create " + std::string(name));
            return std::make_unique<RecordingObject>(calls_);
        });
    }
    void TearDown() override { platform::SetRequestObjectFactory(previous_); }

    std::vector<std::string> calls_;
    platform::RequestObjectFactory previous_;
};

TEST_F(RecordedFetchTest, MembersAreCalledInOrderInsideOneComInitialisation) {
    Text headers = "X: 1";
    Text cookies = "c=1";
    const Bytes body = FetchWithRequestObject("http://h.localhost/", {.method = 1,
                                                                      .postData = "d",
                                                                      .cookies = &cookies,
                                                                      .headers = &headers,
                                                                      .noRedirect = true,
                                                                      .proxy = "px:8080",
                                                                      .timeoutSeconds = 20,
                                                                      .proxyUser = "pu",
                                                                      .proxyPassword = "pp"});
    EXPECT_EQ(body, Bytes{'b'});
    EXPECT_THAT(
        calls_,
        ElementsAre(
            "create WinHttp.WinHttpRequest.5.1", "SetTimeouts 20000 20000 20000 20000",
            "SetProxy 2 px:8080", "Open POST http://h.localhost/ sync", "SetCredentials pu pp 1",
            "Option 6 0", "Option 4 13056", "Header Cookie|c=1", "Header X|1", "Header Accept|*/*",
            "Header Referer|http://h.localhost/", "Header Accept-Language|zh-cn",
            "Header User-Agent|Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
            "Header Content-Type|application/x-www-form-urlencoded", "Send text d, COM count 1",
            "ResponseBody", "GetAllResponseHeaders", "Status", "destroyed, COM count 1"));
    EXPECT_EQ(platform::ComInitCount(), 0);
    EXPECT_EQ(cookies, "c=1;k=v;");
}

TEST_F(RecordedFetchTest, TimeoutsFollowTheirRules) {
    struct Case {
        std::optional<int> seconds;
        const char* call;  // nullptr: SetTimeouts is not called
    };
    const Case cases[] = {{std::nullopt, "SetTimeouts 15000 15000 15000 15000"},
                          {0, "SetTimeouts 15000 15000 15000 15000"},
                          {-5, "SetTimeouts 15000 15000 15000 15000"},
                          {20, "SetTimeouts 20000 20000 20000 20000"},
                          {3000000, "SetTimeouts 2147483647 2147483647 2147483647 2147483647"},
                          {-1, nullptr}};
    for (const Case& c : cases) {
        calls_.clear();
        FetchWithRequestObject("http://h.localhost/", {.timeoutSeconds = c.seconds});
        ASSERT_GE(calls_.size(), 2u);
        if (c.call != nullptr) {
            EXPECT_EQ(calls_[1], c.call);
        } else {
            EXPECT_THAT(calls_[1], testing::StartsWith("Open "));
        }
    }
}

TEST_F(RecordedFetchTest, CredentialsNeedAProxyAndAUser) {
    FetchWithRequestObject("http://h.localhost/", {.proxyUser = "pu", .proxyPassword = "pp"});
    FetchWithRequestObject("http://h.localhost/", {.proxy = "px", .proxyPassword = "pp"});
    FetchWithRequestObject("http://h.localhost/",
                           {.proxy = "px", .proxyUser = "pu", .credentialsFlag = 0});
    const auto credentials = std::count_if(calls_.begin(), calls_.end(), [](const std::string& c) {
        return c.rfind("SetCredentials", 0) == 0;
    });
    EXPECT_EQ(credentials, 1);
    EXPECT_THAT(calls_, testing::Contains("SetCredentials pu  0"));
}

TEST_F(RecordedFetchTest, AGivenObjectIsUsedAndKeptAlive) {
    std::vector<std::string> own;
    RecordingObject object(own);
    FetchWithRequestObject("http://h.localhost/", {.requestObject = &object});
    EXPECT_TRUE(calls_.empty());  // nothing created
    EXPECT_THAT(own, testing::Contains("Status"));
    EXPECT_THAT(own, testing::Not(testing::Contains(testing::StartsWith("destroyed"))));
    EXPECT_EQ(platform::ComInitCount(), 0);
}

TEST(RequestObjectFetchFactoryTest, CreationFailureReturnsEmptyAndWritesNothing) {
    const auto previous =
        platform::SetRequestObjectFactory([](std::string_view) { return nullptr; });
    Text headers = "X: 1";
    Text cookies = "a = 1";
    Text returned = "r";
    Text responseHeaders = "h";
    int status = 7;
    const Bytes body =
        FetchWithRequestObject("http://h.localhost/", {.cookies = &cookies,
                                                       .returnedCookies = &returned,
                                                       .headers = &headers,
                                                       .responseHeaders = &responseHeaders,
                                                       .statusCode = &status});
    platform::SetRequestObjectFactory(previous);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(headers, "X: 1");
    EXPECT_EQ(cookies, "a = 1");
    EXPECT_EQ(returned, "r");
    EXPECT_EQ(responseHeaders, "h");
    EXPECT_EQ(status, 7);
    EXPECT_EQ(platform::ComInitCount(), 0);
}

}  // namespace
}  // namespace melvara::http
